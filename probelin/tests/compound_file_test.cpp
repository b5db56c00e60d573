// The compound-file detector over files from the test-support writer: the
// stream that decides the format, and each format's own checks.
#include <gtest/gtest.h>

#include <filesystem>

#include "dalvex/cconv.h"
#include "fixtures.h"
#include "testsupport/testdata.h"

namespace {

using namespace probelin_test;
namespace fs = std::filesystem;

Detection DetectCfb(const std::vector<std::pair<std::string, std::string>>& streams,
                    const testsupport::ClassId& root_class = {}) {
  return DetectBytes(Cfb(streams, root_class), "sample.cfb");
}

TEST(DtctCompoundFiles, VisioDrawingsAreNamedByTheirHeaderVersion) {
  struct Case {
    uint16_t version;
    Expect expect;
  } cases[] = {
      {3, {1, 378, 3, "Visio 3.0"}},  {4, {1, 378, 4, "Visio 4.0"}},
      {5, {1, 378, 5, "Visio 5.0"}},  {6, {1, 378, 6, "Visio 2000/2002"}},
      {11, {1, 378, 11, "Visio 2003/2007"}}, {7, {0, 378, 0, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Check(DetectCfb({{"VisioDocument", VisioHeader(c.version)}}), c.expect);
  }
  // The title is compared exactly: in lower case it is no drawing.
  Check(DetectCfb({{"VisioDocument", VisioHeader(11, "visio (tm) drawing\r\n")}}), {-1, 0, 0, ""});
  // A version-4 compound file (4,096-byte sectors) reads the same.
  testsupport::CompoundFileWriter::Layout layout;
  layout.version = 4;
  testsupport::CompoundFileWriter w(layout);
  w.AddStream(w.Root(), "VisioDocument", VisioHeader(6));
  Check(DetectBytes(w.Build().bytes, "v4.vsd"), {1, 378, 6, "Visio 2000/2002"});
}

TEST(DtctCompoundFiles, TableOrderDecides) {
  Check(DetectCfb({{"VisioDocument", VisioHeader(11)}, {"WordDocument", Padded(B("\xdc\xa5"), 600)}}),
        {1, 189, 6, "Word Ver.6", 0, "English"});
}

std::string Fib(const std::string& magic, uint8_t b4, uint8_t b5, size_t size, uint16_t lid = 0, uint16_t lid_fe = 0) {
  std::string f = Padded(magic + std::string{char(b4), char(b5)}, 6) + Le16(lid);
  f = Padded(f, 60) + Le16(lid_fe);
  return Padded(f, size);
}

TEST(DtctCompoundFiles, WordMagicLanguageAndEncryption) {
  std::string w97 = B("\xec\xa5\xc1\x00");
  struct Case {
    const char* what;
    std::string stream;
    Expect expect;
  } cases[] = {
      {"Word 97", Fib(w97, 0x59, 0, 600, 1033, 1033), {22, 308, 7, "Word 97", 0, "English"}},
      {"Word 2003", Fib(w97, 0x63, 0x60, 600, 1033, 1041), {22, 308, 2003, "Word 2003", 0, "Japanese"}},
      {"Word 2000", Fib(w97, 0x37, 0x20, 600, 1033, 2052), {22, 308, 2000, "Word 2000", 0, "Simplified Chinese"}},
      {"Word XP", Fib(w97, 0x35, 0x40, 600, 1041, 1041), {22, 308, 2002, "Word XP"}},
      {"Word 98 from byte 18", Padded(Fib(w97, 1, 1, 18) + "\x01", 600), {22, 308, 9, "Mac-Word 2001"}},
      {"Word 6 Japanese", Fib(B("\x97\xa6"), 0, 0, 600), {22, 304, 6, "Word Ver.6", 0, "Japanese"}},
      {"Word 6 Chinese loses the language", Fib(B("\x99\xa6"), 0, 0, 600), {1, 189, 6, "Word Ver.6"}},
      {"Word 6 Korean", Fib(B("\x98\xa6"), 0, 0, 600), {1, 189, 6, "Word Ver.6", 0, "Korean"}},
      {"Kingsoft WPS 2005", Padded(Fib(w97, 1, 1, 34) + "KSKS", 600), {1, 372, 2005, "Kingsoft WPS 2005"}},
      {"encrypted in regular sectors", Padded(Fib(w97, 0x59, 0, 11) + "\x01", 5000), {22, 308, 7, "Word 97", 1}},
      {"encryption bit of a mini stream", Padded(Fib(w97, 0x59, 0, 11) + "\x01", 600), {22, 308, 7, "Word 97"}},
      {"4,096 zero bytes", std::string(4096, '\0'), {1, 391, 2007, "Word 2007/2010 Encrypted", 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Check(DetectCfb({{"WordDocument", c.stream}}), c.expect);
  }
}

std::string Bof(uint16_t build, uint32_t history) {
  return Le16(0x0809) + Le16(16) + Le16(0x0600) + Le16(5) + Le16(build) + Le16(1997) + Le32(history) + Le32(6);
}

TEST(DtctCompoundFiles, ExcelBuildAndFilePass) {
  std::string country = Le16(140) + Le16(4) + Le16(86) + Le16(86);
  std::string filepass = Le16(47) + Le16(6) + std::string(6, '\0');
  Check(DetectCfb({{"Workbook", Padded(Bof(4624, 1) + country, 600)}}),
        {2, 321, 2003, "Excel 2003", 0, "Simplified Chinese"});
  Check(DetectCfb({{"Workbook", Padded(Bof(8000, 1) + filepass, 600)}}), {2, 321, 6, "Excel 97/2000/XP", 1});
  Check(DetectCfb({{"Workbook", Padded(Bof(8000, 0), 600)}}), {2, 321, 7, "Excel 98"});
  Check(DetectCfb({{"Book", Padded(Le16(0x0809) + Le16(8) + std::string(8, '\0') + country, 600)}}),
        {2, 188, 5, "Excel Ver.5/7(95)", 0, "Simplified Chinese"});
  // A Kingsoft spreadsheet says so in its CompObj stream: nothing here.
  std::string compobj = Padded("", 28) + Le32(12) + "Kingsoft ET";
  Check(DetectCfb({{"Workbook", Padded(Bof(4624, 1), 600)}, {"\x01" "CompObj", Padded(compobj, 80)}}),
        {-1, 0, 0, ""});
}

TEST(DtctCompoundFiles, PowerPointCurrentUser) {
  std::string user = Le32(0x0FF60000) + Le32(20) + Le32(20) + Le32(0xE391C05F) + Le32(100) + Le32(0);
  std::string edit = Padded("", 112) + Le16(4714) + B("\x00\x03");
  Check(DetectCfb({{"PowerPoint Document", Padded(edit, 600)}, {"Current User", Padded(user, 60)}}),
        {6, 316, 2003, "PowerPoint 2003"});
  Check(DetectCfb({{"PowerPoint Document", Padded("", 600)}, {"Current User", Padded(user, 60)}}),
        {6, 316, 7, "PowerPoint 97/2000/XP"});
  Check(DetectCfb({{"PowerPoint Document", Padded("", 600)}, {"Current User", std::string(16, '\x01')}}),
        {6, 316, 5, "PowerPoint 95"});
  Check(DetectCfb({{"PowerPoint Document", Padded("", 600)}, {"Current User", Padded(user, 60)},
                   {"EncryptedSummary", "x"}}),
        {6, 316, 7, "PowerPoint 97/2000/XP", 1});
  Check(DetectCfb({{"PowerPoint Document", Padded("", 600)}}), {0, 183, 0, ""});
}

TEST(DtctCompoundFiles, PageMakerAndIchitaro) {
  std::string pm = Padded(B("\0\0\0\0\0\0\xff\x99"), 110) + "2";
  Check(DetectCfb({{"PageMaker", Padded(pm, 112)}}), {1, 356, 0, "Page Maker 6.5/7.0", 0, ""});
  auto ichitaro = [](const char* text) { return testsupport::ParseClassId(text); };
  Check(DetectCfb({{"DocumentText", "x"}}, ichitaro("{78597001-1D84-11CF-9713-0020AFD806F4}")),
        {22, 309, 8, "Ichitaro 8/9/10/11/12/13/2004/2005/2006/2007", 0, "Japanese"});
  Check(DetectCfb({{"DocumentText", "x"}}, ichitaro("{78597000-1D84-11CF-9713-0020AFD806F4}")),
        {22, 309, 7, "Ichitaro V7", 0, "Japanese"});
  Check(DetectCfb({{"\x04" "JSRV_SegmentInformation", Padded("", 60) + "\x01"}},
                  ichitaro("{78597002-1D84-11CF-9713-0020AFD806F4}")),
        {22, 309, 9, "Ichitaro 8/9/10/11/12/13/2004/2005/2006/2007", 1, "Japanese"});
  Check(DetectCfb({{"DocumentText", "x"}}), {0, 183, 0, "", 0, "Japanese"});
}

// "Contents" (any case but all capitals) is the Aurora row, which names no
// format; "CONTENTS" is the Works row, and rows between them are reached.
TEST(DtctCompoundFiles, ContentsRowsTellTheStoredName) {
  std::string works = Padded("CHNKINK ", 64);
  Check(DetectCfb({{"CONTENTS", works}}), {1, 357, 0, "MS Works 2000 WPS"});
  Check(DetectCfb({{"Contents", works}}), {-1, 0, 0, ""});
  Check(DetectCfb({{"contents", works}}), {-1, 0, 0, ""});
  std::string pm = Padded(B("\0\0\0\0\0\0\xff\x99"), 112);
  Check(DetectCfb({{"CONTENTS", works}, {"PageMaker", pm}}), {1, 355, 0, "Page Maker 6.0", 0, ""});
  Check(DetectCfb({{"Contents", works}, {"PageMaker", pm}}), {-1, 0, 0, ""});
}

TEST(DtctCompoundFiles, KingsoftWpsAndMessages) {
  std::string wps = Padded(B("\x90\xffWPS"), 50);
  Check(DetectCfb({{"WPSDoc", wps}}), {1, 372, 2002, "Kingsoft WPS 2002"});
  Check(DetectCfb({{"WPSDoc", wps}, {"WpsSectionInfo/", ""}}), {1, 372, 2003, "Kingsoft WPS 2003"});
  Check(DetectCfb({{"__substg1.0_001A001F", "I\0P\0M\0"}}), {0, 368, 0, ""});
}

// A summary-information stream with code page 936 and an application name.
std::string Summary(const std::string& application) {
  std::string name = application + '\0';
  std::string section = Le32(0) + Le32(2) + Le32(1) + Le32(24) + Le32(18) + Le32(32);
  section += Le16(2) + Le16(0) + Le16(936) + Le16(0);                       // code page at 24
  section += Le32(30) + Le32(uint32_t(name.size())) + Padded(name, (name.size() + 3) / 4 * 4);  // at 32
  std::string size = Le32(uint32_t(section.size()));
  section.replace(0, 4, size);
  std::string header = Le16(0xFFFE) + Le16(0) + Le32(0x00020006) + std::string(16, '\0') + Le32(1);
  header += std::string(16, '\x11') + Le32(48);
  return header + section;
}

// A presentation whose summary names the application `app`.
Detection Presentation(const std::string& app) {
  const std::string user = Le32(0) + Le32(0) + Le32(20) + Le32(0xE391C05F) + Le32(0) + Le32(0);
  return DetectCfb({{"PowerPoint Document", Padded("", 600)}, {"Current User", Padded(user, 60)},
                    {"\x05" "SummaryInformation", Summary(app)}});
}

TEST(DtctCompoundFiles, KingsoftPresentationWithoutTheEngine) {
  // Without a started engine nothing converts, so nothing names Kingsoft.
  Check(Presentation("WPS Office"), {6, 316, 7, "PowerPoint 97/2000/XP"});
}

TEST(DtctCompoundFiles, KingsoftPresentationWithTheEngine) {
  fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
           fs::copy_options::recursive);
  ASSERT_EQ(startProcess(), 1);
  struct EngineEnd {
    ~EngineEnd() { endProcess(); }
  } engine_end;
  ASSERT_EQ(cconvLoadRule(), 1);
  // The Kingsoft presentation id has no catalogue row: 0, nothing written.
  Check(Presentation("WPS Office"), {0, 0, 0, ""});
  Check(Presentation("Kingsoft OFFICE"), {0, 0, 0, ""});
  Check(Presentation("Microsoft PowerPoint"), {6, 316, 7, "PowerPoint 97/2000/XP"});
}

}  // namespace
