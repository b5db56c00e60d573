// The text output without the conversion engine: cleaning and quoting of
// items, the choice of code pages and charsets, the size-limited write (cut
// at whole characters, no room, failed and short writes), header and
// footer codes with their bound, annotation dates, and embedded objects
// through a fake extraction port.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "code_pages.h"
#include "header_footer.h"
#include "output_sink.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/testdata.h"
#include "text_output.h"
#include "visio_builder.h"

namespace glyphane {
namespace {

using vsdtest::Request;
using vsdtest::Utf16;

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(TextItems, AnsiCleaningAndQuoting) {
  struct Case {
    std::string in;
    uint32_t code_page;
    bool plain;
    std::string out;
  } cases[] = {
      {"a\"b", 1252, false, "\"a\\\"b\""},
      {"a\"b", 1252, true, "a\"b"},
      {"\x1E", 1252, false, ""},           // the one-byte rule
      {"\x0F", 932, false, ""},
      {"\x1E\x1E", 1252, false, ""},       // 30 dropped: nothing between the quotes
      {"\x1F", 1252, false, "\"\x1F\""},   // not among the one-byte values
      {"", 1252, false, ""},
      {"a\r\nb\nc\x0E" "d\re", 1252, false, "\"a b c d e\""},
      {"\x93hi\x94", 1252, false, "\"\\\"hi\\\"\""},
      {"\x93hi\x94", 1252, true, "\"hi\""},
      {"\x93hi\x94", 932, true, "\x93hi\x94"},  // 0x93 leads a character in 932
      {"\x81\x22x", 932, false, "\"\x81\x22x\""},  // a trail byte is never a quote
      {"\x81\x22", 1252, false, "\"\x81\\\"\""},
      {"\xB0\x0A", 936, false, "\"\xB0\x0A\""},  // nor a line break
  };
  for (const Case& c : cases)
    EXPECT_EQ(CleanAnsiItem(c.in, c.code_page, c.plain), c.out) << c.in << " in " << c.code_page;
}

TEST(TextItems, Utf16CleaningAndQuoting) {
  struct Case {
    std::string in;
    bool plain;
    std::string out;
  } cases[] = {
      {Utf16(u"a\"b"), false, Utf16(u"\"a\\\"b\"")},
      {Utf16(u"a\"b"), true, Utf16(u"a\"b")},
      {Utf16(u"a\r\nb\u2028c\nd\x0E"), true, Utf16(u"a b c d ")},
      {Utf16(u"\x1E"), false, ""},
      {Utf16(u"\u201C") + "x", true, Utf16(u"\u201C")},  // an odd byte at the end is left out
      {"", false, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanUtf16Item(c.in, c.plain), c.out);
}

TEST(CodePages, RequestsAndCharsets) {
  EXPECT_EQ(TextCodePageOfLanguage("Japanese"), 932u);
  EXPECT_EQ(TextCodePageOfLanguage("English"), 1252u);
  EXPECT_EQ(TextCodePageOfLanguage("Simplified Chinese"), 936u);
  EXPECT_EQ(TextCodePageOfLanguage("Traditional Chinese"), 950u);
  EXPECT_EQ(TextCodePageOfLanguage("Korean"), 949u);
  EXPECT_EQ(TextCodePageOfLanguage("english"), 932u);
  EXPECT_EQ(TextCodePageOfLanguage(nullptr), 932u);
  EXPECT_EQ(OutputCodePageOfCharset("ISO-8859-1"), 1252u);
  EXPECT_EQ(OutputCodePageOfCharset("ChineseGBK"), 936u);
  EXPECT_EQ(OutputCodePageOfCharset("ChineseBIG5"), 950u);
  EXPECT_EQ(OutputCodePageOfCharset("KoreanKSC"), 949u);
  EXPECT_EQ(OutputCodePageOfCharset("UTF-8"), 932u);

  struct Case {
    uint32_t code_page;
    const char* charset;
  } cases[] = {{932, "WINDOWS31J"}, {936, "ChineseGBK"}, {949, "KoreanKSC"}, {950, "ChineseBIG5"},
               {1200, "ISO-10646-UCS-2"}, {1252, "ISO-8859-1"}, {65001, "UTF-8"},
               // Code pages without a charset of their own are single-byte text.
               {1250, "ISO-8859-1"}, {1251, "ISO-8859-1"}, {0, "ISO-8859-1"}};
  for (const Case& c : cases) EXPECT_STREQ(CharsetOfCodePage(c.code_page), c.charset) << c.code_page;
  EXPECT_STREQ(CharsetOfPropertySetCodePage(2000), "WINDOWS31J");
  EXPECT_STREQ(CharsetOfPropertySetCodePage(3000), "ChineseGBK");
  EXPECT_STREQ(CharsetOfPropertySetCodePage(4000), "ChineseBIG5");
  EXPECT_STREQ(CharsetOfPropertySetCodePage(5000), "KoreanKSC");
  EXPECT_STREQ(CharsetOfPropertySetCodePage(1251), "ISO-8859-1");

  EXPECT_EQ(PropertySetCodePage(-535), 65001u);
  uint32_t text = 932, output = 936;
  ApplyPropertySetCodePage(0, &text, &output);
  EXPECT_EQ(text, 932u);
  ApplyPropertySetCodePage(1252, &text, &output);
  EXPECT_EQ(text, 1252u);
  EXPECT_EQ(output, 1252u);

  EXPECT_EQ(SubstituteForCharset("ChineseGBK"), '?');
  EXPECT_EQ(SubstituteForCharset("chinesegbk"), 0);
  EXPECT_EQ(SubstituteForCharset("UTF-8"), 0);
  EXPECT_EQ(InputBigEndianFor("ChineseGBK"), 1);
  EXPECT_EQ(InputBigEndianFor("ISO-10646-UCS-2"), 0);
}

// A file of the test's own, read back whole.
class FileOutput {
 public:
  FileOutput() : path_(testsupport::TempDir() / "out.txt"), file_(std::fopen(path_.c_str(), "wb+")) {}
  ~FileOutput() {
    if (file_) std::fclose(file_);
  }
  std::FILE* file() { return file_; }
  std::string Bytes() {
    std::fflush(file_);
    return testsupport::ReadFile(path_);
  }

 private:
  fs::path path_;
  std::FILE* file_;
};

TEST(OutputLimit, CutsAtWholeCharactersAndStops) {
  struct Case {
    const char* charset;
    int32_t limit;
    int64_t count;
    std::string bytes;
    int32_t result;
    std::string written;
  } cases[] = {
      {"WINDOWS31J", 100, 0, "ab", 0, "ab"},
      {"WINDOWS31J", 3, 0, "a\x82\xA0" "b", 3005, "a\x82\xA0"},
      {"WINDOWS31J", 2, 0, "a\x82\xA0" "b", 3005, "a"},        // inside a double-byte character
      {"ISO-8859-1", 2, 0, "a\r\nb", 3005, "a"},               // between CR and LF
      {"ISO-10646-UCS-2", 3, 0, Utf16(u"ab"), 3005, Utf16(u"a")},
      {"WINDOWS31J", 5, 5, "ab", 3005, ""},                    // no room left
      {"WINDOWS31J", 5, 9, "ab", 3005, ""},                    // a nested call passed the limit
      {"WINDOWS31J", INT32_MIN, 0, "ab", 3005, ""},            // a negative limit
  };
  for (const Case& c : cases) {
    FileOutput file;
    ExtractOptionsV4 options = Request(c.charset, kFlagAOutputLimit, c.limit);
    TextOutput out(options);
    out.SetFile(file.file());
    out.set_count(c.count);
    EXPECT_EQ(out.WriteConverted(c.bytes), c.result) << c.charset << " limit " << c.limit;
    EXPECT_EQ(file.Bytes(), c.written) << c.charset << " limit " << c.limit;
    EXPECT_EQ(out.count(), c.count + static_cast<int64_t>(c.written.size()));
  }
  // Without the flag the limit is not looked at.
  FileOutput file;
  ExtractOptionsV4 options = Request("ISO-8859-1", 0, 1);
  TextOutput out(options);
  out.SetFile(file.file());
  EXPECT_EQ(out.WriteConverted("abc"), 0);
  EXPECT_EQ(file.Bytes(), "abc");
}

TEST(OutputWrite, FailedAndShortWritesAre24) {
  ExtractOptionsV4 options = Request("ISO-8859-1", 0);
  {
    // A file that holds 4 bytes: a write of 6 writes 4 and fails.
    char buffer[5] = {};
    std::FILE* small = fmemopen(buffer, 4, "w");
    ASSERT_NE(small, nullptr);
    std::setvbuf(small, nullptr, _IONBF, 0);
    TextOutput out(options);
    out.SetFile(small);
    EXPECT_EQ(out.WriteConverted("abcdef"), FileCantWrite);
    std::fclose(small);
  }
  {
    TextOutput out(options);
    out.SetFile(nullptr);
    EXPECT_EQ(out.WriteConverted("abc"), FileCantWrite);
  }
  {
    std::ostringstream stream;
    TextOutput out(options);
    out.SetStream(&stream);
    EXPECT_EQ(out.WriteConverted("abc"), 0);
    stream.setstate(std::ios::badbit);
    EXPECT_EQ(out.WriteConverted("def"), FileCantWrite);
    EXPECT_EQ(stream.str(), "abc");
  }
  {
    // The cut write at the limit fails too when the stream does.
    std::ostringstream stream;
    stream.setstate(std::ios::badbit);
    ExtractOptionsV4 limited = Request("ISO-8859-1", kFlagAOutputLimit, 2);
    TextOutput out(limited);
    out.SetStream(&stream);
    EXPECT_EQ(out.WriteConverted("abc"), FileCantWrite);
  }
}

TEST(HeaderFooter, Codes) {
  SourcePathParts path = SplitSourcePath("/data/drawings/plan.v1.vsd");
  EXPECT_EQ(path.folder, "/data/drawings");
  EXPECT_EQ(path.file_name, "plan.v1.vsd");
  EXPECT_EQ(path.base_name, "plan.v1");
  EXPECT_EQ(path.extension, ".vsd");
  SourcePathParts bare = SplitSourcePath("/d/C:\\x\\noext");
  EXPECT_EQ(bare.folder, "/d");
  EXPECT_EQ(bare.base_name, "C:\\x\\noext");
  EXPECT_EQ(bare.extension, "");

  struct Case {
    std::string stored;
    std::string text;
    std::optional<size_t> mark;
  } cases[] = {
      {"&F&E", "plan.v1.vsd", std::nullopt},
      {"[&f|&e]", "[plan.v1|.vsd]", std::nullopt},
      {"Page &N of &P", "Page  of ", 5},
      {"&n&Dx&&", "x", 0},  // &D and && are dropped with their letter
      {"tail&", "tail", std::nullopt},
      {"\x82&F", "\x82&F", std::nullopt},  // in 932 the '&' after a lead byte is its trail
  };
  for (const Case& c : cases) {
    auto expanded = ExpandHeaderFooter(c.stored, false, 932, path);
    ASSERT_TRUE(expanded) << c.stored;
    EXPECT_EQ(expanded->text, c.text) << c.stored;
    EXPECT_EQ(expanded->page_mark, c.mark) << c.stored;
  }
  // UTF-16 texts expand unit by unit; the name is converted from UTF-8.
  SourcePathParts wide = SplitSourcePath("/d/\xE5\x9B\xB3.vsd");
  auto expanded = ExpandHeaderFooter(Utf16(u"<&F&E&N>"), true, 932, wide);
  ASSERT_TRUE(expanded);
  EXPECT_EQ(expanded->text, Utf16(u"<\u56F3.vsd>"));
  EXPECT_EQ(expanded->page_mark, 12u);
}

TEST(HeaderFooter, ExpansionStopsAtTheBound) {
  SourcePathParts path;
  path.base_name = std::string(255, 'n');
  std::string many;
  for (int i = 0; i < 300; ++i) many += "&F";
  auto expanded = ExpandHeaderFooter(many, false, 1252, path);
  ASSERT_TRUE(expanded);
  EXPECT_EQ(expanded->text.size(), kHeaderFooterBytes);

  // A double-byte character or a surrogate pair that would straddle the
  // bound is left out whole.
  std::string text(kHeaderFooterBytes - 1, 'a');
  text += "\x82\xA0";
  CutWholeCharacters(&text, kHeaderFooterBytes, 932);
  EXPECT_EQ(text.size(), kHeaderFooterBytes - 1);
  std::string wide = Utf16(std::u16string(kHeaderFooterBytes / 2 - 1, u'a') + u"\U0001F600");
  CutWholeCharacters(&wide, kHeaderFooterBytes, 1200);
  EXPECT_EQ(wide.size(), kHeaderFooterBytes - 2);
}

TEST(Annotations, DatePicture) {
  struct Case {
    double serial;
    const char* text;
  } cases[] = {{1, "1900-1-1"},    {59, "1900-2-28"}, {60, "1900-2-29"},  {61, "1900-3-1"},
               {36526, "2000-1-1"}, {-36526.75, "2000-1-1"}, {45000.5, "2023-3-15"}};
  for (const Case& c : cases) EXPECT_EQ(AnnotationDate(c.serial), c.text) << c.serial;
}

// The fake extraction interface: what its next call does and what it saw.
struct FakeInterface {
  static inline int result = 0;
  static inline int writes = 0;  // bytes appended (and counted)
  static inline int calls = 0;
  static inline int32_t seen_count = -1;
  static int File(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4*, ExtractOutputTarget* target,
                  ExtractErrorCallback) {
    ++calls;
    EXPECT_NE(storage, nullptr);
    seen_count = target->count;
    for (int i = 0; i < writes; ++i) std::fputc('x', output);
    target->count += writes;
    return result;
  }
  static int Stream(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4*, ExtractOutputTarget*,
                    ExtractErrorCallback) {
    ++calls;
    EXPECT_NE(storage, nullptr);
    *output << std::string(static_cast<size_t>(writes), 'x');
    return result;
  }
  static void Reset(int r, int w) {
    result = r;
    writes = w;
    calls = 0;
    seen_count = -1;
  }
};

std::string ObjectFile(const char* name) {
  testsupport::CompoundFileWriter writer;
  writer.AddStream(writer.Root(), "Contents", "embedded");
  fs::path path = testsupport::TempDir() / name;
  writer.Build().Save(path);
  return path.string();
}

struct ObjectCase {
  const char* name;
  uint32_t flags_a;
  bool stream;
  int result, writes;
  int32_t sink_result;  // what EmbeddedObject answers
  int32_t kept;         // the embedded-object error kept
};

TEST(EmbeddedObjects, FakePort) {
  const uint32_t on = kFlagAEmbeddedObjects;
  const ObjectCase cases[] = {
      {"file appends", on, false, 0, 3, 0, 0},
      {"file adds nothing, count not shared", on, false, 0, 0, 0, 0},
      {"file shared count unchanged", on | kFlagACallerOutput, false, 0, 0, 4000, 0},
      {"file shared count advanced", on | kFlagACallerOutput, false, 0, 4, 0, 0},
      {"stream unchanged", on, true, 0, 0, 4000, 0},
      {"stream advanced", on, true, 0, 2, 0, 0},
      {"failure ends the run", on, false, 4003, 0, 4003, 0},
      {"failure kept under 0x8000", on | kFlagAGoOnAfterEmbeddedError, false, 4003, 0, 0, 4003},
      {"4000 kept under 0x8000", on | kFlagAGoOnAfterEmbeddedError, true, 0, 0, 0, 4000},
  };
  ExtractionPort port;
  port.get_insert_file_text = &FakeInterface::File;
  port.get_insert_file_text_stream = &FakeInterface::Stream;
  for (const ObjectCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInterface::Reset(c.result, c.writes);
    ExtractOptionsV4 options = Request("ISO-8859-1", c.flags_a);
    FileOutput file;
    std::ostringstream stream;
    TextOutput out(options);
    if (c.stream)
      out.SetStream(&stream);
    else
      out.SetFile(file.file());
    out.set_count(7);
    VsdSession session;
    ExtractOutputTarget target{};
    OutputSink sink(out, session, options, &target, nullptr, port, SourcePathParts{});
    std::string path = ObjectFile("object.tmp");
    bool taken = false;
    EXPECT_EQ(sink.EmbeddedObject(path, &taken), c.sink_result);
    EXPECT_TRUE(taken);
    EXPECT_FALSE(fs::exists(path)) << "the temporary file stays behind";
    EXPECT_EQ(FakeInterface::calls, 1);
    EXPECT_EQ(sink.last_nested(), c.result);
    EXPECT_EQ(sink.embedded_error(), c.kept);
    EXPECT_EQ(sink.has_embedded_error(), c.kept != 0);
    if (!c.stream && (c.flags_a & kFlagACallerOutput)) {
      EXPECT_EQ(FakeInterface::seen_count, 7);  // the count goes to the nested call
      EXPECT_EQ(out.count(), 7 + c.writes);     // and comes back
    } else {
      EXPECT_EQ(out.count(), 7);
    }
  }
}

TEST(EmbeddedObjects, UnboundPortAndUnreadableFile) {
  ExtractionPort unbound;
  ExtractOptionsV4 options = Request("ISO-8859-1", kFlagAEmbeddedObjects);
  FileOutput file;
  TextOutput out(options);
  out.SetFile(file.file());
  VsdSession session;
  OutputSink sink(out, session, options, nullptr, nullptr, unbound, SourcePathParts{});
  std::string path = ObjectFile("object.tmp");
  bool taken = false;
  EXPECT_EQ(sink.EmbeddedObject(path, &taken), DllFuncCantFound);
  EXPECT_FALSE(fs::exists(path));

  // A file that is no compound file is only removed.
  fs::path junk = testsupport::TempDir() / "junk.tmp";
  ASSERT_TRUE(testsupport::WriteFile(junk, "not a compound file"));
  EXPECT_EQ(sink.EmbeddedObject(junk.string(), &taken), 0);
  EXPECT_TRUE(taken);
  EXPECT_FALSE(fs::exists(junk));
  EXPECT_EQ(file.Bytes(), "");
}

}  // namespace
}  // namespace glyphane
