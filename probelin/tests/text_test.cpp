// The text, markup and XML detectors: markup and mail found by the head
// classifier, the HTML tag scan, OASYS text beside its format file, the XML
// family names, and the text fallback with its charset names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "detect.h"
#include "fixtures.h"
#include "testsupport/testdata.h"

namespace {

using namespace probelin_test;

// UTF-16 of an ASCII text, in either byte order.
std::string Wide(const std::string& text, bool big_endian) {
  std::string out;
  for (char c : text) {
    out += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

template <size_t N>
void SetText(char (&field)[N], const char* text) {
  probelin::CopyText(field, N, text);
}

// The locale hint of the text detector, fixed for the test.
struct FixedLocale {
  testsupport::ScopedEnv lang{"LANG", "C.UTF-8"};
  testsupport::ScopedEnv all{"LC_ALL", nullptr};
  testsupport::ScopedEnv ctype{"LC_CTYPE", nullptr};
};

// Detects bytes with the record's name and result area set beforehand.
Detection DetectWithRecord(const std::string& bytes, const char* name, const char* hint) {
  std::string path = WriteTemp("preset.txt", bytes);
  DtctInput input{};
  input.path = path.c_str();
  Detection d;
  d.record.input = &input;
  SetText(d.record.name, name);
  std::strncpy(d.record.text_result, hint, sizeof d.record.text_result - 1);
  d.result = KVB_FileDtct(&d.record);
  d.record.input = nullptr;
  std::filesystem::remove(path);
  return d;
}

struct Case {
  const char* what;
  std::string bytes;
  Expect expect;
};

TEST(DtctText, MarkupAndMailAreClassifiedFromTheHead) {
  FixedLocale locale;
  const std::string html = "see <html><body>x</body></html>\n";
  const Case cases[] = {
      {"an HTML tag after text", html, {1, 210, 0, "HTML"}},
      {"UTF-16LE with its mark", "\xFF\xFE" + Wide(html, false), {1, 210, 0, "HTML"}},
      {"UTF-16BE with its mark", "\xFE\xFF" + Wide(html, true), {1, 210, 0, "HTML"}},
      {"a comment and no HTML tag", "<!-- note -->\n<thing>x</thing>\n", {1, 210, 0, "HTML"}},
      {"a comment with its text run on", "<!--note-->\n<thing>x</thing>\n", {1, 210, 0, "HTML"}},
      {"an entity declaration first", "<!ENTITY x \"y\">\n<html>\n", {0, 209, 0, ""}},
      {"an HTML document type", "<!DOCTYPE html>\n<thing>\n", {1, 210, 0, "HTML"}},
      {"another document type", "<!DOCTYPE svg PUBLIC \"x\">\n<html>\n", {0, 209, 0, ""}},
      {"a bookmark file", "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>b</TITLE>\n", {0, 0, 0, ""}},
      {"MIME-Version then Content-Type", "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nhi\r\n", {1, 367, 0, "EML"}},
      {"From, To and Date", "from: a@b\nTo: c@d\nDATE: today\n\nhi\n", {1, 367, 0, "EML"}},
      {"Content-Type before MIME-Version", "Content-Type: text/plain\nMIME-Version: 1.0\n\nhi\n",
       {27, 0, 0, "TEXT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(DetectBytes(c.bytes, "sample.dat"), c.expect);
  }
}

TEST(DtctText, WideUnitsEndTheMarkupScans) {
  FixedLocale locale;
  // A unit above 0xFF before the tag: neither markup nor HTML.
  std::string text = std::string("\xFF\xFE") + "\x42\x30" + Wide(" <html> ok\n", false);
  Detection d = DetectBytes(text, "wide.dat");
  EXPECT_EQ(d.record.format_id, 0);
  EXPECT_STRNE(d.record.name, "HTML");
}

TEST(DtctText, OasysTextNeedsAMarkAndWellFormedBytes) {
  const struct {
    const char* what;
    std::string text;
    int answer;
  } cases[] = {
      {"each mark", "Title\r\n\xEF\xAF\xB1" "41\x82\xA0 text\xEF\xBF" "123\xEF\xC0\xA5\r\n", 1},
      {"no mark", "Title\r\n\x82\xA0 text\r\n", 0},
      {"a value of 0x80 and more", "T\xEF\xAF\xB1" "99\r\n", 0},
      {"two digits after 0xEFBF", "T\xEF\xBF" "12x\r\n", 0},
      {"a control byte after 0xEFC0", "T\xEF\xC0\x05\r\n", 0},
      {"a lone CR", "T\r\xEF\xAF\xB1" "41\r\n", 0},
      {"0xFC with a bad trail byte", "T\xEF\xAF\xB1" "41\xFC\x40\r\n", 0},
      {"a lead byte at the end", "T\xEF\xAF\xB1" "41\x82", 0},
  };
  auto w = std::make_unique<probelin::DtctWork>();
  probelin::DtctResult r{};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::memset(w.get(), 0, sizeof *w);
    std::memcpy(w->head, c.text.data(), c.text.size());
    w->head_length = probelin::kHeadSize;
    w->data_size = int64_t(c.text.size());
    w->result = &r;
    EXPECT_EQ(probelin::TestOasysText(*w), c.answer);
  }
}

TEST(DtctText, OasysTextIsNamedThroughItsFormatFile) {
  FixedLocale locale;
  std::string format = Padded("", 600);
  for (size_t at : {61, 62, 65, 69, 72}) format[at] = 1;
  std::string text_path = WriteTemp("letter.DOC", "Title\r\n\xEF\xAF\xB1" "41\x82\xA0 text\r\n");
  std::string format_path = WriteTemp("letter.fmt", format);
  Check(DetectPath(text_path), {22, 271, 2, "OASYS Separated", 0, "Japanese"});
  std::filesystem::remove(format_path);
  EXPECT_NE(DetectPath(text_path).record.format_id, 271) << "without its format file";
  std::filesystem::remove(text_path);
}

std::string Iges(size_t line_end) {
  std::string out;
  for (char section : {'S', 'G', 'D'}) {
    std::string line = Padded("IGES data", 72) + section + "0000001";
    out += line + (line_end == 82 ? "\r\n" : "\n");
  }
  return out;
}

TEST(DtctText, XmlFamilyNames) {
  FixedLocale locale;
  const std::string decl = "<?xml version=\"1.0\"?>\n";
  std::string apple = Padded(B("\x06\x07\xAC\x00" "BOBO"), 600);
  std::vector<Case> cases = {
      {"Mac Write II", Padded(Padded("", 8) + B("\x00\x48\x00\x48"), 600), {1, 0, 0, "Mac Write II"}},
      {"plain XML", decl + "<a/>\n", {1, 0, 0, "XML"}},
      {"UTF-8 mark", "\xEF\xBB\xBF" + decl + "<a/>\n", {1, 0, 0, "XML"}},
      {"UTF-16BE mark", "\xFE\xFF" + Wide(decl + "<a/>\n", true), {1, 0, 0, "XML"}},
      {"UTF-16LE mark", "\xFF\xFE" + Wide(decl + "<a/>\n", false), {1, 0, 0, "XML"}},
      {"four-byte mark", B("\xFF\xFE\xFF\xFF") + decl + "<a/>\n", {1, 0, 0, "XML"}},
      {"UTF-16LE element without declaration", Wide("<a>b</a>\n", false), {1, 0, 0, "XML"}},
      {"UCS-4BE element", B("\0\0\0<\0\0\0a\0\0\0>"), {1, 0, 0, "XML"}},
      {"stylesheet after a UTF-8 mark", "\xEF\xBB\xBF" + decl + "<xsl:stylesheet/>\n", {1, 0, 0, "XSL"}},
      {"stylesheet at byte 1,000", Padded(decl, 1000) + "<xsl:template/>", {1, 0, 0, "XSL"}},
      {"stylesheet at byte 1,100", Padded(decl + "<a>", 1100) + "<xsl:template/>", {1, 0, 0, "XML"}},
      {"UTF-16 stylesheet", "\xFF\xFE" + Wide(decl + "<XSL:x/>", false), {1, 0, 0, "XSL"}},
      {"Word XML", decl + "<?mso-application progid=\"Word.Document\"?><w/>", {1, 0, 0, "Word XML"}},
      {"Excel XML", decl + "<?mso-application progid=\"Excel.Sheet\"?><s/>", {1, 0, 0, "Excel XML"}},
      {"progid before the processing name", decl + "<?x progid=\"Word.Document\" mso-application?>", {1, 0, 0, "XML"}},
      {"IGES with CR LF lines", Iges(82), {1, 0, 0, "IGES"}},
      {"IGES with LF lines", Iges(81), {1, 0, 0, "IGES"}},
  };
  const char* apple_names[] = {"Apple Works DR", "Apple Works WP", "Apple Works SS",
                               "Apple Works DB", "Apple Works PT", "Apple Works PR"};
  for (int kind = 0; kind < 6; ++kind) {
    apple[278] = char(kind);
    cases.push_back({apple_names[kind], apple, {1, 0, 0, apple_names[kind]}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(DetectBytes(c.bytes, "sample.dat"), c.expect);
  }
  apple[278] = 6;
  EXPECT_EQ(std::string(DetectBytes(apple, "sample.dat").record.name).rfind("Apple Works", 0), std::string::npos);
}

TEST(DtctText, TheFallbackNamesTheCharset) {
  const struct {
    uint32_t word;
    bool keep;
    int answer;
    const char* name;
    const char* second;
    const char* language = "";
  } cases[] = {
      {0, false, 27, "", ""},
      {0, true, 27, "HTML", "old", "English"},
      {0x1, false, -1, "", ""},
      {0x1, true, -1, "", ""},
      {0x40000002, false, 27, "TEXT", "UTF-8"},
      {0x40000002, true, 27, "HTML", "UTF-8", "English"},
      {0x40000004, false, -1, "TEXT", "UTF-16"},
      {0x4000000C, false, -1, "TEXT", "UTF-16"},
      {0x60000008, false, 27, "TEXT", "UTF-16"},
      {0x2100, false, 27, "TEXT", "WINDOWS31J"},
      {0x200, false, 27, "TEXT", "ISO-8859-1"},
      {0x800, false, 27, "TEXT", "Big5"},
      {0x60000C00, false, 27, "TEXT", "Multi Charsets"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " keep " << c.keep);
    FileDtctRecord record{};
    SetText(record.name, c.keep ? "HTML" : "Earlier");
    SetText(record.second_text, "old");
    SetText(record.language, "English");
    EXPECT_EQ(probelin::ApplyTextWord(&record, int(c.word), c.keep), c.answer);
    EXPECT_STREQ(record.name, c.name);
    EXPECT_STREQ(record.second_text, c.second);
    EXPECT_STREQ(record.language, c.language) << "the fallback writes no language";
  }
  FileDtctRecord record{};
  SetText(record.name, "Earlier");
  EXPECT_EQ(probelin::ApplyTextWord(&record, -1, false), -1);
  EXPECT_STREQ(record.name, "Earlier") << "an unreadable file changes nothing";
}

TEST(DtctText, FallbackThroughTheTextDetector) {
  FixedLocale locale;
  Check(DetectBytes("plain words\nand more words\n", "a.txt"), {27, 0, 0, "TEXT"});
  EXPECT_STREQ(DetectBytes("caf\xC3\xA9 au lait\n", "a.txt").record.second_text, "UTF-8");
  // A name "HTML" the caller set stays when the file is text.
  Detection kept = DetectWithRecord("just text\n", "HTML", "");
  EXPECT_EQ(kept.result, 27);
  EXPECT_STREQ(kept.record.name, "HTML");
  // The result area is the hint for a GBK/Big5 tie.
  std::string tie;
  for (int i = 0; i < 20; ++i) tie += std::string{char(0xF5 + i % 3), '\x40', char('a' + i)};
  tie += " x\n";
  EXPECT_STREQ(DetectWithRecord(tie, "", "").record.second_text, "Multi Charsets");
  Detection hinted = DetectWithRecord(tie, "", "Traditional Chinese");
  EXPECT_STREQ(hinted.record.second_text, "Big5");
  EXPECT_STREQ(hinted.record.text_result, "Traditional Chinese") << "the hint is never written";
}

TEST(DtctText, BitmapsAndRiffFilesOfTheirStoredSizeAreNotText) {
  const struct {
    std::string head;
    int64_t size;
    int answer;
  } cases[] = {
      {"BM" + Le32(5000), 5000, -1},
      {"BM" + Le32(5000), 5001, 27},
      {"RIFF" + Le32(4992), 5000, -1},
      {"RIFF" + Le32(5000), 5000, 27},
      {"bm" + Le32(5000), 5000, 27},
      {"RIFF" + Le32(0xFFFFFFFF), 0xFFFFFFFFll + 8, -1},
  };
  auto w = std::make_unique<probelin::DtctWork>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head.substr(0, 4) + " " + std::to_string(c.size));
    std::memset(w.get(), 0, sizeof *w);
    std::memcpy(w->head, c.head.data(), c.head.size());
    w->data_size = c.size;
    EXPECT_EQ(probelin::RejectBmpRiff(*w, 27), c.answer);
  }
}

}  // namespace
