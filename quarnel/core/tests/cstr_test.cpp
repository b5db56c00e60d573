// ZelCStr's narrow copy: when it is made again and what it holds; the
// shared empty and bogus texts.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "quarnel/shared_strings.h"
#include "quarnel/zel_cstr.h"
#include "testsupport/testdata.h"

using ObraCommon::UnicodeString;
using ObraCommon::ZelBogusString;
using ObraCommon::ZelCStr;
using ObraCommon::ZelEmptyString;

namespace {

// Bytes that are no UTF-8: decoding gives U+FFFD, so a copy that was made
// again reads "\xEF\xBF\xBD" where the stored copy reads "\xFF".
constexpr const char* kRaw = "\xFF";
constexpr const char* kReplacement = "\xEF\xBF\xBD";

struct StaleCase {
  const char* name;
  std::function<void(ZelCStr&)> change;
  const char* codePage;
  std::string expected;
};

TEST(ZelCStr, NarrowCopyIsMadeAgainOnlyWhenStale) {
  const StaleCase cases[] = {
      {"unchanged", [](ZelCStr&) {}, nullptr, kRaw},
      {"changed and changed back", [](ZelCStr& s) { s.append(u'a').truncate(1); }, nullptr, kRaw},
      {"text changed", [](ZelCStr& s) { s.append(u'a'); }, nullptr, std::string(kReplacement) + "a"},
      {"same length, other unit", [](ZelCStr& s) { s.setCharAt(0, u'b'); }, nullptr, "b"},
      {"text made bogus", [](ZelCStr& s) { s.setToBogus(); }, nullptr, ""},
      {"named code page", [](ZelCStr&) {}, "UTF-8", kReplacement},
      {"copy", [](ZelCStr& s) { s = ZelCStr(s); }, nullptr, kRaw},
  };
  for (const StaleCase& c : cases) {
    ZelCStr text(kRaw);
    c.change(text);
    EXPECT_EQ(text.getCString(c.codePage), c.expected) << c.name;
  }
}

TEST(ZelCStr, CodePagesCompareAsBytesAndNullIsTheDefault) {
  // 0xED40 and 0xFA5C are both U+7E8A in cp932; ICU writes U+7E8A as 0xFA5C.
  ZelCStr text("\xED\x40", "cp932");
  EXPECT_EQ(text, UnicodeString(u"\u7E8A"));
  EXPECT_EQ(text.getCString("cp932"), "\xED\x40");
  EXPECT_EQ(text.getCString("CP932"), "\xFA\x5C");
  EXPECT_EQ(text.getCString(nullptr), "\xE7\xBA\x8A");
  EXPECT_EQ(text.getCString("cp932"), "\xFA\x5C");
}

TEST(ZelCStr, ConstructorsAndTheDefaultConverter) {
  EXPECT_EQ(ZelCStr(UnicodeString(u"A\u00E9\u65E5")).getCString(), "A\xC3\xA9\xE6\x97\xA5");
  EXPECT_EQ(ZelCStr(UnicodeString()).getCString(), "");
  EXPECT_EQ(ZelCStr("A\xC3\xA9\xE6\x97\xA5"), UnicodeString(u"A\u00E9\u65E5"));
  EXPECT_EQ(ZelCStr(u"A\u00E9\u65E5"), UnicodeString(u"A\u00E9\u65E5"));
  EXPECT_EQ(ZelCStr(u"ab\0cd", 5).length(), 5);
  EXPECT_EQ(ZelCStr(u"abc", 2), UnicodeString(u"ab"));
  // A negative length is no BSTR: not read as "zero-terminated".
  EXPECT_TRUE(ZelCStr(u"abc", -1).isEmpty());

  const char* noBytes = nullptr;
  const char16_t* noText = nullptr;
  for (const ZelCStr& empty : {ZelCStr(noBytes), ZelCStr(noBytes, "cp932"), ZelCStr(noText), ZelCStr(noText, 3)}) {
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isBogus());
  }
}

TEST(ZelCStr, UnknownCodePageGivesABogusText) {
  ZelCStr text("abc", "no-such-code-page");
  EXPECT_TRUE(text.isBogus());
  EXPECT_EQ(text.getCString("no-such-code-page"), "");
  EXPECT_EQ(text.getCString(nullptr), "");
}

TEST(ZelCStr, SharedEmptyAndBogusTexts) {
  EXPECT_TRUE(ZelBogusString::BOGUS_VALUE.isBogus());
  EXPECT_TRUE(ZelBogusString(ZelBogusString::BOGUS_VALUE).isBogus());
  EXPECT_EQ(ZelEmptyString::EMPTY_VALUE.length(), 0);
  EXPECT_FALSE(ZelEmptyString::EMPTY_VALUE.isBogus());
}

TEST(ZelCStrCorpus, FullCodeTablesRoundTripThroughIcuConverters) {
  TESTDATA_OR_SKIP(dir, "charsets");
  const struct {
    const char* table;
    const char* codePage;
  } tables[] = {{"WINDOWS-31J", "cp932"}, {"GBK", "GBK"}};
  for (const auto& t : tables) {
    std::string bytes = testsupport::ReadFile(dir / (std::string(t.table) + ".all.txt"));
    std::string utf8 = testsupport::ReadFile(dir / (std::string(t.table) + ".all.utf8.txt"));
    ASSERT_FALSE(bytes.empty()) << t.table;
    ASSERT_FALSE(utf8.empty()) << t.table;

    ZelCStr text(utf8.c_str());
    const std::string& narrow = text.getCString(t.codePage);
    EXPECT_TRUE(narrow == bytes) << t.table << ": " << narrow.size() << " bytes, expected " << bytes.size();

    ZelCStr decoded(bytes.c_str(), t.codePage);
    EXPECT_TRUE(decoded == UnicodeString::fromUTF8(utf8)) << t.table;
    EXPECT_TRUE(decoded.getCString(t.codePage) == bytes) << t.table;
  }
}

}  // namespace
