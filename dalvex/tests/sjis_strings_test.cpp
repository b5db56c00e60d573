// KVB_ucs2sjisstr and KVB_sjis2ucsstr through the engine with the
// generated configuration: whole strings with their terminator, line ends,
// substitutes and skipped bytes, and outputs that stay inside the sizes
// the callers give (2n + 2 bytes, m + 1 units).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "dalvex/char_utils.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

class SjisStrings : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
             fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    ASSERT_EQ(cconvLoadRule(), 1);
    // The codecs of both charsets must be there for these tests to mean
    // anything; a tree without them answers 1 from cconvConvert.
    CconvSession session{};
    uint8_t in[2] = {'a', 0}, out[4];
    session.input = in;
    session.input_length = 2;
    session.output = out;
    session.output_capacity = 4;
    ASSERT_EQ(cconvInitConvert(&session, nullptr, "WINDOWS31J"), 0);
    ASSERT_EQ(cconvChgCharset(&session, nullptr, "ISO-10646-UCS-2"), 0);
    if (cconvConvert(&session) == 1) GTEST_SKIP() << "the UCS-2 and WINDOWS31J codecs are not built";
  }
  void TearDown() override { endProcess(); }
};

constexpr char kGuard = '#';

// Converts `in` into a buffer of exactly 2n + 2 bytes followed by guards.
int ToSjis(const std::u16string& in, std::string* out) {
  std::string buffer(2 * in.size() + 2 + 8, kGuard);
  int result = KVB_ucs2sjisstr(buffer.data(), in.c_str());
  EXPECT_EQ(buffer.substr(2 * in.size() + 2), std::string(8, kGuard)) << "written past 2n + 2 bytes";
  *out = buffer.substr(0, buffer.find('\0') == std::string::npos ? 0 : buffer.find('\0'));
  return result;
}

// Converts `in` into a buffer of exactly m + 1 units followed by guards.
int ToUcs2(const std::string& in, std::u16string* out) {
  std::u16string buffer(in.size() + 1 + 4, u'#');
  int result = KVB_sjis2ucsstr(buffer.data(), in.c_str());
  EXPECT_EQ(buffer.substr(in.size() + 1), std::u16string(4, u'#')) << "written past m + 1 units";
  size_t end = buffer.find(u'\0');
  *out = end == std::u16string::npos ? u"(unterminated)" : buffer.substr(0, end);
  return result;
}

TEST_F(SjisStrings, Ucs2ToShiftJis) {
  struct Case {
    std::u16string in;
    int result;
    std::string out;
  } cases[] = {
      {u"abc", 1, "abc"},
      {u"", 1, ""},
      {u"\u65E5\u672C\uFF71", 1, "\x93\xFA\x96\x7B\xB1"},
      {u"a\nb\rc\r\nd", 1, "a\r\nb\r\nc\r\nd"},
      {u"\r\r\r", 1, "\r\n\r\n\r\n"},  // the most a unit can grow
      {u"\u2160\u2170", 1, "\x87\x54\xFA\x40"},  // NEC and IBM rows are WINDOWS31J too
      // Unmappable: "?" for codes below 256, the geta mark for the others.
      {u"x\u00A9\u0E01y", 1, "x?\x81\xACy"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(ToSjis(c.in, &out), c.result);
    EXPECT_EQ(out, c.out);
  }
}

TEST_F(SjisStrings, ShiftJisToUcs2) {
  struct Case {
    std::string in;
    int result;
    std::u16string out;
  } cases[] = {
      {"abc", 1, u"abc"},
      {"", 1, u""},
      {"\x93\xFA\x96\x7B\xB1", 1, u"\u65E5\u672C\uFF71"},
      {"a\r\nb", 1, u"a\r\nb"},
      {"a\x80" "b", 1, u"ab"},   // invalid bytes are skipped
      {"a\x82", 1, u"a"},        // so is a lead byte the string ends after
      // Line ends that grow beyond m + 1 units: 0, nothing written past.
      {"ab\n", 0, u"(unterminated)"},
      {"\r\r", 0, u"(unterminated)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::u16string out;
    EXPECT_EQ(ToUcs2(c.in, &out), c.result);
    if (c.result == 1) {
      EXPECT_EQ(out, c.out);
    }
  }
  // Null pointers.
  char16_t units[4];
  EXPECT_EQ(KVB_sjis2ucsstr(units, nullptr), 0);
  EXPECT_EQ(KVB_ucs2sjisstr(nullptr, u"a"), 0);
}

TEST(SjisStringsWithoutEngine, AnswerZero) {
  char bytes[8];
  char16_t units[8];
  EXPECT_EQ(KVB_ucs2sjisstr(bytes, u"abc"), 0);
  EXPECT_EQ(KVB_sjis2ucsstr(units, "abc"), 0);
}

}  // namespace
