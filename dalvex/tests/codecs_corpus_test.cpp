// The codecs against glibc's iconv(3) and ICU's converters on the shared
// charset tables and CJK sample texts: every code of each table decoded by
// the engine and by both peers, every character encoded back one at a
// time; stateful charsets compared by their decoded text. The test prints
// an agreement table with the differences grouped by the pair of values
// (engine / peer), and fails only when the engine cannot run a file.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "codecs_support.h"

namespace {

using codectest::Convert;
using codectest::Options;
using codectest::Result;

typedef std::u32string Text;

Text FromUcs4(const std::string& bytes) {
  Text t;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
    t.push_back(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                static_cast<uint8_t>(bytes[i + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 24);
  return t;
}

// iconv over the whole input; an invalid byte becomes U+FFFD (as UTF-32LE
// output) or is dropped, and the rest goes on.
bool Iconv(const std::string& from, const std::string& to, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  std::string buffer(in.size() * 8 + 64, '\0');
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (true) {
    char* dst = buffer.data();
    size_t room = buffer.size();
    size_t r = iconv(cd, left ? &src : nullptr, &left, &dst, &room);
    out->append(buffer.data(), buffer.size() - room);
    if (r != static_cast<size_t>(-1) && left == 0) break;
    if (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
      if (left == 0) break;
      ++src, --left;
      if (to == "UTF-32LE") out->append("\xFD\xFF\0\0", 4);
      if (errno == EINVAL) break;
      continue;
    }
    if (r == static_cast<size_t>(-1)) break;
  }
  char* dst = buffer.data();
  size_t room = buffer.size();
  iconv(cd, nullptr, nullptr, &dst, &room);
  out->append(buffer.data(), buffer.size() - room);
  iconv_close(cd);
  return true;
}

bool Icu(const std::string& from, const std::string& to, const std::string& in, std::string* out) {
  UErrorCode status = U_ZERO_ERROR;
  out->assign(in.size() * 8 + 64, '\0');
  int32_t n = ucnv_convert(to.c_str(), from.c_str(), out->data(), static_cast<int32_t>(out->size()), in.data(),
                           static_cast<int32_t>(in.size()), &status);
  if (U_FAILURE(status)) return false;
  out->resize(static_cast<size_t>(n));
  return true;
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, v > 0xFFFF ? "%06X" : "%04X", v);
  return b;
}

struct Tally {
  std::string name;
  size_t codes = 0, decode_agree = 0, encode_agree = 0;
  std::map<std::string, size_t> reasons;
};

std::vector<Tally>& Table() {
  static std::vector<Tally> table;
  return table;
}

std::vector<Text> Lines(const Text& t) {
  std::vector<Text> lines(1);
  for (char32_t c : t) {
    if (c == U'\n') lines.emplace_back();
    else lines.back().push_back(c);
  }
  return lines;
}

class CodecsCorpus : public codectest::EngineTest {
 protected:
  void SetUp() override {
    std::string why;
    auto dir = testsupport::TestDataDir("charsets", &why);
    if (!dir) GTEST_SKIP() << why;
    dir_ = *dir;
    EngineTest::SetUp();
  }
  static void TearDownTestSuite() {
    if (Table().empty()) return;
    std::printf("\n%-40s %7s %9s %9s  differences (engine/peer: count)\n", "charset vs peer", "codes", "decode=",
                "encode=");
    for (const Tally& t : Table()) {
      std::printf("%-40s %7zu %9zu %9zu ", t.name.c_str(), t.codes, t.decode_agree, t.encode_agree);
      int shown = 0;
      for (const auto& [reason, count] : t.reasons) {
        if (++shown > 12) {
          std::printf(" ...(%zu kinds)", t.reasons.size());
          break;
        }
        std::printf(" %s:%zu", reason.c_str(), count);
      }
      std::printf("\n");
    }
    Table().clear();
  }

  std::string Read(const std::string& name) { return testsupport::ReadFile(dir_ / name); }

  // Decodes `bytes` with the engine and a peer into code points and
  // compares them line by line; encodes every character of the peer's text
  // back with the engine (stateless charsets) and compares the bytes.
  void Compare(const std::string& label, const std::string& engine, const std::string& bytes,
               const std::string& peer_name, bool icu, bool stateless) {
    Tally t;
    t.name = label;
    Options o;
    o.source.skip_invalid = 1;
    Result mine = Convert(engine, "ISO-10646-UCS-4", bytes, o);
    ASSERT_EQ(mine.status, 0) << label;
    // Stateless text is read by the peer line by line, so that a code it
    // refuses cannot shift the rest of the file.
    std::string theirs_bytes;
    size_t start = 0;
    while (start <= bytes.size()) {
      size_t end = stateless ? bytes.find('\n', start) : std::string::npos;
      if (end == std::string::npos) end = bytes.size();
      std::string piece = bytes.substr(start, end - start), decoded;
      bool ok = icu ? Icu(peer_name, "UTF-32LE", piece, &decoded) : Iconv(peer_name, "UTF-32LE", piece, &decoded);
      ASSERT_TRUE(ok) << label;
      theirs_bytes += decoded;
      if (end < bytes.size()) theirs_bytes.append("\n\0\0\0", 4);
      start = end + 1;
    }
    std::vector<Text> a = Lines(FromUcs4(mine.out)), b = Lines(FromUcs4(theirs_bytes));
    for (size_t i = 0; i < b.size(); ++i) {
      t.codes += b[i].size();
      if (i >= a.size() || a[i].size() != b[i].size()) {
        size_t k = 0;
        while (i < a.size() && k < a[i].size() && k < b[i].size() && a[i][k] == b[i][k]) ++k;
        t.decode_agree += k;
        t.reasons["line " + std::to_string(i) + " misaligned from peer U+" + (k < b[i].size() ? Hex(b[i][k]) : "end")] +=
            b[i].size() - k;
        continue;
      }
      for (size_t k = 0; k < b[i].size(); ++k) {
        if (a[i][k] == b[i][k]) {
          ++t.decode_agree;
        } else {
          ++t.reasons["dec " + Hex(a[i][k]) + "/" + Hex(b[i][k])];
        }
        if (!stateless) continue;
        std::string one(reinterpret_cast<const char*>(&b[i][k]), 4), peer_bytes;
        Result back = Convert("ISO-10646-UCS-4", engine, one);
        bool peer_ok = icu ? Icu("UTF-32LE", peer_name, one, &peer_bytes) : Iconv("UTF-32LE", peer_name, one, &peer_bytes);
        if (back.status == 0 && peer_ok && back.out == peer_bytes) {
          ++t.encode_agree;
        } else {
          ++t.reasons["enc U+" + Hex(b[i][k]) + (back.status == 0 ? "" : " unmappable")];
        }
      }
    }
    if (!stateless) {
      // Stateful output: the engine's encoding of the text, decoded by the
      // peer, gives the text again.
      std::string utf32(reinterpret_cast<const char*>(FromUcs4(theirs_bytes).data()), FromUcs4(theirs_bytes).size() * 4);
      Options sub;
      sub.target.substitute = 1;
      Result enc = Convert("ISO-10646-UCS-4", engine, utf32, sub);
      std::string again;
      bool back_ok = icu ? Icu(peer_name, "UTF-32LE", enc.out, &again) : Iconv(peer_name, "UTF-32LE", enc.out, &again);
      std::vector<Text> c = Lines(FromUcs4(back_ok ? again : std::string()));
      for (size_t i = 0; i < b.size(); ++i) {
        if (i < c.size() && c[i].size() == b[i].size()) {
          for (size_t k = 0; k < b[i].size(); ++k) {
            if (c[i][k] == b[i][k]) ++t.encode_agree;
            else ++t.reasons["enc U+" + Hex(b[i][k]) + " read back as " + Hex(c[i][k])];
          }
        } else {
          t.reasons["enc line " + std::to_string(i) + " misaligned"] += b[i].size();
        }
      }
    }
    Table().push_back(t);
  }

  std::filesystem::path dir_;
};

struct TableCase {
  const char* file;
  const char* engine;
  const char* iconv_name;
  const char* icu_name;
  bool stateless;
};

const TableCase kTables[] = {
    {"SHIFT_JIS.all.txt", "Shift_JIS", "SHIFT_JIS", "ibm-943_P15A-2003", true},
    {"SHIFT_JIS.all.txt", "Shift_JIS", "WINDOWS-31J", nullptr, true},
    {"WINDOWS-31J.all.txt", "WINDOWS31J", "WINDOWS-31J", "ibm-943_P15A-2003", true},
    {"WINDOWS-31J.decode-only.txt", "WINDOWS31J", "WINDOWS-31J", "ibm-943_P15A-2003", false},
    {"EUC-JP.all.txt", "EUC-JP", "EUC-JP", "ibm-33722", true},
    {"ISO-2022-JP.all.txt", "ISO-2022-JP", "ISO-2022-JP", "ISO_2022,locale=ja,version=0", false},
    {"GBK.all.txt", "ChineseGBK", "CP936", "windows-936-2000", true},
    {"GB18030.all.txt", "GB18030", "GB18030", "gb18030", true},
    {"BIG5.all.txt", "ChineseBIG5", "CP950", "windows-950-2000", true},
    {"EUC-KR.all.txt", "KoreanKSC", "CP949", "windows-949-2000", true},
    {"ISO-8859-1.all.txt", "ISO-8859-1", "CP1252", "windows-1252", true},
    {"WINDOWS-1252.all.txt", "ISO-8859-1", "CP1252", "windows-1252", true},
};

TEST_F(CodecsCorpus, CodeTablesAgreeWithPeers) {
  for (const TableCase& c : kTables) {
    std::string bytes = Read(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    Compare(std::string(c.engine) + " " + c.file + " / iconv " + c.iconv_name, c.engine, bytes, c.iconv_name, false,
            c.stateless);
    if (c.icu_name)
      Compare(std::string(c.engine) + " / ICU " + c.icu_name, c.engine, bytes, c.icu_name, true, c.stateless);
  }
  // EUC-JP-FIX through its EUC-JP form: the same characters.
  std::string euc = Read("EUC-JP.all.txt");
  Result fixed = Convert("EUC-JP", "EUC-JP-FIX", euc);
  ASSERT_EQ(fixed.status, 0);
  EXPECT_TRUE(Convert("EUC-JP-FIX", "EUC-JP", fixed.out).out == euc);
  // ASCII: every code but the controls.
  std::string ascii = "\t\n\r";
  for (int b = 0x20; b < 0x7F; ++b) ascii.push_back(static_cast<char>(b));
  Compare("ISO-646IRV / iconv ASCII", "ISO-646IRV", ascii, "ASCII", false, true);
}

TEST_F(CodecsCorpus, UnicodeFormsAgreeWithPeers) {
  std::string text;
  for (const char* f : {"GB18030.all.utf8.txt", "WINDOWS-31J.all.utf8.txt", "EUC-KR.all.utf8.txt"}) text += Read(f);
  text += "\xF0\x9F\x98\x80\xF0\xA0\x80\x8B\r\n";
  struct Form {
    const char* engine;
    bool big;
    const char* peer;
  } forms[] = {{"UTF-8", false, "UTF-8"},           {"UTF-16", false, "UTF-16LE"},
               {"UTF-16", true, "UTF-16BE"},        {"ISO-10646-UCS-2", false, "UCS-2LE"},
               {"ISO-10646-UCS-2", true, "UCS-2BE"}, {"ISO-10646-UCS-4", false, "UCS-4LE"},
               {"ISO-10646-UCS-4", true, "UCS-4BE"}};
  for (const Form& f : forms) {
    SCOPED_TRACE(f.peer);
    Options o;
    o.target.big_endian = f.big;
    o.target.substitute = 1;
    Result mine = Convert("UTF-8", f.engine, text, o);
    std::string theirs;
    std::string input = text;
    if (std::string(f.engine) == "ISO-10646-UCS-2") {
      // UCS-2 holds the BMP only.
      Text all = FromUcs4(Convert("UTF-8", "ISO-10646-UCS-4", text).out), bmp;
      for (char32_t c : all)
        if (c <= 0xFFFF) bmp.push_back(c);
      input = Convert("ISO-10646-UCS-4", "UTF-8", std::string(reinterpret_cast<const char*>(bmp.data()), bmp.size() * 4)).out;
    }
    if (std::string(f.engine) == "ISO-10646-UCS-2") mine = Convert("UTF-8", f.engine, input, o);
    ASSERT_TRUE(Iconv("UTF-8", f.peer, input, &theirs));
    Tally t;
    t.name = std::string(f.engine) + (f.big ? " BE" : " LE") + " / iconv " + f.peer;
    t.codes = FromUcs4(Convert("UTF-8", "ISO-10646-UCS-4", input).out).size();
    if (mine.out == theirs) t.decode_agree = t.encode_agree = t.codes;
    else t.reasons["bytes differ"] = 1;
    Options in;
    in.source.big_endian = f.big;
    EXPECT_TRUE(Convert(f.engine, "UTF-8", theirs, in).out == input);
    Table().push_back(t);
    EXPECT_TRUE(mine.out == theirs);
  }
  // UTF-7: glibc's encoding read by the engine.
  std::string utf7;
  ASSERT_TRUE(Iconv("UTF-8", "UTF-7", text, &utf7));
  Result seven = Convert("UTF-7", "UTF-8", utf7);
  Tally t;
  t.name = "UTF-7 (decode) / iconv UTF-7";
  t.codes = FromUcs4(Convert("UTF-8", "ISO-10646-UCS-4", text).out).size();
  if (seven.out == text && seven.status == 0) t.decode_agree = t.codes;
  else t.reasons["text differs"] = 1;
  Table().push_back(t);
  EXPECT_TRUE(seven.out == text);
}

TEST_F(CodecsCorpus, SampleTextsDecodeToTheirTwins) {
  struct Sample {
    const char* file;
    const char* engine;
  } samples[] = {
      {"shift_jis", "Shift_JIS"},      {"shift_jis", "WINDOWS31J"},         {"euc_jp", "EUC-JP"},
      {"iso2022_jp", "ISO-2022-JP"},   {"shift_jisx0213", "Shift_JIS-2004"}, {"euc_jisx0213", "EUC-JIS-2004"},
      {"gb2312", "ChineseGBK"},        {"gbk", "ChineseGBK"},               {"gb18030", "GB18030"},
      {"big5", "ChineseBIG5"},         {"cp949", "KoreanKSC"},              {"euc_kr", "KoreanKSC"},
      {"hz", "HZ-GB-2312"},
  };
  for (const Sample& s : samples) {
    std::string bytes = Read(std::string("cjkencodings/") + s.file + ".txt");
    std::string twin = Read(std::string("cjkencodings/") + s.file + "-utf8.txt");
    Result r = Convert(s.engine, "ISO-10646-UCS-4", bytes);
    Text mine = FromUcs4(r.out);
    Text want = FromUcs4(Convert("UTF-8", "ISO-10646-UCS-4", twin).out);
    Tally t;
    t.name = std::string(s.engine) + " cjkencodings/" + s.file + " / UTF-8 twin";
    t.codes = want.size();
    if (mine.size() == want.size()) {
      for (size_t i = 0; i < want.size(); ++i) {
        if (mine[i] == want[i]) ++t.decode_agree;
        else ++t.reasons["dec " + Hex(mine[i]) + "/" + Hex(want[i])];
      }
    } else {
      t.reasons["status " + std::to_string(r.status) + ", " + std::to_string(mine.size()) + " code points"] = 1;
    }
    // Back again, read by the engine.
    Options sub;
    sub.target.substitute = 1;
    Result enc = Convert("UTF-8", std::string(s.engine) == "HZ-GB-2312" ? "ChineseGBK" : s.engine, twin, sub);
    if (std::string(s.engine) != "HZ-GB-2312" &&
        Convert(s.engine, "UTF-8", enc.out).out == twin)
      t.encode_agree = t.codes;
    Table().push_back(t);
  }
  // ISO-2022-JP-2004 against glibc's ISO-2022-JP-3, both ways, by text.
  std::string twin = Read("cjkencodings/euc_jisx0213-utf8.txt");
  Result mine = Convert("UTF-8", "ISO-2022-JP-2004", twin);
  std::string read_by_glibc, glibc_out;
  bool a = Iconv("ISO-2022-JP-3", "UTF-8", mine.out, &read_by_glibc);
  bool b = Iconv("UTF-8", "ISO-2022-JP-3", twin, &glibc_out);
  Tally t;
  t.name = "ISO-2022-JP-2004 / iconv ISO-2022-JP-3";
  t.codes = FromUcs4(Convert("UTF-8", "ISO-10646-UCS-4", twin).out).size();
  if (a && read_by_glibc == twin) t.encode_agree = t.codes;
  else t.reasons["glibc reads engine output differently"] = 1;
  Options skip;
  skip.source.skip_invalid = 1;
  Result back = Convert("ISO-2022-JP-2004", "UTF-8", glibc_out, skip);
  if (b && back.out == twin) t.decode_agree = t.codes;
  else t.reasons["engine reads glibc output differently (status " + std::to_string(Convert("ISO-2022-JP-2004", "UTF-8", glibc_out).status) + ")"] = 1;
  Table().push_back(t);
}

}  // namespace
