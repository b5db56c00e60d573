// The charset-converting streams with the engine started: name mapping,
// marks, put-back, refills that convert to nothing, line ends, the
// U+0000 U+000A rule, held-back units, limits and raw writes, encoding
// detection, and every charset table of the shared data read and written
// back block by block as one direct session converts it whole.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "charset_name_map.h"
#include "charset_sessions.h"
#include "dalvex/cconv.h"
#include "kvb_blocks.h"
#include "quarnel/kvb_stream.h"
#include "support.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::MapCharsetName;
using ObraCommon::ZelKVBOStream;
using ObraCommon::ZelKVBOStreamBuf;
using ObraCommon::ZelKVBStream;

using CharsetStreams = quarnel_test::EngineStarted;

std::string Units(const std::u16string& text) {
  std::string bytes;
  for (char16_t u : text) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

// Everything the input stream delivers, read in pieces of the given size.
std::string ReadAll(ZelKVBStream& in, size_t piece = 1000) {
  std::string out;
  std::string buf(piece, '\0');
  while (in.read(buf.data(), static_cast<std::streamsize>(piece)), in.gcount() > 0)
    out.append(buf.data(), static_cast<size_t>(in.gcount()));
  return out;
}

std::string Decode(const std::string& bytes, const char* charset) {
  std::istringstream source(bytes);
  ZelKVBStream in(&source, charset);
  return ReadAll(in);
}

std::string Encode(const std::u16string& text, const char* charset, int lineEnds = 3) {
  std::ostringstream target;
  {
    ZelKVBOStream out(&target, charset, false, static_cast<ZelKVBOStreamBuf::LF_CONVERT>(lineEnds));
    out.writeString(icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size())));
  }
  return target.str();
}

TEST_F(CharsetStreams, NamesMapToTheConvertersNames) {
  struct Row {
    const char* given;
    const char* passed;
  } rows[] = {
      // One alias of each converter in any case; other names pass as given.
      {"big5", "ChineseBIG5"},     {"gb2312", "ChineseGBK"},  {"ks_c_5601-1987", "KoreanKSC"},
      {"shift-jis", "WINDOWS31J"}, {"euc-jp", "EUC-JP"},      {"iso-2022-jp", "ISO-2022-JP"},
      {"Latin-9", "Latin-9"},      {"", ""},
  };
  for (const Row& row : rows) EXPECT_STREQ(MapCharsetName(row.given), row.passed) << row.given;
  EXPECT_STREQ(MapCharsetName(nullptr), "");
  // Shift_JIS is read as Windows-31J: the NEC row 13 character exists.
  EXPECT_EQ(Decode("\x87\x40", "shift_jis"), Units(u"\u2460"));
  std::istringstream source("abc");
  ZelKVBStream unknown(&source, "NO-SUCH-CHARSET");
  EXPECT_FALSE(unknown.is_open());
  EXPECT_EQ(unknown.get(), EOF);
  std::ostringstream target;
  ZelKVBOStream nowhere(&target, "NO-SUCH-CHARSET");
  EXPECT_FALSE(nowhere.is_open());
  nowhere.writeString(u"abc").flush();
  EXPECT_TRUE(nowhere.bad());
}

TEST_F(CharsetStreams, MarksAndByteOrder) {
  struct Row {
    std::string bytes;
    const char* charset;
    std::u16string text;
  } rows[] = {
      {std::string("\xFF\xFE" "a\0b\0", 6), "UTF-16", u"ab"},
      {std::string("\xFE\xFF\0a\0b", 6), "UTF-16", u"ab"},
      {std::string("\0a\0b", 4), "UTF-16", u"ab"},  // no mark, no detection: big-endian
      {"\xEF\xBB\xBFz", "UTF-8", u"z"},
  };
  for (const Row& row : rows) EXPECT_EQ(Decode(row.bytes, row.charset), Units(row.text)) << row.charset;
  std::istringstream marked(std::string("\xFF\xFE" "x\0y\0", 6));
  ZelKVBStream detected(&marked, nullptr);  // detection chooses
  ASSERT_TRUE(detected.is_open());
  EXPECT_EQ(ReadAll(detected), Units(u"xy"));
}

TEST_F(CharsetStreams, PutBackAfterARefill) {
  const size_t block = ObraCommon::kvb::kReadBlockBytes;  // bytes of units a refill gives
  std::string text(block + 904, 'q');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 26);
  std::istringstream source(text);
  ZelKVBStream in(&source, "UTF-8");
  std::string buf(block, '\0');
  in.read(buf.data(), static_cast<std::streamsize>(block));  // the first block of units
  ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(block));
  EXPECT_EQ(in.get(), static_cast<unsigned char>(text[block / 2]));  // refilled
  for (int i = 0; i < 17; ++i) ASSERT_TRUE(in.unget().good()) << i;
  EXPECT_TRUE(in.unget().fail());  // 16 bytes kept, and the one read since
  in.clear();
  EXPECT_EQ(in.get(), static_cast<unsigned char>(text[block / 2 - 8]));
  EXPECT_EQ(in.get(), 0);
}

// A block that converts to nothing does not end the input.
TEST_F(CharsetStreams, EmptyRefillsReadOn) {
  struct Row {
    const char* name;
    std::string bytes;
    const char* charset;
  } rows[] = {
      {"invalid bytes", std::string(10000, '\xFF') + "tail", "UTF-8"},
      {"shift sequences", [] {
         std::string s;
         while (s.size() < 9000) s += "\x1B$B\x1B(B";
         return s + "tail";
       }(), "ISO-2022-JP"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Decode(row.bytes, row.charset), Units(u"tail")) << row.name;
    EXPECT_EQ(Decode(row.bytes, row.charset), charsettest::DirectDecode(row.charset, row.bytes)) << row.name;
  }
}

TEST_F(CharsetStreams, LineEndModes) {
  const std::u16string text = u"a\r\nb\rc\nd\r";
  struct Row {
    int mode;
    const char* charset;
    std::string bytes;
  } rows[] = {
      {3, "UTF-8", "a\nb\nc\nd\n"},
      {1, "UTF-8", "a\r\nb\r\nc\r\nd\r\n"},
      {2, "UTF-8", "a\rb\rc\rd\r"},
      {0, "ISO-8859-1", "a\r\nb\r\nc\r\nd\r\n"},
      {4, "UTF-16", Units(u"a\u2028b\u2028c\u2028d\u2028")},
      {5, "UTF-16", Units(u"a\u2029b\u2029c\u2029d\u2029")},
  };
  for (const Row& row : rows) EXPECT_EQ(Encode(text, row.charset, row.mode), row.bytes) << row.mode;
}

TEST_F(CharsetStreams, NulBeforeLineFeedAndHeldBackUnits) {
  std::u16string across(2047, u'a');  // the pair falls on the 4,096-byte boundary
  across += std::u16string(u"\0\nz", 3);
  struct Row {
    const char* name;
    std::u16string text;
    std::string bytes;
  } rows[] = {
      {"pair", std::u16string(u"x\0\ny", 4), "x \ny"},
      {"pair across a block", across, std::string(2047, 'a') + " \nz"},
      {"final U+0000 never written", std::u16string(u"ab\0", 3), "ab"},
      {"final high surrogate never written", u"ab\xD83D", "ab"},
      {"two high surrogates", u"x\xD800\xD800", "x"},
      {"high surrogate before the pair", std::u16string(u"x\xD800\0\ny", 5), "x \ny"},
      {"final low surrogate", u"x\xDC00", "x"},
      {"lone low surrogate inside", u"x\xDC00y", "xy"},
  };
  for (const Row& row : rows) EXPECT_EQ(Encode(row.text, "UTF-8"), row.bytes) << row.name;
}

TEST_F(CharsetStreams, SyncsNeverSplitAPairAndNeverSpin) {
  std::ostringstream target;
  {
    ZelKVBOStream out(&target, "UTF-8", false, ZelKVBOStreamBuf::LF_LF);
    const std::u16string pieces[] = {u"a\xD83D", u"\xDE00" u"b", u"\xD800", u"\xD800", u"c\xDC00"};
    for (const std::u16string& piece : pieces) {
      out.writeString(icu::UnicodeString(false, piece.data(), static_cast<int32_t>(piece.size())));
      out.flush();
    }
    out.put('x');  // an odd byte is dropped at the next sync
    out.flush();
  }
  EXPECT_EQ(target.str(), "a\xF0\x9F\x98\x80" "bc");
}

// A base and the combining mark after it reach the converter together
// whatever syncs fall between them: a mark that began a conversion of its
// own was written as the substitute (the fuzzers' finding, EUC-JP-FIX),
// and a target with pair codes lost the joined code. A base held at a sync
// still goes out when the stream closes.
TEST_F(CharsetStreams, SyncsNeverSplitABaseFromItsMark) {
  const std::u16string pieces[][3] = {{u"a\u30B1", u"\u309A" u"b", u""},
                                      {u"\u304B", u"", u"\u309A"},
                                      {u"x\u0254", u"\u0301", u""},
                                      {u"\u30B1", u"", u""}};
  for (const char* charset : {"EUC-JP-FIX", "EUC-JIS-2004", "Shift_JIS-2004", "EUC-JP", "UTF-8"}) {
    for (const auto& row : pieces) {
      std::ostringstream target;
      std::u16string whole;
      {
        ZelKVBOStream out(&target, charset, false, ZelKVBOStreamBuf::LF_LF);
        for (const std::u16string& piece : row) {
          out.writeString(icu::UnicodeString(false, piece.data(), static_cast<int32_t>(piece.size())));
          out.flush();
          whole += piece;
        }
      }
      EXPECT_TRUE(target.str() == charsettest::DirectEncode(charset, Units(whole), 3)) << charset;
    }
  }
}

TEST_F(CharsetStreams, LimitsAndRawWrites) {
  {
    std::ostringstream target;
    ZelKVBOStream out(&target, "UTF-8");
    out.setLimit(10);
    out.writeString(u"abcdefghijklmnopqrst");
    EXPECT_TRUE(out.isLimitOver());
    EXPECT_EQ(target.str(), "abcdefghij");
    EXPECT_GT(out.getOutputLength(), 10u);
  }
  {
    // Characters are not cut at the limit.
    std::ostringstream target;
    ZelKVBOStream out(&target, "UTF-8");
    out.setLimit(5);
    out.writeString(u"\u3042\u3044");
    EXPECT_TRUE(out.isLimitOver());
    EXPECT_EQ(target.str(), "\xE3\x81\x82");
  }
  {
    std::ostringstream target;
    ZelKVBOStream out(&target, "UTF-8");
    out.setLimit(10);
    out.writeString(u"abcde");
    out.writeRawBuffer("12345678", 8);
    EXPECT_EQ(target.str(), "abcde12345");
    EXPECT_EQ(out.getOutputLength(), 13u);
    std::istringstream more("more");
    out.writeRawStream(more);
    EXPECT_EQ(target.str(), "abcde12345");
  }
  {
    std::ostringstream target;
    ZelKVBOStream out(&target, "UTF-8");
    std::istringstream raw(std::string(20000, 'r'));
    out.writeString(u"<").writeRawStream(raw).writeString(u">");
    EXPECT_EQ(out.getOutputStream(), &target);
    EXPECT_EQ(target.str(), "<" + std::string(20000, 'r') + ">");
    EXPECT_EQ(out.getOutputLength(), 2u);  // a stream without a limit is not counted
  }
  {
    std::ostringstream target;
    ZelKVBOStream out(&target, "UTF-8");
    out.setLimit(9000);
    std::istringstream raw(std::string(20000, 'r'));
    out.writeRawStream(raw);
    EXPECT_EQ(target.str(), std::string(9000, 'r'));
    EXPECT_EQ(out.getOutputLength(), 16384u);  // whole blocks counted
  }
  {
    std::ostringstream target;
    {
      ZelKVBOStream out(&target, "UTF-8", false, ZelKVBOStreamBuf::LF_LF, true);
      out.writeString(u"x");
    }
    EXPECT_EQ(target.str(), "\xEF\xBB\xBFx");
  }
}

TEST_F(CharsetStreams, DetectEncodingOfMarkedTexts) {
  TESTDATA_OR_SKIP(dir, "detect");
  struct Mark {
    const char* described;
    const char* name;
    bool bigEndian;
  } marks[] = {
      {"UTF-8 with BOM", "UTF-8", true},
      {"UTF-16LE with BOM", "UTF-16", false},
      {"UTF-16BE with BOM", "UTF-16", true},
      {"UTF-32LE with BOM", "ISO-10646-UCS-4", false},
  };
  int checked = 0;
  for (const testsupport::IndexRow& row : testsupport::ReadIndex(dir)) {
    const std::string& file = row.at("file");
    if (file.rfind("gen-", 0) != 0) continue;
    for (const Mark& mark : marks) {
      if (row.at("what_it_is").find(mark.described) == std::string::npos) continue;
      SCOPED_TRACE(file);
      std::istringstream source(testsupport::ReadFile(dir / file));
      icu::UnicodeString name;
      bool bigEndian = !mark.bigEndian;
      ASSERT_TRUE(ZelKVBStream::detectEncoding(&source, name, bigEndian));
      std::string narrow;
      EXPECT_EQ(name.toUTF8String(narrow), mark.name);
      EXPECT_EQ(bigEndian, mark.bigEndian);
      EXPECT_EQ(std::streamoff(source.tellg()), 0);
      icu::UnicodeString byPath;
      bigEndian = !mark.bigEndian;
      ASSERT_TRUE(ZelKVBStream::detectEncoding((dir / file).c_str(), byPath, bigEndian));
      EXPECT_EQ(byPath, name);
      EXPECT_EQ(bigEndian, mark.bigEndian);
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
  std::istringstream empty;
  icu::UnicodeString name;
  bool bigEndian = false;
  EXPECT_FALSE(ZelKVBStream::detectEncoding(&empty, name, bigEndian));
  EXPECT_FALSE(ZelKVBStream::detectEncoding(static_cast<std::istream*>(nullptr), name, bigEndian));
  EXPECT_FALSE(ZelKVBStream::detectEncoding(static_cast<const char*>(nullptr), name, bigEndian));
  EXPECT_FALSE(ZelKVBStream::detectEncoding((dir / "no such file.txt").c_str(), name, bigEndian));
}

// The charset a table file is read in: its name as documents give it.
std::string DocumentName(const std::string& file) {
  std::string name = file.substr(0, file.find('.'));
  if (name == "SHIFT_JIS") return "Shift_JIS";
  if (name == "EUC-KR") return "KS_C_5601-1987";
  return name;
}

std::string IconvTail(const std::string& utf8, size_t n) {
  iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t left = utf8.size();
  char* to = out.data();
  size_t room = out.size();
  while (left > 0 && iconv(cd, &in, &left, &to, &room) == static_cast<size_t>(-1)) {
    ++in;
    --left;
  }
  iconv(cd, nullptr, nullptr, &to, &room);
  iconv_close(cd);
  out.resize(out.size() - room);
  return out.substr(out.size() - std::min(n, out.size()));
}

TEST_F(CharsetStreams, CharsetTablesReadAndWrittenInBlocks) {
  TESTDATA_OR_SKIP(dir, "charsets");
  std::vector<fs::path> tables;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.find(".utf8.") == std::string::npos && entry.path().extension() == ".txt")
      tables.push_back(entry.path());
  }
  int read = 0;
  for (const fs::path& table : tables) {
    const std::string document = DocumentName(table.filename().string());
    const char* mapped = MapCharsetName(document.c_str());
    CconvSession probe{};
    if (cconvInitConvert(&probe, nullptr, mapped) != 0) continue;  // a charset the engine has not
    cconvTermConvert(&probe);
    SCOPED_TRACE(table.filename().string());
    const std::string bytes = testsupport::ReadFile(table);
    for (size_t prefix = 0; prefix < 4; ++prefix) {
      const std::string input = std::string(prefix, 'A') + bytes;
      const std::string expected = charsettest::DirectDecode(mapped, input);
      std::istringstream source(input);
      ZelKVBStream in(&source, document.c_str());
      ASSERT_TRUE(in.is_open());
      // Pieces smaller than a block, and larger ones that the converter
      // fills straight.
      std::string units = ReadAll(in, prefix < 2 ? 1000 + prefix * 333 : 4096 * prefix + 1);
      ASSERT_EQ(units.size(), expected.size()) << prefix;
      ASSERT_TRUE(units == expected) << prefix;
      if (prefix != 0) continue;
      std::ostringstream target;
      {
        ZelKVBOStream out(&target, mapped, false, ZelKVBOStreamBuf::LF_LF);
        out.write(units.data(), static_cast<std::streamsize>(units.size()));
      }
      EXPECT_TRUE(target.str() == charsettest::DirectEncode(mapped, units, 3));
      // Written back, the table reads as the same text: where the bytes
      // differ from the file the engine chose another code of one
      // character (or a designation the file leaves out).
      EXPECT_TRUE(Decode(target.str(), mapped) == units);
      if (std::string(mapped) == "ISO-2022-JP") {
        std::string utf8;
        icu::UnicodeString(reinterpret_cast<const char16_t*>(units.data()), static_cast<int32_t>(units.size() / 2))
            .toUTF8String(utf8);
        EXPECT_EQ(target.str().substr(target.str().size() - 3), IconvTail(utf8, 3));
      }
    }
    ++read;
  }
  EXPECT_GT(read, 0);
}

}  // namespace
