// The codecs on self-made inputs, through sessions on the generated
// configuration: round trips for every charset, the behaviour at invalid
// and cut input, marks and byte orders, language tags, the JIS X 0213
// pairs, ISO-2022 designations, numeric references, line ends,
// substitutes, the UTF-7 and HZ pre-steps, and resumption of a run over
// small input pieces and small output buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs_support.h"

namespace {

using codectest::Bytes;
using codectest::Convert;
using codectest::ConvertInPieces;
using codectest::Options;
using codectest::Result;

class Codecs : public codectest::EngineTest {};

struct Sample {
  const char* charset;
  const char* utf8;
};

// A text every charset holds, in UTF-8.
const Sample kSamples[] = {
    {"Shift_JIS", "Aa\\~ あ漢字ｱﾟ－～\r\n"},
    {"WINDOWS31J", "Aa あ漢字ｱ①Ⅰ㈱纊\r\n"},
    {"EUC-JP", "Aa あ漢字ｱ丂\r\n"},
    {"EUC-JP-FIX", "Aa あ漢字ｱ丂\r\n"},
    {"ISO-2022-JP", "Aa あ漢字\r\nB"},
    {"Shift_JIS-2004", "Aa あ漢字ｱ𠀋か゚\r\n"},
    {"EUC-JIS-2004", "Aa あ漢字ｱ𠀋か゚\r\n"},
    {"ISO-2022-JP-2004", "Aa あ漢字𠀋か゚\r\nB"},
    {"ISO-10646-UCS-2", "Aa あ漢字é\r\n"},
    {"ISO-10646-UCS-4", "Aa あ漢字😀\r\n"},
    {"UTF-16", "Aa あ漢字😀\r\n"},
    {"UTF-8", "Aa あ漢字😀\r\n"},
    {"ChineseGBK", "Aa 中文字\r\n"},
    {"ChineseBIG5", "Aa 中文字\r\n"},
    {"KoreanKSC", "Aa 한국어\r\n"},
    {"GB18030", "Aa 中文字€\r\n"},
    {"ISO-8859-1", "Aa é\r\n"},
    {"ISO-646IRV", "Aa b\r\n"},
};

TEST_F(Codecs, EveryCharsetRoundTrips) {
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(sample.charset);
    Result there = Convert("UTF-8", sample.charset, sample.utf8);
    ASSERT_EQ(there.status, 0);
    Result back = Convert(sample.charset, "UTF-8", there.out);
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.out, sample.utf8);
  }
}

TEST_F(Codecs, KnownEncodings) {
  struct Case {
    const char* from;
    const char* to;
    std::string in, out;
  } cases[] = {
      {"UTF-8", "Shift_JIS", "あ漢", Bytes({0x82, 0xA0, 0x8A, 0xBF})},
      {"UTF-8", "EUC-JP", "あｱ丂", Bytes({0xA4, 0xA2, 0x8E, 0xB1, 0x8F, 0xB0, 0xA1})},
      {"UTF-8", "EUC-JP-FIX", "Aｱあ丂", Bytes({0, 'A', 0, 0xB1, 0xA4, 0xA2, 0xB0, 0x21})},
      {"UTF-8", "ISO-2022-JP", "A漢B", "\x1B(BA\x1B$B4A\x1B(BB"},
      // A plane-1 character, a second one, then a letter.
      {"UTF-8", "ISO-2022-JP-2004", "漢字B", "\x1B$(Q4A;z\x1B(BB"},
      {"UTF-8", "ISO-2022-JP-2004", "\xF0\xA0\x82\x89", "\x1B$(P!!\x1B(B"},  // plane 2
      {"UTF-8", "Shift_JIS-2004", "\xF0\xA0\x82\x89", Bytes({0xF0, 0x40})},
      {"UTF-8", "EUC-JIS-2004", "\xF0\xA0\x82\x89𠀋", Bytes({0x8F, 0xA1, 0xA1, 0xAE, 0xA2})},
      {"UTF-8", "UTF-8", "𠀀", Bytes({0xF0, 0xA0, 0x80, 0x80})},
      {"UTF-8", "UTF-16", "A😀", Bytes({'A', 0, 0x3D, 0xD8, 0x00, 0xDE})},
      {"UTF-8", "ISO-10646-UCS-4", "😀", Bytes({0x00, 0xF6, 0x01, 0x00})},
      {"EUC-JP", "UTF-8", Bytes({0x8E, 0xB1}), "ｱ"},
      {"UTF-16", "UTF-8", Bytes({0x3D, 0xD8, 0x00, 0xDE}), "😀"},
      {"UTF-16", "UTF-8", Bytes({0x00, 0xDE, 0x3D, 0xD8}), "😀"},  // either order
      // Shift_JIS and EUC-JP share the JIS X 0208 set: no table between.
      {"EUC-JP", "Shift_JIS", Bytes({0xA1, 0xC1}), Bytes({0x81, 0x60})},
      {"UTF-8", "Shift_JIS", "¥", "\\"},
      {"UTF-8", "ISO-2022-JP", "¥", "\x1B(J\\\x1B(B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to + " " + c.in);
    Result r = Convert(c.from, c.to, c.in);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, c.out);
  }
}

// Invalid input: the status, the position a run stops at, and what a run
// with skip-invalid makes of the same bytes.
TEST_F(Codecs, InvalidInputPerDecoder) {
  struct Case {
    const char* from;
    std::string in;
    int status, position;
    std::string skipped;  // UTF-8 output under skip-invalid
  } cases[] = {
      {"Shift_JIS", Bytes({'a', 0x81, 0x7F, 'b'}), 13, 2, "a\x7F" "b"},
      {"Shift_JIS", Bytes({'a', 0xA0, 'b'}), 13, 2, "ab"},
      {"Shift_JIS", Bytes({'a', 0x81}), 12, 1, "a"},
      {"WINDOWS31J", Bytes({0xF0, 0x40, 'b'}), 0, 3, "\xEE\x80\x80" "b"},  // user row
      {"Shift_JIS", Bytes({0xF0, 0x40, 'b'}), 13, 1, "@b"},
      {"EUC-JP", Bytes({'a', 0x8E}), 12, 1, "a"},
      {"EUC-JP", Bytes({'a', 0xA4, 0x41, 'b'}), 13, 2, "aAb"},
      {"EUC-JP", Bytes({'a', 0x90, 'b'}), 13, 2, "ab"},
      {"EUC-JP-FIX", Bytes({0, 'a', 0x10, 'b'}), 13, 3, "a"},
      {"ChineseGBK", Bytes({'a', 0x81, 0x20, 'b'}), 13, 1, "ab"},
      {"ChineseGBK", Bytes({'a', 0x81}), 12, 1, "a"},
      {"UTF-8", Bytes({0xE3, 0x61, 0x62}), 13, 1, "ab"},
      {"UTF-8", Bytes({'a', 0xE3, 0x81}), 12, 1, "a"},
      {"UTF-8", Bytes({'a', 0xFE, 0xFF, 'b'}), 0, 4, "ab"},
      {"UTF-16", Bytes({0x00, 0xD8, 0x41, 0x00}), 13, 2, "A"},
      {"UTF-16", Bytes({0x00, 0xDC, 0x00, 0xDC}), 13, 2, ""},
      {"UTF-16", Bytes({0x41, 0x00, 0x00, 0xD8}), 12, 2, "A"},
      {"ISO-2022-JP", "a\x1B(Zb", 13, 4, "ab"},
      {"ISO-2022-JP", "a\x1B$", 12, 1, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " case at " + std::to_string(c.position));
    Result r = Convert(c.from, "UTF-8", c.in);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.position, c.position);
    Options skip;
    skip.source.skip_invalid = 1;
    Result s = Convert(c.from, "UTF-8", c.in, skip);
    EXPECT_EQ(s.out, c.skipped);
  }
}

TEST_F(Codecs, ByteOrderMarksAndOrders) {
  Options big;
  big.target.big_endian = 1;
  big.target.write_bom = 1;
  EXPECT_EQ(Convert("UTF-8", "UTF-16", "A", big).out, Bytes({0xFE, 0xFF, 0, 'A'}));
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-4", "A", big).out, Bytes({0, 0, 0xFE, 0xFF, 0, 0, 0, 'A'}));
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "A", big).out, Bytes({0xFE, 0xFF, 0, 'A'}));
  EXPECT_EQ(Convert("UTF-8", "UTF-8", "A", big).out, "\xEF\xBB\xBF" "A");
  // A big-endian flag does not turn the bytes of byte charsets around.
  EXPECT_EQ(Convert("UTF-8", "Shift_JIS", "あ", big).out, Bytes({0x82, 0xA0}));
  EXPECT_EQ(Convert("UTF-8", "ChineseGBK", "中", big).out, Bytes({0xD6, 0xD0}));
  Options in_big;
  in_big.source.big_endian = 1;
  EXPECT_EQ(Convert("Shift_JIS", "UTF-8", Bytes({0x82, 0xA0}), in_big).out, "あ");
  EXPECT_EQ(Convert("EUC-JP", "UTF-8", Bytes({0xA4, 0xA2}), in_big).out, "あ");
  EXPECT_EQ(Convert("UTF-16", "UTF-8", Bytes({0, 'A'}), in_big).out, "A");

  Options marks;
  marks.source.expect_bom = 1;
  EXPECT_EQ(Convert("UTF-16", "UTF-8", Bytes({0xFE, 0xFF, 0, 'A'}), marks).out, "A");
  EXPECT_EQ(Convert("UTF-16", "UTF-8", Bytes({0xFF, 0xFE, 'A', 0}), marks).out, "A");
  EXPECT_EQ(Convert("ISO-10646-UCS-4", "UTF-8", Bytes({0, 0, 0xFE, 0xFF, 0, 0, 0, 'A'}), marks).out, "A");
  EXPECT_EQ(Convert("ISO-10646-UCS-2", "UTF-8", Bytes({0xFE, 0xFF, 0, 'A'}), marks).out, "A");
  EXPECT_EQ(Convert("UTF-8", "UTF-8", "\xEF\xBB\xBF" "A", marks).out, "A");
  // Only FE FF and FF FE are marks: little-endian U+FF08 and U+00FF stay.
  EXPECT_EQ(Convert("UTF-16", "UTF-8", Bytes({0x08, 0xFF, 'A', 0}), marks).out, "（A");
  EXPECT_EQ(Convert("UTF-16", "UTF-8", Bytes({0xFF, 0x00}), marks).out, "ÿ");
  // A short UTF-8 text is no cut mark.
  EXPECT_EQ(Convert("UTF-8", "UTF-8", "ab", marks).out, "ab");
  Result cut = Convert("UTF-8", "UTF-8", "\xEF\xBB", marks);
  EXPECT_EQ(cut.status, 12);
}

TEST_F(Codecs, JisX0213PairsBothWays) {
  const std::vector<std::pair<uint32_t, std::string>> pairs = {
      {0x2477, "か゚"}, {0x2478, "き゚"}, {0x2479, "く゚"}, {0x247A, "け゚"}, {0x247B, "こ゚"},
      {0x2577, "カ゚"}, {0x2578, "キ゚"}, {0x2579, "ク゚"}, {0x257A, "ケ゚"}, {0x257B, "コ゚"},
      {0x257C, "セ゚"}, {0x257D, "ツ゚"}, {0x257E, "ト゚"}, {0x2678, "ㇷ゚"}, {0x2B44, "æ̀"},
      {0x2B48, "ɔ̀"}, {0x2B49, "ɔ́"}, {0x2B4A, "ʌ̀"}, {0x2B4B, "ʌ́"}, {0x2B4C, "ə̀"},
      {0x2B4D, "ə́"}, {0x2B4E, "ɚ̀"}, {0x2B4F, "ɚ́"}, {0x2B65, "˩˥"}, {0x2B66, "˥˩"},
  };
  for (const auto& [code, text] : pairs) {
    SCOPED_TRACE(text);
    std::string euc = Bytes({static_cast<int>(code >> 8 | 0x80), static_cast<int>((code & 0xFF) | 0x80)});
    EXPECT_EQ(Convert("UTF-8", "EUC-JIS-2004", text).out, euc);
    EXPECT_EQ(Convert("EUC-JIS-2004", "UTF-8", euc).out, text);
    std::string sjis = Convert("EUC-JIS-2004", "Shift_JIS-2004", euc).out;
    EXPECT_EQ(sjis.size(), 2u);
    EXPECT_EQ(Convert("Shift_JIS-2004", "UTF-16", sjis).out, Convert("UTF-8", "UTF-16", text).out);
  }
  // Without JIS X 0213, the combining mark is written as a code of its own.
  EXPECT_EQ(Convert("UTF-8", "EUC-JP", "か゚").out, Bytes({0xA4, 0xAB, 0xA1, 0xAC}));
}

TEST_F(Codecs, LanguageTags) {
  Options ja;
  std::strcpy(ja.target.language, "ja");
  // A tag in the input changes the language; the encoder tags the change.
  std::string tagged = "a\xF3\xA0\x80\x81\xF3\xA0\x81\xA5\xF3\xA0\x81\xAE" "b";  // a, tag "en", b
  Result r = Convert("UTF-8", "UTF-8", tagged, ja);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, tagged);
  // Cancelling a tag: nothing written, the base language in force again.
  std::string cancel = "\xF3\xA0\x80\x81\xF3\xA0\x81\xBF";
  Result stop = Convert("UTF-8", "UTF-8", "a" + cancel + "b", ja);
  EXPECT_EQ(stop.status, 13);
  EXPECT_EQ(stop.position, 9);
  Options skip = ja;
  skip.source.skip_invalid = 1;
  EXPECT_EQ(Convert("UTF-8", "UTF-8", "a" + cancel + "b", skip).out, "ab");
  // A tag letter outside a tag is taken and writes nothing.
  EXPECT_EQ(Convert("UTF-8", "UTF-8", "a\xF3\xA0\x81\xA5" "b").out, "ab");
  // A tag cut by the input end.
  Result cut = Convert("UTF-8", "UTF-8", "a\xF3\xA0\x80\x81\xF3\xA0\x81\xA5", ja);
  EXPECT_EQ(cut.status, 12);
  EXPECT_EQ(cut.position, 1);
  // cconvChgLang tags the output of UTF-16, but not of UCS-2.
  CconvSession s{};
  ASSERT_EQ(cconvInitConvert(&s, &ja.target, "UTF-16"), 0);
  ASSERT_EQ(cconvChgCharset(&s, nullptr, "UTF-8"), 0);
  ASSERT_EQ(cconvChgLang(&s, "en"), 0);
  uint8_t out[64];
  s.input = reinterpret_cast<const uint8_t*>("x");
  s.input_length = 1;
  s.output = out;
  s.output_capacity = sizeof out;
  EXPECT_EQ(cconvConvert(&s), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), s.output_length),
            Bytes({0x40, 0xDB, 0x01, 0xDC, 0x40, 0xDB, 0x65, 0xDC, 0x40, 0xDB, 0x6E, 0xDC, 'x', 0}));
}

TEST_F(Codecs, NumericReferencesOfUcs2) {
  Options hex;
  hex.target.char_references = 1;
  auto units = [](const std::string& ascii) {
    std::string s;
    for (char c : ascii) s += std::string(1, c) + '\0';
    return s;
  };
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "😀", hex).out, units("&#x1F600;"));
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "é", hex).out, units("&#xE9;"));
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "A漢ｱ", hex).out, Convert("UTF-8", "ISO-10646-UCS-2", "A漢ｱ").out);
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "\xEF\xA3\xBF", hex).out, units("&#xF8FF;"));  // U+F8FF
  Options dec;
  dec.target.char_references = 2;
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "😀", dec).out, units("&#128512;"));
  // A reference that exactly fills the output is written.
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "😀", hex, 18).status, 0);
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "😀", hex, 17).status, 22);
  EXPECT_EQ(Convert("UTF-8", "ISO-10646-UCS-2", "😀").status, 23);
}

// Line-end forms 1-5 on a one-byte and a two-byte target; LF, CR LF, CR
// and U+2028 all count as one line end.
TEST_F(Codecs, LineEndForms) {
  const std::string in = "a\r\nb\nc\rd\xE2\x80\xA8";
  struct Case {
    int form;
    std::string bytes, wide;  // UTF-8 target, UTF-16LE target (per line end)
  } cases[] = {
      {1, "\r\n", Bytes({'\r', 0, '\n', 0})}, {2, "\r", Bytes({'\r', 0})}, {3, "\n", Bytes({'\n', 0})},
      {4, "\r\n", Bytes({0x28, 0x20})},       {5, "\r\n", Bytes({0x29, 0x20})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    Options o;
    o.target.line_end_flag = 1;
    o.target.line_end_form = c.form;
    std::string narrow, wide;
    for (char ch : std::string("abcd")) {
      narrow += std::string(1, ch) + c.bytes;
      wide += std::string(1, ch) + '\0' + c.wide;
    }
    EXPECT_EQ(Convert("UTF-8", "ISO-8859-1", in, o).out, narrow);
    EXPECT_EQ(Convert("UTF-8", "UTF-16", in, o).out, wide);
    EXPECT_EQ(Convert("UTF-8", "EUC-JP-FIX", "a\n", o).out.size(), c.form == 2 || c.form == 3 ? 4u : 6u);
  }
  // A CR at the end of one call and the LF at the start of the next.
  Options o;
  o.target.line_end_flag = 1;
  Result pieces = ConvertInPieces("Shift_JIS", "UTF-16", "x\r\ny", 2, 64, o);
  EXPECT_EQ(pieces.out, Bytes({'x', 0, '\r', 0, '\n', 0, 'y', 0}));
}

TEST_F(Codecs, Substitutes) {
  Options sub;
  sub.target.substitute = 1;
  // ISO-8859-1 has neither U+3013 nor U+FF1D: the last pair is "?" "?".
  Result latin = Convert("UTF-8", "ISO-8859-1", "a漢b\xE2\x82\xAC", sub);
  EXPECT_EQ(latin.status, 0);
  EXPECT_EQ(latin.out, "a?b\x80");
  // The source code decides: below 256 the first substitute.
  Options pair = sub;
  pair.target.substitute_low = '#';
  pair.target.substitute_high = 0x3013;
  EXPECT_EQ(Convert("UTF-8", "Shift_JIS", "éa漢😀", pair).out, "#a\x8A\xBF\x81\xAC");
  // An unencodable first value falls back to "?", the second stays.
  Options half = sub;
  half.target.substitute_low = 0x00E9;
  half.target.substitute_high = 0x3013;
  EXPECT_EQ(Convert("UTF-8", "Shift_JIS", "ÿ😀", half).out, "?\x81\xAC");
  EXPECT_EQ(Convert("UTF-8", "ISO-2022-JP", "😀", sub).out, "\x1B$B\"." "\x1B(B");
  EXPECT_EQ(Convert("UTF-8", "Shift_JIS", "😀").status, 23);
}

TEST_F(Codecs, Iso2022DesignationsAndFlush) {
  EXPECT_EQ(Convert("UTF-8", "ISO-2022-JP", "").out, "\x1B(B");
  EXPECT_EQ(Convert("UTF-8", "ISO-2022-JP", "AB").out, "\x1B(BAB");
  // Several escapes in a row; an escape with nothing after it.
  EXPECT_EQ(Convert("ISO-2022-JP", "UTF-8", "\x1B$B\x1B(B" "a\x1B$B").out, "a");
  EXPECT_EQ(Convert("ISO-2022-JP", "UTF-8", "\x1B$B4A\r\n4A").out, "漢\r\n漢");
  EXPECT_EQ(Convert("ISO-2022-JP", "UTF-8", "\x1B$@4A").out, "漢");
  // The flush needs room for its escape.
  CconvSession s{};
  ASSERT_EQ(cconvInitConvert(&s, nullptr, "ISO-2022-JP"), 0);
  ASSERT_EQ(cconvChgCharset(&s, nullptr, "UTF-8"), 0);
  uint8_t out[8];
  s.input = reinterpret_cast<const uint8_t*>("\xE6\xBC\xA2");
  s.input_length = 3;
  s.output = out;
  s.output_capacity = 4;
  EXPECT_EQ(cconvConvert(&s), 22);  // the designation fits, the character not
  EXPECT_EQ(s.output_length, 3);
  s.output_length = 0;
  EXPECT_EQ(cconvConvert(&s), 0);
  EXPECT_EQ(s.output_length, 2);
  s.output_length = 2;
  EXPECT_EQ(cconvTermConvert(&s), 22);
  s.output_length = 0;
  EXPECT_EQ(cconvTermConvert(&s), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "\x1B(B");
}

TEST_F(Codecs, PreSteps) {
  struct Case {
    const char* from;
    std::string in;
    int status;
    std::string out;
  } cases[] = {
      {"UTF-7", "+AGEAYgBj-", 0, "abc"},
      {"UTF-7", "+AGE!", 0, "a!"},
      {"UTF-7", "A+-B +ZeVnLIqe text +2D3eAA ok\n+AH4-end", 0, "A+B 日本語 text 😀 ok\n~end"},
      {"UTF-7", "a\\b", 13, "a"},
      {"UTF-7", "+AG-x", 13, ""},
      {"UTF-7", "ab+AGE", 12, "aba"},
      {"UTF-7", "ab+", 12, "ab"},
      {"HZ-GB-2312", "~~{", 0, "~{"},
      {"HZ-GB-2312", "a~\nb", 0, "ab"},
      {"HZ-GB-2312", "~{0!~}", 0, "啊"},
      {"HZ-GB-2312", "ab ~{VPND~} x~~y", 0, "ab 中文 x~y"},
      {"HZ-GB-2312", "a~", 12, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    Result r = Convert(c.from, "UTF-8", c.in);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    if (c.status == 0) {
      EXPECT_EQ(r.position, static_cast<int>(c.in.size()));
    }
  }
  // Skip-invalid skips the malformed piece and converts the rest.
  Options skip;
  skip.source.skip_invalid = 1;
  EXPECT_EQ(Convert("UTF-7", "UTF-8", "a\\b~c+AG-d", skip).out, "abcd");
  // A long text is not bounded by the output buffer.
  std::string longer;
  for (int i = 0; i < 3000; ++i) longer += "+ZeVnLA-";
  Result big = Convert("UTF-7", "UTF-16", longer);
  EXPECT_EQ(big.status, 0);
  EXPECT_EQ(big.out.size(), 3000u * 4);
  // Positions count the caller's bytes: an output of one character.
  Result one = Convert("UTF-7", "UTF-8", "+ZeVnLIqe-", {}, 3);
  EXPECT_EQ(one.status, 22);
  EXPECT_LE(one.position, 1);
}

// Every charset, fed 1-7 bytes at a time into output buffers of 1-9
// bytes, restarting after 12 and 22, gives the output of one whole call.
TEST_F(Codecs, ResumesAcrossPiecesAndFullOutput) {
  struct Text {
    const char* charset;
    std::string encoded;
  };
  std::vector<Text> texts;
  for (const Sample& sample : kSamples) {
    std::string text = sample.utf8;
    // Pairs of JIS X 0213 only join when they arrive in one piece.
    if (std::string(sample.charset).find("2004") != std::string::npos) text = "Aa あ漢字𠀋\r\nB";
    Result r = Convert("UTF-8", sample.charset, text);
    ASSERT_EQ(r.status, 0);
    texts.push_back({sample.charset, r.out});
  }
  texts.push_back({"UTF-7", "A+-B +ZeVnLIqe text +2D3eAA ok\n+AH4-end+AGEAYgBjAGQ-"});
  texts.push_back({"HZ-GB-2312", "ab ~{VPND~} x~~y~\nz~{0!0\"~}"});
  for (const Text& text : texts) {
    SCOPED_TRACE(text.charset);
    Result whole = Convert(text.charset, "UTF-16", text.encoded);
    ASSERT_EQ(whole.status, 0);
    Result back = Convert("UTF-16", text.charset, whole.out);
    for (size_t chunk = 1; chunk <= 7; ++chunk) {
      for (int capacity = 4; capacity <= 9; ++capacity) {
        SCOPED_TRACE(std::to_string(chunk) + " bytes a piece, capacity " + std::to_string(capacity));
        Result r = ConvertInPieces(text.charset, "UTF-16", text.encoded, chunk, capacity);
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(r.out, whole.out);
        if (std::string(text.charset) == "UTF-7" || std::string(text.charset) == "HZ-GB-2312") continue;
        // The other way round, down to one-byte buffers where a character
        // fits in them.
        for (int small = 1; small < 4 && capacity == 4; ++small) {
          Result narrow = ConvertInPieces("UTF-16", text.charset, whole.out, chunk, small);
          if (narrow.status == -1) continue;  // a character wider than the buffer
          EXPECT_EQ(narrow.out, back.out);
        }
        Result there = ConvertInPieces("UTF-16", text.charset, whole.out, chunk, capacity);
        EXPECT_EQ(there.out, back.out);
      }
    }
  }
}

// Faults of the original description, each in its mended form.
TEST_F(Codecs, MissingTableMakesInputInvalid) {
  // The engine was started at SetUp, but this table is loaded only now.
  std::filesystem::remove(cconv::TheEngine().folder + "jis_x0208-1990.tbl");
  Result r = Convert("WINDOWS31J", "UTF-8", Bytes({'a', 0x8A, 0xBF}));
  EXPECT_EQ(r.status, 13);
  EXPECT_EQ(r.position, 2);
  Options sub;
  sub.target.substitute = 1;
  EXPECT_EQ(Convert("UTF-8", "WINDOWS31J", "a漢", sub).out, "a?");
  Options skip;
  skip.source.skip_invalid = 1;
  EXPECT_EQ(Convert("WINDOWS31J", "UTF-8", Bytes({'a', 0x8A, 0xBF, 'b'}), skip).out, "aｿb");
}

}  // namespace
