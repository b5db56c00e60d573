// The text output through the conversion engine with the generated
// configuration: quoted items and line-end forms, UTF-16 items, one
// byte-order mark per pass, long items that need many turns of the
// converted buffer, the limit inside converted text, code pages without a
// charset, the fixed conversion, and whole pages through the sink.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "code_pages.h"
#include "engine_fixture.h"
#include "output_sink.h"
#include "text_output.h"
#include "visio_builder.h"

namespace glyphane {
namespace {

using vsdtest::Request;
using vsdtest::Utf16;

class TextOutputEngine : public glyphane_test::EngineTest {
 protected:
  // Writes `items` (each followed by a line break) and answers the bytes.
  static std::string Run(const ExtractOptionsV4& options, const std::vector<std::pair<std::string, uint32_t>>& items,
                         int32_t* result = nullptr) {
    std::ostringstream stream;
    TextOutput out(options);
    out.SetStream(&stream);
    int32_t rc = 0;
    for (const auto& [text, code_page] : items) {
      if ((rc = out.WriteItem(text, code_page)) != 0) break;
      if ((rc = out.LineBreak(code_page)) != 0) break;
    }
    if (result) *result = rc;
    return stream.str();
  }
};

TEST_F(TextOutputEngine, QuotedItemsAndLineEnds) {
  struct Case {
    uint32_t flags_a;
    std::string expected;
  } cases[] = {
      {kFlagALineEndCrLf, "\"a\\\"b\"\r\n"},
      {0, "\"a\\\"b\"\r\n"},
      {kFlagALineEndCr, "\"a\\\"b\"\r"},
      {kFlagALineEndLf | kFlagALineEndLs, "\"a\\\"b\"\n"},  // the lowest bit wins
      {kFlagALineEndCrLf | kFlagAPlainText, "a\"b\r\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Run(Request("ISO-8859-1", c.flags_a), {{"a\"b", 1252}}), c.expected) << c.flags_a;

  // Curly quotes of 1252; an item of only 30 writes nothing but the break.
  EXPECT_EQ(Run(Request("ISO-8859-1", 0), {{"\x93x\x94", 1252}, {"\x1E", 1252}, {"y", 1252}}),
            "\"\\\"x\\\"\"\r\n\r\n\"y\"\r\n");
  // A charset the engine does not know converts nothing: 3000.
  int32_t rc = 0;
  EXPECT_EQ(Run(Request("NO-SUCH-CHARSET", 0), {{"a", 1252}}, &rc), "");
  EXPECT_EQ(rc, OtherError);
  // Nothing written yet: no line break.
  EXPECT_EQ(Run(Request("ISO-8859-1", 0), {{"\x1E", 1252}}), "");
}

TEST_F(TextOutputEngine, Utf16ItemsAndOneByteOrderMarkPerPass) {
  // Two items into UCS-2 big-endian: one mark at the start only.
  std::string out = Run(Request("ISO-10646-UCS-2", 0, 0, 1), {{Utf16(u"\u65E5"), 1200}, {"b", 1252}});
  std::string expected("\xFE\xFF\x00\"\x65\xE5\x00\"\x00\r\x00\n\x00\"\x00" "b\x00\"\x00\r\x00\n", 22);
  EXPECT_EQ(out, expected);

  // A new pass writes a new mark.
  std::ostringstream stream;
  ExtractOptionsV4 options = Request("ISO-10646-UCS-2", kFlagAPlainText);
  TextOutput text(options);
  text.SetStream(&stream);
  ASSERT_EQ(text.WriteItem("a", 1252), 0);
  text.BeginOutput();
  ASSERT_EQ(text.WriteItem("a", 1252), 0);
  EXPECT_EQ(stream.str(), std::string("\xFF\xFE" "a\0\xFF\xFE" "a\0", 8));
}

TEST_F(TextOutputEngine, LongItemsArriveWhole) {
  // 100,000 bytes become 200,000 (UCS-2) or 200,000 (UTF-8, two bytes for
  // each é): several turns of the 64 KB converted buffer.
  std::string text(100000, 'x');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = '\xE9';
  struct Case {
    const char* charset;
    size_t bytes;
  } cases[] = {{"ISO-10646-UCS-2", 2 * (100000 + 2) + 2}, {"UTF-8", 3 + 100000 + 14286 + 2}};
  for (const Case& c : cases) {
    std::ostringstream stream;
    ExtractOptionsV4 options = Request(c.charset, 0);
    TextOutput out(options);
    out.SetStream(&stream);
    ASSERT_EQ(out.WriteItem(text, 1252), 0) << c.charset;
    EXPECT_EQ(stream.str().size(), c.bytes) << c.charset;
    EXPECT_EQ(out.count(), static_cast<int64_t>(c.bytes));
  }
}

TEST_F(TextOutputEngine, LimitInsideConvertedText) {
  // "日本" in Shift_JIS after the opening quote: a limit of 4 keeps the
  // quote and the first character.
  int32_t rc = 0;
  std::string out = Run(Request("Shift_JIS", kFlagAOutputLimit, 4), {{Utf16(u"\u65E5\u672C"), 1200}}, &rc);
  EXPECT_EQ(rc, FileLengthOver);
  EXPECT_EQ(out, "\"\x93\xFA");
  // A limit between CR and LF of the line break leaves out the CR too.
  out = Run(Request("ISO-8859-1", kFlagAOutputLimit, 5), {{"ab", 1252}}, &rc);
  EXPECT_EQ(rc, FileLengthOver);
  EXPECT_EQ(out, "\"ab\"");
}

TEST_F(TextOutputEngine, CodePagesWithoutACharsetStaySingleByte) {
  // 1250 "ćx": read as Latin-1, the letter after 0xE6 is kept.
  EXPECT_EQ(Run(Request("UTF-8", kFlagAPlainText), {{"\xE6x", 1250}}), "\xEF\xBB\xBF\xC3\xA6x\r\n");
  std::string utf8;
  ASSERT_EQ(ConvertBetweenCodePages(65001, 1200, "\xC3\xA9", &utf8), 0);
  EXPECT_EQ(utf8, Utf16(u"\u00E9"));
}

TEST_F(TextOutputEngine, FixedConversion) {
  std::string out;
  ASSERT_EQ(ConvertBetweenCodePages(1200, 932, Utf16(u"\u5E74x"), &out), 0);
  EXPECT_EQ(out, "\x94N" "x");
  ASSERT_EQ(ConvertBetweenCodePages(936, 1200, "\xD6\xD0\xCE\xC4", &out), 0);
  EXPECT_EQ(out, Utf16(u"\u4E2D\u6587"));
  ASSERT_EQ(ConvertBetweenCodePages(1252, 1200, "a\x01" "b\r\n", &out), 0);  // control codes stripped
  EXPECT_EQ(out, Utf16(u"ab\r\n"));
}

TEST_F(TextOutputEngine, PageThroughTheSink) {
  // Version 11: name, header with the page-name mark, footer without one,
  // a shape text and an annotation, all UTF-16 items.
  VsdSession session;
  session.version = 11;
  session.header = Utf16(u"H:&N");
  session.footer = Utf16(u"&F");
  ExtractOptionsV4 options = Request("UTF-8", kFlagALineEndLf);
  std::ostringstream stream;
  TextOutput out(options);
  out.SetStream(&stream);
  ExtractionPort port;
  OutputSink sink(out, session, options, nullptr, nullptr, port, SplitSourcePath("/d/plan.vsd"));
  sink.set_author_utf16(Utf16(u"Ann "));
  const std::string name = Utf16(u"P1");
  ASSERT_EQ(sink.PageReached(1), 0);
  ASSERT_EQ(sink.PageName({name, 1200}), 0);
  ASSERT_EQ(sink.LineBreak(), 0);
  ASSERT_EQ(sink.HeaderFooter(session, {name, 1200}), 0);
  ASSERT_EQ(sink.ShapeText({Utf16(u"s"), 1200}), 0);
  ASSERT_EQ(sink.LineBreak(), 0);
  ASSERT_EQ(sink.Annotation(36526, Utf16(u" note")), 0);
  ASSERT_EQ(sink.LineBreak(), 0);
  EXPECT_EQ(stream.str(), "\xEF\xBB\xBF\"P1\"\n\"H:P1\"\n\"plan\"\n\"s\"\n\"Ann 2000-1-1 note\"\n");

  // An empty page name still counts as text: the break after it comes.
  std::ostringstream second;
  TextOutput out2(options);
  out2.SetStream(&second);
  VsdSession plain;
  plain.version = 6;
  OutputSink sink2(out2, plain, options, nullptr, nullptr, port, SourcePathParts{});
  ASSERT_EQ(sink2.PageName({"", 1252}), 0);
  ASSERT_EQ(sink2.LineBreak(), 0);
  ASSERT_EQ(sink2.HeaderFooter(plain, {"", 1252}), 0);
  EXPECT_EQ(second.str(), "\xEF\xBB\xBF\n\n\n");
}

}  // namespace
}  // namespace glyphane
