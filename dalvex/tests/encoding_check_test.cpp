// cconvChkEncode and cconvIsEndianAware: marks, XML declarations, the
// statistical ladder, line ends and the record's input checks.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "dalvex/encoding_detect.h"
#include "encoding_samples.h"

using encoding_samples::Encode;

namespace {

struct Checked {
  int result;
  CconvCheck record;
};

Checked Check(const std::string& text, int32_t position = 0) {
  Checked c{};
  c.record.text = text.data();
  c.record.position = position;
  c.record.end = static_cast<int32_t>(text.size());
  c.result = cconvChkEncode(&c.record);
  EXPECT_EQ(c.record.position, position) << "position not restored";
  return c;
}

std::string Utf16(std::string_view utf8, bool big_endian) { return Encode(utf8, big_endian ? "UTF-16BE" : "UTF-16LE"); }

struct Expected {
  const char* what;
  std::string text;
  const char* charset;
  int xml, mark, big_endian, unit_code;
};

void ExpectNamed(const Expected& e) {
  SCOPED_TRACE(e.what);
  Checked c = Check(e.text);
  EXPECT_EQ(c.result, 1);
  EXPECT_STREQ(c.record.charset, e.charset);
  EXPECT_EQ(c.record.xml_declaration, e.xml);
  EXPECT_EQ(c.record.byte_order_mark, e.mark);
  EXPECT_EQ(c.record.big_endian, e.big_endian);
  EXPECT_EQ(c.record.unit_code, e.unit_code);
}

}  // namespace

TEST(EncodingCheck, ByteOrderMarks) {
  const std::string ja(encoding_samples::kJapanese);
  const Expected cases[] = {
      {"UCS-4 LE", "\xFF\xFE" + std::string("\0\0", 2) + Encode(ja, "UCS-4LE"), "ISO-10646-UCS-4", 0, 1, 0, 4098},
      {"UCS-4 BE", std::string("\0\0", 2) + "\xFE\xFF" + Encode(ja, "UCS-4BE"), "ISO-10646-UCS-4", 0, 1, 1, 4098},
      {"UTF-8", "\xEF\xBB\xBF" + ja, "UTF-8", 0, 1, 1, 1},
      {"UTF-16 BE", "\xFE\xFF" + Utf16(ja, true), "UTF-16", 0, 1, 1, 4098},
      {"UTF-16 LE", "\xFF\xFE" + Utf16(ja, false), "UTF-16", 0, 1, 0, 4098},
      // The mark names the charset even where the bytes behind it say otherwise.
      {"UTF-16 LE mark before 8-bit text", "\xFF\xFE" + std::string("plain"), "UTF-16", 0, 1, 0, 4098},
  };
  for (const Expected& e : cases) ExpectNamed(e);
}

TEST(EncodingCheck, XmlDeclarations) {
  const std::string body = "\n<a>text</a>\n";
  const std::string sjis_decl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>";
  const std::string bare_decl = "<?xml version=\"1.0\"?>";
  const Expected cases[] = {
      {"8-bit, double quotes", sjis_decl + body, "Shift_JIS", 1, 0, 1, 1},
      {"8-bit, single quotes", "<?xml version='1.0' encoding='EUC-JP'?>" + body, "EUC-JP", 1, 0, 1, 1},
      {"8-bit, upper-case", "<?XML VERSION=\"1.0\" ENCODING=\"UTF-16\"?>" + body, "UTF-16", 1, 0, 1, 4098},
      {"8-bit, no attribute", bare_decl + body, "UTF-8", 1, 0, 1, 1},
      {"8-bit, attribute on the next line", "<?xml version=\"1.0\"\n encoding=\"Shift_JIS\"?>" + body, "UTF-8", 1, 0,
       1, 1},
      {"8-bit after a UTF-8 mark", "\xEF\xBB\xBF" + sjis_decl + body, "Shift_JIS", 1, 1, 1, 1},
      {"UTF-16 BE without mark", Utf16(sjis_decl + body, true), "Shift_JIS", 1, 0, 1, 1},
      {"UTF-16 LE without mark", Utf16(sjis_decl + body, false), "Shift_JIS", 1, 0, 0, 1},
      {"UTF-16 LE, no attribute", Utf16(bare_decl + body, false), "UTF-16", 1, 0, 0, 4098},
      {"UTF-16 BE after its mark", "\xFE\xFF" + Utf16(bare_decl + body, true), "UTF-16", 1, 1, 1, 4098},
      {"UCS-4 BE, no attribute", Encode(bare_decl + body, "UCS-4BE"), "ISO-10646-UCS-4", 1, 0, 1, 4098},
      {"UCS-4 LE, attribute", Encode("<?xml encoding='ISO-10646-UCS-4'?>" + body, "UCS-4LE"), "ISO-10646-UCS-4",
       1, 0, 0, 4098},
  };
  for (const Expected& e : cases) ExpectNamed(e);
}

TEST(EncodingCheck, StatisticalLadder) {
  using namespace encoding_samples;
  const std::string ja(kJapanese);
  const Expected cases[] = {
      {"EUC-JP-FIX", WidenEucJp(Encode(ja, "EUC-JP")), "EUC-JP-FIX", 0, 0, 1, 1},
      {"EUC-JP", Encode(ja, "EUC-JP"), "EUC-JP", 0, 0, 1, 1},
      {"UTF-16 LE", Utf16("<a>" + ja + "</a>", false), "UTF-16", 0, 0, 0, 4098},
      {"UTF-16 BE", Utf16("<a>" + ja + "</a>", true), "UTF-16", 0, 0, 1, 4098},
      // Ideographs of the row U+4E00-U+4EFF beyond U+4EA5 are as plausible as the rest.
      {"UTF-16 LE, ideographs U+4EA6-U+4EFF", Utf16("<a>人以今他代件京</a>", false), "UTF-16", 0, 0, 0, 4098},
      {"UCS-4 LE", Encode(ja, "UCS-4LE"), "ISO-10646-UCS-4", 0, 0, 0, 4098},
      {"UCS-4 BE", Encode(ja, "UCS-4BE"), "ISO-10646-UCS-4", 0, 0, 1, 4098},
      {"Shift_JIS", Encode(ja, "SHIFT_JIS"), "WINDOWS31J", 0, 0, 1, 1},
      {"Latin-1 as single bytes", Encode("¡Olé! 20 ¥ à la mer.\n", "ISO-8859-1"), "ISO-8859-1", 0, 0, 1, 1},
      {"ASCII", std::string(kAscii), "ISO-646IRV", 0, 0, 1, 1},
      {"UTF-8", ja, "UTF-8", 0, 0, 1, 1},
      // All non-ASCII characters in U+00A0-U+00FF: still UTF-8, else it would garble.
      {"UTF-8 with Latin-1 letters only", std::string(kWestern), "UTF-8", 0, 0, 1, 1},
      {"ISO-2022-JP", Encode(ja, "ISO-2022-JP"), "ISO-2022-JP", 0, 0, 1, 1},
  };
  for (const Expected& e : cases) ExpectNamed(e);
}

TEST(EncodingCheck, NothingNamed) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 251);
  for (const std::string& text : {std::string(), std::string(1, '\0'), binary}) {
    Checked c = Check(text);
    EXPECT_EQ(c.result, 0);
    EXPECT_STREQ(c.record.charset, "unknown");
  }
}

TEST(EncodingCheck, InputChecks) {
  EXPECT_EQ(cconvChkEncode(nullptr), 0);
  const std::string text = "plain text\n";
  struct Case {
    const char* text;
    int32_t position, end;
  } cases[] = {
      {nullptr, 0, 10}, {text.c_str(), -1, 11}, {text.c_str(), 12, 11}, {text.c_str(), 5, -3},
  };
  for (const Case& k : cases) {
    CconvCheck record{};
    record.text = k.text;
    record.position = k.position;
    record.end = k.end;
    EXPECT_EQ(cconvChkEncode(&record), 0);
    EXPECT_STREQ(record.charset, "unknown");
    EXPECT_EQ(record.position, k.position);
  }
}

TEST(EncodingCheck, StartsAtThePosition) {
  // Shift_JIS text behind a UTF-16 mark: from position 2 only the text counts.
  std::string text = "\xFF\xFE" + Encode(encoding_samples::kJapanese, "SHIFT_JIS");
  Checked c = Check(text, 2);
  EXPECT_STREQ(c.record.charset, "WINDOWS31J");
  EXPECT_EQ(c.record.byte_order_mark, 0);
}

TEST(EncodingCheck, LineEnds) {
  struct Case {
    const char* what;
    std::string text;
    int32_t kind;
  } cases[] = {
      {"CR LF", "one\r\ntwo\r\nthree\n", kCconvLineEndCrLf},
      {"LF CR counts as CR LF", "one\n\rtwo\n\rthree\n", kCconvLineEndCrLf},
      {"CR", "one\rtwo\rthree\r", kCconvLineEndCr},
      {"LF", "one\ntwo\nthree\r\n", kCconvLineEndLf},
      {"tie of CR and LF", "one\rtwo\n", kCconvLineEndNone},
      {"none", "one line", kCconvLineEndNone},
      {"U+2028 in UTF-8", "\xEF\xBB\xBF" "one\xE2\x80\xA8two\xE2\x80\xA8three\n", kCconvLineEndLineSeparator},
      {"U+2029 in UTF-16", "\xFF\xFE" + Utf16("one\u2029two\u2029three\r\n", false), kCconvLineEndParagraphSeparator},
      {"CR LF in UCS-4", Encode("<?xml?>\r\nline\r\n", "UCS-4BE"), kCconvLineEndCrLf},
      {"LF in EUC-JP-FIX", encoding_samples::WidenEucJp(Encode(encoding_samples::kJapanese, "EUC-JP")),
       kCconvLineEndLf},
      // ISO-2022-JP: LF wins when there are fewer CRs than LFs, without outnumbering CR LF.
      {"ISO-2022-JP", Encode("日本語\r\n日本語\r\n日本語\n", "ISO-2022-JP"), kCconvLineEndLf},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Checked c = Check(k.text);
    EXPECT_EQ(c.result, 1) << c.record.charset;
    EXPECT_EQ(c.record.line_end, k.kind);
  }
}

TEST(EncodingCheck, EndianAwareNamesCompareExactly) {
  const std::pair<const char*, int> cases[] = {
      {"UTF-16", 1}, {"ISO-10646-UCS-2", 1}, {"ISO-10646-UCS-4", 1}, {"utf-16", 0},
      {"UTF-8", 0},  {"UTF-16LE", 0},        {"", 0},                {nullptr, 0},
  };
  for (const auto& [name, aware] : cases) EXPECT_EQ(cconvIsEndianAware(name), aware) << (name ? name : "null");
}

TEST(EncodingCheck, RunsOnSeveralThreadsAtOnce) {
  const std::vector<std::pair<std::string, std::string>> texts = {
      {Encode(encoding_samples::kJapanese, "SHIFT_JIS"), "WINDOWS31J"},
      {Encode(encoding_samples::kJapanese, "EUC-JP"), "EUC-JP"},
      {std::string(encoding_samples::kKorean), "UTF-8"},
      {Utf16("<a>" + std::string(encoding_samples::kJapanese), false), "UTF-16"},
  };
  std::vector<std::thread> threads;
  std::vector<int> wrong(texts.size(), 0);
  for (size_t t = 0; t < texts.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        CconvCheck record{};
        record.text = texts[t].first.data();
        record.end = static_cast<int32_t>(texts[t].first.size());
        if (cconvChkEncode(&record) != 1 || texts[t].second != record.charset) ++wrong[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (size_t t = 0; t < texts.size(); ++t) EXPECT_EQ(wrong[t], 0) << texts[t].second;
}
