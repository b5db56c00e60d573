// Head-kind signature tests through KVB_FileDtct: each case is a small file
// and the result, id, sub, name and flags the detector gives for it.
#include <gtest/gtest.h>

#include <cstring>

#include "detect.h"
#include "fixtures.h"
#include "testsupport/testdata.h"

namespace {

using namespace probelin_test;

struct Case {
  const char* what;
  std::string bytes;
  const char* file;
  Expect expect;
};

std::string Rar(uint8_t file_flags) {
  std::string b = std::string("Rar!\x1a\x07\x00", 7) + std::string(16, '\0');
  b += char(file_flags);
  return Padded(b, 600);
}

std::string Zip(uint8_t flags) { return Padded(B("PK\x03\x04\x14\x00") + char(flags), 600); }

std::string Excel(uint8_t biff, std::string extra) {
  std::string bof = std::string{9, char(biff), 6, 0} + std::string{0, 0, 16, 0, 0, 0};
  return Padded(bof + extra, 700);
}

std::string Record(uint16_t type, const std::string& data) { return Le16(type) + Le16(uint16_t(data.size())) + data; }

std::string Lotus(const std::string& head, bool end_record) {
  std::string b = Padded(head, 1000);
  if (end_record) b += std::string("\x01\x00\x00\x00", 4);
  return b;
}

std::vector<Case> Cases() {
  std::vector<Case> c;
  c.push_back({"PDF 1.4", Padded("%PDF-1.4\n", 600), "a.pdf", {1, 200, 4, "PDF1.4"}});
  c.push_back({"PDF 2.0 has no name", Padded("%PDF-2.0\n", 600), "a.pdf", {0, 200, 10, ""}});
  c.push_back({"PDF with a letter", Padded("%PDF-x.4\n", 600), "a.pdf", {1, 200, 99, "PDF unknown version"}});
  c.push_back({"PDF digit without point", Padded("%PDF-14\n", 600), "a.pdf", {1, 200, 99, "PDF unknown version"}});
  c.push_back({"PostScript at the start", Padded("%!PS-Adobe-3.0\n", 600), "a.bin", {1, 61, 0, "PostScript"}});
  c.push_back({"PostScript by name, within 512", Padded(std::string(480, '\n') + "%!PS-ADOBE-2.0", 600), "a.ps", {1, 61, 0, "PostScript"}});
  c.push_back({"PostScript beyond 512 bytes", Padded(std::string(505, '\n') + "%!PS-Adobe-3.0", 900), "a.ps", {-1, 0, 0, ""}});
  c.push_back({"EPS binary header", Padded(B("\xc5\xd0\xd3\xc6\x1e\0\0\0") + std::string(22, '\0') + "%!PS-Adobe-3.0 EPSF", 600), "a.eps", {1, 61, 0, "PostScript"}});
  c.push_back({"RTF in code page 1252", Padded("{\\rtf1\\ansi\\ansicpg1252\\deff0", 600), "a.rtf", {1, 45, 0, "Microsoft RTF", 0, "English"}});
  c.push_back({"RTF of 936", Padded("{\\rtf1\\ansi\\ansicpg936\\deff0", 600), "a.rtf", {1, 45, 0, "Microsoft RTF", 0, "Simplified Chinese"}});
  c.push_back({"RTF \\jis", Padded("{\\rtf1\\JIS", 600), "a.rtf", {0, 261, 0, ""}});
  c.push_back({"Excel 4 with a country record", Excel(4, Record(140, Le16(81) + Le16(81))), "a.xls", {2, 90, 4, "Excel Ver.4", 0, "Japanese"}});
  c.push_back({"Excel 3 with FILEPASS", Excel(2, Record(47, "1234")), "a.xls", {0, 90, 3, "", 1}});
  c.push_back({"Excel 2 with byte 4", Excel(0, ""), "a.xls", {0, 90, 2, ""}});
  c.push_back({"gzip from Unix", Padded(B("\x1f\x8b\x08\0\0\0\0\0\0\x03"), 600), "a.gz", {1, 376, 0, "GZIP"}});
  c.push_back({"gzip from FAT", Padded(std::string("\x1f\x8b\x08\0\0\0\0\0\0\0", 10), 600), "a.gz", {-1, 0, 0, ""}});
  c.push_back({"gzip of unknown OS", Padded(std::string("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10), 600), "a.gz", {-1, 0, 0, ""}});
  c.push_back({"RAR", Rar(0), "a.rar", {1, 373, 0, "RAR"}});
  c.push_back({"RAR with an encrypted file", Rar(4), "a.rar", {1, 373, 0, "RAR", 1}});
  c.push_back({"zip", Zip(0), "a.zip", {1, 374, 0, "ZIP"}});
  c.push_back({"zip with an encrypted entry", Zip(1), "a.zip", {1, 374, 0, "ZIP", 1}});
  c.push_back({"LZH", Padded(B("\x20\x00-lh5-"), 600), "a.lzh", {1, 375, 0, "LZH"}});
  c.push_back({"Windows help", Padded(B("\x3f\x5f\x03\x00"), 600), "a.hlp", {1, 366, 0, "HELP"}});
  c.push_back({"mail by name", "From: a@b\r\nTo: c@d\r\nDate: today\r\n\r\nbody\r\n", "a.eml", {1, 367, 0, "EML"}});
  c.push_back({"TAR by name", std::string(1024, '\0'), "a.TaR", {1, 377, 0, "TAR"}});
  c.push_back({"WordPerfect 6", Padded(std::string("\xffWPC\x10\0\0\0\x01\x0a\x02\x00", 12), 600), "a.wpd", {1, 353, 0, "WordPerfect 6.0"}});
  c.push_back({"Claris Works WP", Padded(std::string("\x04\0\0\0CWKJ", 8), 262) + "\x01" + std::string(300, '\0'), "a.cwk", {1, 350, 4, "Claris Works 4.0 WP", 0, "Japanese"}});
  c.push_back({"OASYS online", Padded("\xf0\xf2\xf2\xd6\xc1\xe9", 600), "a.oas", {22, 273, 1, "OASYS Online", 0, "Japanese"}});
  c.push_back({"Ichitaro 6", Padded(Padded("DOC", 18) + "\x03", 128) + Padded("JXW.JEX", 500), "a.jtd", {22, 278, 6, "Ichitaro V6", 0, "Japanese"}});
  c.push_back({"Kingsoft WPS 2001 outside a compound file", Padded("\x83\xffWPS", 600), "a.wps", {1, 372, 2001, "Kingsoft WPS 2001"}});
  c.push_back({"Lotus 1-2-3 release 5", Lotus(std::string("\0\0\x1a\0\x02\x10\x04\0", 8), false), "a.wk4", {2, 81, 4, "Lotus 1-2-3 V5"}});
  c.push_back({"Lotus with an end record", Lotus(std::string("\0\0\x1a\0\x02\x10\x04\0", 8), true), "a.wk4", {0, 81, 3, ""}});
  c.push_back({"Quattro Pro for DOS", Lotus(std::string("\0\0\x02\0\x20\x51", 6), true), "a.wq1", {2, 124, 0, "Quattro Pro for Dos"}});
  return c;
}

TEST(DtctSignatures, HeadKindsNameTheirFormats) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    Check(DetectBytes(c.bytes, c.file), c.expect);
  }
}

TEST(DtctSignatures, RtfVersionTextIsCutToItsField) {
  Detection d = DetectBytes(Padded("{\\rtf" + std::string(40, '7') + "\\ansi", 600), "long.rtf");
  EXPECT_EQ(d.result, 1);
  EXPECT_EQ(std::string(d.record.code_text), std::string(31, '7'));
  EXPECT_EQ(d.record.format_id, 45);
  Detection one = DetectBytes(Padded("{\\rtf1\\ansi", 600), "one.rtf");
  EXPECT_STREQ(one.record.code_text, "1");
}

// AutoCAD and QuarkXPress answer with a cleared record that holds a name.
TEST(DtctSignatures, AutoCadAndQuarkClearTheRecord) {
  struct NameCase {
    std::string bytes;
    int result;
    const char* name;
    const char* second;
    const char* language;
  } cases[] = {
      {Padded(Padded("AC1018", 19) + Le16(38), 600), 1, "AutoCAD 2000/2002/2004/2005/2006 DWG", "", "Japanese"},
      {Padded("AC1024", 600), 1, "AutoCAD 2010 DWG", "", ""},
      {Padded("AC1032", 600), -1, "", "", ""},
      {Padded("  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n", 600), 1,
       "AutoCAD 2000/2002/2004/2005/2006 DXF", "", ""},
      {Padded(Padded("AutoCAD Binary DXF", 54) + "AC1009", 600), 1, "AutoCAD GX-5/R12 DXF BIN", "", ""},
      {Padded(std::string("\0\0II", 4) + "XPR3", 600), 1, "QuarkXPress", "V4", ""},
      {Padded(std::string("\0\0MM", 4) + "XPR3", 600), 1, "QuarkXPress", "V3.3", ""},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = WriteTemp("drawing.dwg", c.bytes);
    DtctInput input{};
    input.path = path.c_str();
    FileDtctRecord record{};
    record.input = &input;
    record.format_id = 1234;
    EXPECT_EQ(KVB_FileDtct(&record), c.result);
    if (c.result == 1) {
      EXPECT_EQ(record.input, nullptr);
      EXPECT_EQ(record.format_id, 0);
    }
    EXPECT_STREQ(record.name, c.name);
    EXPECT_STREQ(record.second_text, c.second);
    EXPECT_STREQ(record.language, c.language);
  }
}

// DocuWorks: the record at the head, then the trailer's records for the
// protection mark; a trailer record that runs past its end stops the walk.
TEST(DtctSignatures, DocuWorksTrailer) {
  std::string head = Padded(std::string("\x60\x0e\x82\x01\x07", 5), 16) + "\x61";
  auto file = [&](const std::string& trailer) {
    return Padded(head, 700) + trailer + Le32(uint32_t(trailer.size()));
  };
  struct TrailerCase {
    std::string trailer;
    int32_t protection;
  } cases[] = {
      {std::string("\x10\x03" "abc" "\x8a\x00", 7), 1},
      {std::string("\x10\x82\x02\x00" "ab" "\x8e\x00", 8), 1},
      {std::string("\x10\x84\xff\xff\xff\x7f" "ab" "\x8e\x00", 10), 0},
      {std::string("\x10\x85\x00" "\x8a\x00", 5), 0},
      {std::string("\x10\x02" "ab" "\x20\x00", 6), 0},
  };
  for (const TrailerCase& c : cases) {
    Detection d = DetectBytes(file(c.trailer), "a.xdw");
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.record.format_id, 369);
    EXPECT_STREQ(d.record.name, "DocuWorks v4/v5/v6");
    EXPECT_EQ(d.record.protection, c.protection);
  }
}

// The combined OASYS file's words after its marker are read only when both
// lie inside the head.
TEST(DtctSignatures, OasysCombinedWordsStayInsideTheHead) {
  probelin::DtctWork w{};
  probelin::DtctResult r{};
  w.result = &r;
  std::vector<uint8_t> head(2000, 0);
  head[100 + 246] = 0xE0;
  head[100 + 247] = 0x70;
  head[100 + 573] = 8;
  EXPECT_TRUE(probelin::OasysCombinedVersion(w, probelin::ByteView{head.data(), head.size()}, 100));
  EXPECT_EQ(r.format_id, 274);
  EXPECT_EQ(r.sub, 7);
  EXPECT_EQ(r.protection, 1);
  probelin::DtctResult untouched{};
  w.result = &untouched;
  EXPECT_FALSE(probelin::OasysCombinedVersion(w, probelin::ByteView{head.data(), head.size()}, 2000 - 573));
  EXPECT_FALSE(probelin::OasysCombinedVersion(w, probelin::ByteView{head.data(), head.size()}, -1));
  EXPECT_EQ(untouched.format_id, 0);
}

}  // namespace
