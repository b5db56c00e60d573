// The run loops of the driver against the character-by-character handlers:
// for the codec pairs that have a run loop, every call of a streaming
// conversion must leave the same status, positions, counts, character
// fields and output bytes with the loops on as with them off. The texts
// put the loops' exits everywhere: line ends (CR split across calls, CR
// LF, U+2028), JIS X 0213 pairs and their overlong UTF-8 forms, user-
// defined areas, byte-order marks, invalid and cut input, unmappable
// characters, characters beyond the BMP, and output buffers that fill in
// the middle of a run.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "codecs.h"
#include "codecs_support.h"

namespace {

using codectest::Bytes;
using codectest::Convert;
using codectest::Options;

class CodecRuns : public codectest::EngineTest {
 protected:
  void TearDown() override {
    cconv::EnableRuns(true);
    cconv::SetIndexThreshold(cconv::kIndexThreshold);
    EngineTest::TearDown();
  }
};

// Everything a streaming conversion shows after each call: status, the
// session from `status` on, positions and counts, and the output.
std::string Trace(const std::string& from, const std::string& to, const std::string& input, size_t chunk,
                  int capacity, const Options& opts) {
  CconvSession s;
  std::memset(&s, 0, sizeof s);
  Options o = opts;
  std::string trace;
  if (cconvInitConvert(&s, &o.target, to.c_str()) != 0) return "no target";
  if (cconvChgCharset(&s, &o.source, from.c_str()) != 0) return "no source";
  std::string pending, out(static_cast<size_t>(capacity), '\0');
  size_t fed = 0;
  for (int call = 0; call < 100000; ++call) {
    size_t take = std::min(chunk, input.size() - fed);
    pending += input.substr(fed, take);
    fed += take;
    s.input = reinterpret_cast<const uint8_t*>(pending.data());
    s.input_length = static_cast<int32_t>(pending.size());
    s.input_position = 0;
    s.output = reinterpret_cast<uint8_t*>(out.data());
    s.output_capacity = capacity;
    s.output_length = 0;
    int st = cconvConvert(&s);
    trace += std::to_string(st) + ":" + std::to_string(s.input_position) + "," + std::to_string(s.decoded_count) +
             "," + std::to_string(s.encoded_count) + "|";
    trace.append(reinterpret_cast<const char*>(&s) + offsetof(CconvSession, status),
                 sizeof s - offsetof(CconvSession, status));
    trace.append(out.data(), static_cast<size_t>(s.output_length));
    pending.erase(0, static_cast<size_t>(s.input_position));
    if (st == 22 && s.output_length == 0) break;  // a character wider than the buffer
    if (st != 0 && st != 12 && st != 22) break;
    if (st != 22 && fed >= input.size()) break;
  }
  s.output_length = 0;
  trace += "|flush " + std::to_string(cconvTermConvert(&s));
  trace.append(out.data(), static_cast<size_t>(s.output_length));
  return trace;
}

TEST_F(CodecRuns, SameSessionsAsTheHandlers) {
  // Mixed text in UTF-8: ASCII, kana, kanji, NEC and IBM rows, a private-use
  // character (WINDOWS31J's user area), line ends of every kind, a JIS X 0213
  // pair, a plane-2 character, an emoji, GBK-only and unmappable characters.
  const std::string text =
      "Plain ASCII line\r\nかな漢字カナ①Ⅰ纊\rｱｲ\n\xEE\x80\x80\xEE\x80\x81 x\xE2\x80\xA8"
      "か\xE3\x82\x9A \xC3\xA6\xCC\x80 \xF0\xA0\x80\x8B😀 中文字€ é ÿ ¥‾\t\x01 end\r";
  const char* sources[] = {"UTF-8",      "UTF-16",     "ISO-10646-UCS-4", "ISO-10646-UCS-2", "WINDOWS31J",
                           "Shift_JIS",  "EUC-JP",     "ChineseGBK",      "GB18030",         "EUC-JP-FIX",
                           "EUC-JIS-2004", "Shift_JIS-2004", "ISO-2022-JP", "ISO-2022-JP-2004"};
  const char* targets[] = {"UTF-8",        "UTF-16",         "ISO-10646-UCS-2", "ISO-10646-UCS-4",
                           "WINDOWS31J",   "Shift_JIS",      "EUC-JP",          "ChineseGBK",
                           "GB18030",      "ChineseBIG5",    "ISO-8859-1",      "EUC-JIS-2004",
                           "EUC-JP-FIX",   "Shift_JIS-2004", "ISO-2022-JP",     "ISO-2022-JP-2004"};
  Options to_source;
  to_source.target.substitute = 1;
  struct Variant {
    const char* name;
    Options options;
  };
  std::vector<Variant> variants(6);
  variants[0].name = "plain";
  variants[1].name = "line ends, substitutes, skip invalid";
  variants[1].options.target.line_end_flag = 1;
  variants[1].options.target.line_end_form = 3;
  variants[1].options.target.substitute = 1;
  variants[1].options.source.skip_invalid = 1;
  variants[2].name = "big-endian, marks";
  variants[2].options.target.big_endian = 1;
  variants[2].options.target.write_bom = 1;
  variants[2].options.source.expect_bom = 1;
  variants[3].name = "language";
  std::strcpy(variants[3].options.target.language, "ja");
  variants[3].options.target.substitute = 1;
  variants[4].name = "references";
  variants[4].options.target.char_references = 1;
  variants[4].options.target.substitute = 1;
  variants[5].name = "big-endian source";
  variants[5].options.source.big_endian = 1;
  for (const char* from : sources) {
    for (const Variant& v : variants) {
      Options made = to_source;
      made.target.big_endian = v.options.source.big_endian;
      std::string input = Convert("UTF-8", from, text, made).out;
      ASSERT_FALSE(input.empty()) << from;
      // Overlong forms of combining marks after a base, and invalid bytes.
      if (std::string(from) == "UTF-8") input += "か\xE0\x82\x9A" "a\xC0\x80" "b\xFE\xFF" "c\xE3\x82";
      else if (std::string(from).rfind("ISO-2022", 0) == 0)
        // Designations one after another, an unknown one, and one that
        // the input ends in.
        input += "\x1B$B\x1B(Ba\x1B(Zb\x1B$(Q\x24\x22\x1B$(P\x21\x22\x1B(I1\x1B$B\x24\x24\x1B$";
      else if (std::string(from) == "EUC-JP-FIX")
        // EUC-JP text: its single bytes are invalid in the fixed width,
        // before characters, line ends and the cut end alike.
        input += Convert("UTF-8", "EUC-JP", text, made).out + Bytes({0xFF, 'z', 0x80});
      else input += Bytes({0xFF, 'z', 0x80});
      for (const char* to : targets) {
        for (size_t chunk : {size_t{1}, size_t{3}, size_t{4096}}) {
          for (int capacity : {5, 7, 4096}) {
            SCOPED_TRACE(std::string(from) + " -> " + to + ", " + v.name + ", chunk " + std::to_string(chunk) +
                         ", capacity " + std::to_string(capacity));
            cconv::EnableRuns(false);
            std::string handlers = Trace(from, to, input, chunk, capacity, v.options);
            cconv::EnableRuns(true);
            std::string runs = Trace(from, to, input, chunk, capacity, v.options);
            size_t at = 0;
            while (at < runs.size() && at < handlers.size() && runs[at] == handlers[at]) ++at;
            ASSERT_TRUE(runs == handlers) << "traces differ from byte " << at << " of " << handlers.size();
          }
        }
      }
    }
  }
}

// Every single byte and byte pair of the double-byte charsets (EUC's
// three-byte codes, ISO-2022's pairs after each designation), and every
// BMP value into them: the loops look these up in whole-charset tables
// built once, so each entry must agree with the handlers, not only the
// characters of a sample text.
TEST_F(CodecRuns, EveryCodeAsTheHandlers) {
  cconv::SetIndexThreshold(0);  // the inputs are smaller than a charset's default
  std::string pairs;
  for (int lead = 0; lead < 256; ++lead)
    for (int trail = 0; trail < 256; ++trail) pairs += {static_cast<char>(lead), static_cast<char>(trail), 'a'};
  std::string bmp;  // UTF-16, little-endian
  for (uint32_t v = 1; v < 0x10000; ++v)
    if (v < 0xD800 || v > 0xDFFF) bmp += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  std::string triples;  // EUC's three-byte codes
  for (int second = 0x80; second < 256; ++second)
    for (int third = 0x80; third < 256; ++third)
      triples += {'\x8F', static_cast<char>(second), static_cast<char>(third), 'a'};
  std::string designated;  // ISO-2022: every byte pair after each designation
  for (const char* designation : {"$B", "$@", "$(Q", "$(P", "(I", "(J", "(B"}) {
    designated += std::string("\x1B") + designation;
    for (int lead = 0; lead < 256; ++lead)
      for (int trail = 0; trail < 256; ++trail)
        if (lead != 0x1B && lead != '\t' && lead != '\n' && lead != '\r' && trail != 0x1B)
          designated += {static_cast<char>(lead), static_cast<char>(trail)};
  }
  // UTF-8: every BMP value, then bases with each mark that may join them
  // (and E3 82 99, whose lead is that of U+309A).
  auto utf8_of = [](uint32_t v) {
    if (v < 0x80) return std::string{static_cast<char>(v)};
    if (v < 0x800) return std::string{static_cast<char>(0xC0 | v >> 6), static_cast<char>(0x80 | (v & 0x3F))};
    return std::string{static_cast<char>(0xE0 | v >> 12), static_cast<char>(0x80 | (v >> 6 & 0x3F)),
                       static_cast<char>(0x80 | (v & 0x3F))};
  };
  std::string utf8;
  for (uint32_t v = 1; v < 0x10000; ++v) utf8 += utf8_of(v);
  for (uint32_t base : {0x304Bu, 0x30AFu, 0x31F7u, 0x00E6u, 0x0254u, 0x02E9u, 0x4E00u})
    for (uint32_t mark : {0x309Au, 0x3099u, 0x0300u, 0x0301u, 0x02E5u, 0x02E9u})
      for (const char* after : {"", "a", "\xE3"}) utf8 += utf8_of(base) + utf8_of(mark) + after;
  enum Input { kPairs, kBmp, kTriples, kDesignated, kUtf8 };
  struct Case {
    const char* from;
    const char* to;
    Input input;
    bool references = false;  // UCS-2 target writes numeric references
    bool big_endian = false;  // of a Unicode target's output
  };
  const Case cases[] = {
      {"WINDOWS31J", "UTF-8", kPairs}, {"WINDOWS31J", "UTF-16", kPairs},
      {"Shift_JIS", "UTF-8", kPairs}, {"Shift_JIS", "WINDOWS31J", kPairs},
      {"EUC-JP", "ISO-10646-UCS-2", kPairs}, {"ChineseGBK", "UTF-8", kPairs},
      {"ChineseBIG5", "UTF-16", kPairs}, {"GB18030", "UTF-8", kPairs},
      {"KoreanKSC", "UTF-8", kPairs}, {"EUC-JP", "UTF-8", kTriples},
      {"EUC-JP", "UTF-16", kTriples}, {"UTF-16", "WINDOWS31J", kBmp},
      {"UTF-16", "Shift_JIS", kBmp}, {"UTF-16", "EUC-JP", kBmp},
      {"UTF-16", "ChineseGBK", kBmp}, {"UTF-16", "ChineseBIG5", kBmp},
      {"UTF-16", "GB18030", kBmp}, {"UTF-16", "KoreanKSC", kBmp},
      {"UTF-16", "ISO-8859-1", kBmp}, {"UTF-16", "EUC-JIS-2004", kBmp},
      {"EUC-JP-FIX", "UTF-8", kPairs}, {"EUC-JIS-2004", "UTF-8", kPairs},
      {"EUC-JIS-2004", "UTF-16", kTriples}, {"Shift_JIS-2004", "UTF-8", kPairs},
      {"Shift_JIS-2004", "EUC-JIS-2004", kPairs}, {"ISO-2022-JP", "UTF-8", kDesignated},
      {"ISO-2022-JP-2004", "UTF-16", kDesignated}, {"ISO-2022-JP", "EUC-JP", kDesignated},
      {"UTF-16", "EUC-JP-FIX", kBmp}, {"UTF-16", "Shift_JIS-2004", kBmp},
      {"UTF-16", "ISO-2022-JP", kBmp}, {"UTF-16", "ISO-2022-JP-2004", kBmp},
      {"UTF-16", "ISO-10646-UCS-2", kBmp, true}, {"UTF-16", "ISO-10646-UCS-2", kBmp, true, true},
      {"UTF-8", "ChineseGBK", kUtf8}, {"UTF-8", "Shift_JIS-2004", kUtf8},
      {"UTF-8", "ISO-10646-UCS-2", kUtf8, true}, {"UTF-8", "ISO-10646-UCS-2", kUtf8, true, true},
      {"UTF-8", "UTF-16", kUtf8}, {"UTF-8", "ISO-10646-UCS-2", kUtf8, false, true},
      {"UTF-8", "ChineseBIG5", kUtf8}, {"UTF-16", "UTF-8", kBmp}, {"ISO-10646-UCS-2", "UTF-8", kBmp},
  };

  Options opts;
  opts.target.substitute = 1;
  opts.source.skip_invalid = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to + (c.references ? " (references)" : "") +
                 (c.big_endian ? " (big-endian)" : ""));
    opts.target.char_references = c.references ? 1 : 0;
    opts.target.big_endian = c.big_endian ? 1 : 0;
    const std::string& input = c.input == kBmp         ? bmp
                               : c.input == kTriples    ? triples
                               : c.input == kDesignated ? designated
                               : c.input == kUtf8       ? utf8
                                                        : pairs;
    cconv::EnableRuns(false);
    std::string handlers = Trace(c.from, c.to, input, input.size(), 1 << 16, opts);
    cconv::EnableRuns(true);
    // Twice: the tables are built during the first conversion and read by the second.
    for (int round = 0; round < 2; ++round) {
      std::string runs = Trace(c.from, c.to, input, input.size(), 1 << 16, opts);
      size_t at = 0;
      while (at < runs.size() && at < handlers.size() && runs[at] == handlers[at]) ++at;
      ASSERT_TRUE(runs == handlers) << "round " << round << ": traces differ from byte " << at << " of "
                                    << handlers.size();
    }
  }
}

// A stretch of characters of one form ends where the input does: the
// fields left after its last two characters show when the handlers can take
// nothing after them (a character cut by the end), and every stretch stops
// that far from the end, whatever its output room.
TEST_F(CodecRuns, StretchEndsAsTheHandlers) {
  cconv::SetIndexThreshold(0);
  std::string plain;
  for (int i = 0; i < 40; ++i) plain += "漢字かな";
  struct Case {
    const char* from;
    const char* to;
    std::string input;
  };
  std::vector<Case> cases;
  for (const char* to : {"ChineseGBK", "Shift_JIS", "UTF-16", "ISO-10646-UCS-2"})
    for (std::string tail : {"", "\xE4", "\xE4\xB8", "\xF0\x9F\x98", "\xE3\x82", "a\xE3\x82"})
      cases.push_back({"UTF-8", to, "a" + plain + tail});
  for (const char* from : {"UTF-16", "ISO-10646-UCS-2"}) {
    const std::string units = Convert("UTF-8", from, "a" + plain, Options{}).out;
    for (const char* to : {"UTF-8", "ChineseGBK"})
      for (std::string tail : {std::string(), Bytes({0x3D}), Bytes({0x3D, 0xD8}), Bytes({0x3D, 0xD8, 0x00})})
        cases.push_back({from, to, units + tail});
  }
  Options opts;
  opts.target.substitute = 1;
  for (const Case& c : cases) {
    for (int capacity : {64, 101, 4096}) {
      SCOPED_TRACE(std::string(c.from) + " -> " + c.to + ", " + std::to_string(c.input.size()) + " bytes, capacity " +
                   std::to_string(capacity));
      cconv::EnableRuns(false);
      std::string handlers = Trace(c.from, c.to, c.input, c.input.size(), capacity, opts);
      cconv::EnableRuns(true);
      for (int round = 0; round < 2; ++round)
        ASSERT_EQ(Trace(c.from, c.to, c.input, c.input.size(), capacity, opts), handlers) << "round " << round;
    }
  }
}

}  // namespace
