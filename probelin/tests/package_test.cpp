// The package detectors: OpenOffice.org 1.x documents built entry by entry
// (and damaged ones), packages handed out from a compound file's
// "\001Ole10Native" stream, and the version of Outlook messages.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "detect.h"
#include "fixtures.h"
#include "quarnel/mem_stream.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace {

using namespace probelin_test;
using testsupport::ZipEntrySpec;

// The stored "meta.xml" entry of an OpenOffice.org 1.x document.
std::string MetaPart() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE office:document-meta PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" \"office.dtd\">"
         "<office:document-meta/>";
}

std::string Content(const std::string& cls) {
  return "<?xml version=\"1.0\"?><office:document-content office:class=\"" + cls + "\"/>";
}

std::string Styles(const std::string& country) {
  std::string attribute = country.empty() ? "" : " style:country-asian=\"" + country + "\"";
  return "<?xml version=\"1.0\"?><office:document-styles><style:properties" + attribute + "/></office:document-styles>";
}

struct Part {
  std::string name;
  std::string data;
};

std::string Package(const std::vector<Part>& parts) {
  testsupport::ZipWriter zip;
  ZipEntrySpec mimetype;
  mimetype.name = "mimetype";
  mimetype.data = "application/vnd.sun.xml.writer";
  zip.add(mimetype);
  for (const Part& p : parts) {
    ZipEntrySpec e;
    e.name = p.name;
    e.data = p.data;
    e.deflate = p.name != "meta.xml";
    zip.add(e);
  }
  return zip.finish();
}

std::vector<Part> Document(const std::string& content, const std::string& styles) {
  return {{"content.xml", content}, {"styles.xml", styles}, {"meta.xml", MetaPart()}};
}

TEST(DtctOpenOffice, ClassAndAsianCountryName) {
  const struct {
    std::string cls, country;
    Expect expect;
  } cases[] = {
      {"spreadsheet", "JP", {1, 381, 1, "Open Office Calc 1.0", 0, "Japanese"}},
      {"drawing", "CN", {1, 382, 1, "Open Office Draw 1.0", 0, "Simplified Chinese"}},
      {"text-global", "KR", {1, 383, 1, "Open Office Global 1.0", 0, "Korean"}},
      {"presentation", "TW", {1, 384, 1, "Open Office Impress 1.0", 0, "Traditional Chinese"}},
      {"text", "US", {1, 386, 1, "Open Office Writer 1.0", 0, "English"}},
      {"label", "", {1, 386, 1, "Open Office Writer 1.0", 0, "English"}},
      {"text", "none", {1, 386, 1, "Open Office Writer 1.0", 0, "English"}},
      {"chart", "JP", {1, 374, 0, "ZIP"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cls + " " + c.country);
    Check(DetectBytes(Package(Document(Content(c.cls), Styles(c.country))), "doc.sxw"), c.expect);
  }
}

TEST(DtctOpenOffice, PartsThatDecideAlone) {
  const std::string math = "<?xml version=\"1.0\"?>\n<!DOCTYPE math:math PUBLIC \"-//OpenOffice.org//DTD Modified W3C MathML 1.01//EN\" \"math.dtd\"><math:math/>";
  const struct {
    const char* what;
    std::vector<Part> parts;
    Expect expect;
  } cases[] = {
      {"Math from its content alone", {{"content.xml", math}, {"meta.xml", MetaPart()}}, {1, 385, 1, "Open Office Math 1.0"}},
      {"no styles part", {{"content.xml", Content("text")}, {"meta.xml", MetaPart()}}, {1, 374, 0, "ZIP"}},
      {"no class and no Math type", Document("<office:document-content/>", Styles("JP")), {1, 374, 0, "ZIP"}},
      {"styles before content", {{"styles.xml", Styles("KR")}, {"content.xml", Content("drawing")}, {"meta.xml", MetaPart()}},
       {1, 382, 1, "Open Office Draw 1.0", 0, "Korean"}},
      {"no meta signature", {{"content.xml", Content("text")}, {"styles.xml", Styles("")}, {"meta.xml", "<meta/>"}},
       {1, 374, 0, "ZIP"}},
      {"names compared whole", {{"xcontent.xml", Content("text")}, {"styles.xml", Styles("")}, {"meta.xml", MetaPart()}},
       {1, 374, 0, "ZIP"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Check(DetectBytes(Package(c.parts), "doc.sxw"), c.expect);
  }
}

// Offsets in a package of the writer: the central directory's header of
// a part and the end record.
size_t CentralHeader(const std::string& zip, const std::string& name) {
  size_t at = zip.find("PK\x01\x02");
  while (at != std::string::npos && zip.compare(at + 46, name.size(), name) != 0) at = zip.find("PK\x01\x02", at + 4);
  return at;
}

void PutLe32(std::string& bytes, size_t at, uint32_t v) { bytes.replace(at, 4, Le32(v)); }

TEST(DtctOpenOffice, DamagedPackagesAreOnlyZips) {
  const std::string good = Package(Document(Content("text"), Styles("JP")));
  ASSERT_EQ(DetectBytes(good, "doc.sxw").record.format_id, 386);
  const size_t content = CentralHeader(good, "content.xml"), end = good.rfind("PK\x05\x06");
  ASSERT_NE(content, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"compressed size past the end", [&](std::string& z) { PutLe32(z, content + 20, 0x7FFFFFF0); }},
      {"local offset past the end", [&](std::string& z) { PutLe32(z, content + 42, 0xFFFFFF00); }},
      {"uncompressed size over 64 MiB", [&](std::string& z) { PutLe32(z, content + 24, (64u << 20) + 1); }},
      {"uncompressed size of 4 GiB", [&](std::string& z) { PutLe32(z, content + 24, 0xFFFFFFFF); }},
      {"zero sizes", [&](std::string& z) { PutLe32(z, content + 20, 0); }},
      {"a name running past the directory", [&](std::string& z) { z.replace(content + 28, 2, Le16(0xFFFF)); }},
      {"central directory past the end", [&](std::string& z) { PutLe32(z, end + 16, 0xFFFFFF00); }},
      {"central directory over 8,192 bytes", [&](std::string& z) { PutLe32(z, end + 12, 8193); }},
      {"a comment of 29 bytes", [&](std::string& z) { z.replace(end + 20, 2, Le16(29)); z += std::string(29, 'c'); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string z = good;
    c.damage(z);
    Check(DetectBytes(z, "doc.sxw"), {1, 374, 0, "ZIP"});
  }
  // A part shorter than its stated size is read as far as it inflates.
  std::string longer = good;
  PutLe32(longer, content + 24, 1 << 20);
  Check(DetectBytes(longer, "doc.sxw"), {1, 386, 1, "Open Office Writer 1.0", 0, "Japanese"});
  // "meta.xml" at the very start of the last 300 bytes has no offset before it.
  std::string early = B("PK\x03\x04") + std::string(400, 'x');
  early.replace(early.size() - 300, 8, "meta.xml");
  Check(DetectBytes(early, "doc.sxw"), {1, 374, 0, "ZIP"});
}

TEST(DtctOpenOfficeCorpus, MetaSignatureIsWhatTheWriterStored) {
  TESTDATA_OR_SKIP(data, "detect");
  const std::string bytes = testsupport::ReadFile(data / "tika-testStarOffice-6.0-writer.sxw");
  const std::string& signature = probelin::OpenOfficeMetaSignature();
  EXPECT_EQ(signature.size(), 146u);
  size_t local = bytes.find("PK\x03\x04");
  while (local != std::string::npos && bytes.compare(local + 30, 8, "meta.xml") != 0) local = bytes.find("PK\x03\x04", local + 4);
  ASSERT_NE(local, std::string::npos);
  EXPECT_EQ(bytes.substr(local + 30, signature.size()), signature);
}

// An "\001Ole10Native" stream: its first word, a label, the package's
// length and the package.
std::string Native(const std::string& package, int64_t total_delta = 0, int64_t length_delta = 0) {
  std::string head = B("\x02\x00") + "package\0" + std::string("C:\\a.docx\0", 10);
  size_t start = 4 + head.size() + 4;
  return Le32(uint32_t(int64_t(package.size() + start - 2) + total_delta)) + head +
         Le32(uint32_t(int64_t(package.size()) + length_delta)) + package;
}

// getMSOffice2007DataAsMemStream on a compound file of that stream.
int Extract(const std::string& native, ObraCommon::ZelMemStream* out, bool with_stream = true) {
  std::string path = WriteTemp("obj.cfb", Cfb({{with_stream ? "\x01" "Ole10Native" : "Other", native}}));
  KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
  EXPECT_NE(root, nullptr);
  int answer = getMSOffice2007DataAsMemStream(root, out);
  KVB_2OLEclose(root);
  std::filesystem::remove(path);
  return answer;
}

std::string Contents(ObraCommon::ZelMemStream& s) {
  std::string out;
  s.appendToString(out);
  return out;
}

TEST(DtctEmbeddedPackage, FindsThePackageItsLengthsDescribe) {
  const std::string package = "PK\x03\x04" + std::string(100, 'z');
  const struct {
    const char* what;
    std::string native;
    bool with_stream;
    std::string expect;
  } cases[] = {
      {"found", Native(package), true, package},
      {"no such stream", Native(package), false, ""},
      {"first word one too large", Native(package, 1), true, ""},
      {"a length past the stream", Native(package, 1000, 1000), true, ""},
      {"a length near 4 GiB", Native(package, 0xFFFFFF00ll - package.size(), 0xFFFFFF00ll - package.size()), true, ""},
      {"a zero length", Native("PK", -2, -2), true, ""},
      {"ten bytes", Le32(8) + Le32(2) + "PK", true, ""},
      {"eleven bytes", Le32(8) + Le32(2) + "PKx", true, "PK"},
      {"package at the end", Native("PK"), true, "PK"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ObraCommon::ZelMemStream out(nullptr, 8192, false);
    out.write("abc", 3);
    int answer = Extract(c.native, &out, c.with_stream);
    EXPECT_EQ(answer, c.expect.empty() ? 0 : 1);
    EXPECT_EQ(Contents(out), "abc" + c.expect) << "written after what was there";
  }
  ObraCommon::ZelMemStream out;
  EXPECT_EQ(getMSOffice2007DataAsMemStream(nullptr, &out), 0);
  EXPECT_EQ(Extract(Native(package), nullptr), 0);
}

struct OfficeType {
  const char* content_type;
  Expect expect;
};

const std::string kOxml = "application/vnd.openxmlformats-officedocument.";
const OfficeType kOfficeTypes[] = {
    {"wordprocessingml.document.main+xml", {1, 387, 2007, "Word 2007/2010"}},
    {"application/vnd.ms-word.document.macroEnabled.main+xml", {1, 388, 2007, "Word 2007/2010 with Macro"}},
    {"wordprocessingml.template.main+xml", {1, 389, 2007, "Word 2007/2010 Template"}},
    {"application/vnd.ms-word.template.macroEnabledTemplate.main+xml", {1, 390, 2007, "Word 2007/2010 Template with Macro"}},
    {"spreadsheetml.sheet.main+xml", {2, 392, 2007, "Excel 2007/2010"}},
    {"application/vnd.ms-excel.sheet.macroEnabled.main+xml", {2, 393, 2007, "Excel 2007/2010 with Macro"}},
    {"spreadsheetml.template.main+xml", {2, 394, 2007, "Excel 2007/2010 Template"}},
    {"application/vnd.ms-excel.template.macroEnabled.main+xml", {2, 395, 2007, "Excel 2007/2010 Template with Macro"}},
    // Id 396 has no catalogue row: the record stays unfilled.
    {"application/vnd.ms-excel.sheet.binary.macroEnabled.main", {0, 0, 0, ""}},
    {"presentationml.presentation.main+xml", {6, 397, 2007, "PowerPoint 2007/2010"}},
    {"application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml", {6, 398, 2007, "PowerPoint 2007/2010 with Macro"}},
    {"presentationml.slideshow.main+xml", {6, 399, 2007, "PowerPoint 2007/2010 Slide Show"}},
    {"application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml", {6, 400, 2007, "PowerPoint 2007/2010 Slide Show with Macro"}},
    {"presentationml.template.main+xml", {6, 401, 2007, "PowerPoint 2007/2010 Template"}},
    {"application/vnd.ms-powerpoint.template.macroEnabled.main+xml", {6, 420, 2007, "PowerPoint 2007/2010 Template with Macro"}},
    {"themeManager+xml", {0, 403, 2007, ""}},
    {"application/xml", {1, 374, 0, "ZIP"}},
};

std::string FullType(const char* content_type) {
  return std::strncmp(content_type, "application/", 12) == 0 ? content_type : kOxml + content_type;
}

TEST(DtctOfficePackages, EachDocumentTypeByPath) {
  for (const OfficeType& t : kOfficeTypes) {
    SCOPED_TRACE(t.content_type);
    Check(DetectBytes(OfficePackage(FullType(t.content_type)), "doc.bin"), t.expect);
  }
}

// Writers that name the main part by its absolute part name.
TEST(DtctOfficePackages, MainPartNamedFromThePackageRoot) {
  Check(DetectBytes(OfficePackage(FullType(kOfficeTypes[4].content_type), "/doc/main.xml"), "doc.bin"),
        kOfficeTypes[4].expect);
  Check(DetectBytes(OfficePackage(FullType(kOfficeTypes[0].content_type), "/doc/other.xml"), "doc.bin"),
        kOfficeTypes[16].expect);
}

// A compound file whose object stream wraps a package, detected in both
// modes (mode 1 without a "Contents" stream: the storage alone decides).
TEST(DtctOfficePackages, PackagesInsideCompoundFilesInEitherMode) {
  for (const OfficeType& t : {kOfficeTypes[0], kOfficeTypes[4], kOfficeTypes[16]}) {
    SCOPED_TRACE(t.content_type);
    std::string path = WriteTemp("object.bin", Cfb({{"\x01" "Ole10Native", Native(OfficePackage(FullType(t.content_type)))}}));
    const bool named = t.expect.id != 374;
    Expect expect = named ? t.expect : Expect{-1, 0, 0, ""};
    Check(DetectPath(path), expect);
    KVB_OleStorage* root = KVB_2OLEopen(path.c_str());
    ASSERT_NE(root, nullptr);
    DtctInput input{};
    input.path = path.c_str();
    input.storage = root;
    input.mode = kDtctModeStorage;
    Detection d;
    d.record.input = &input;
    d.result = KVB_FileDtct(&d.record);
    d.record.input = nullptr;
    KVB_2OLEclose(root);
    Check(d, expect);
    std::filesystem::remove(path);
  }
}

// A message's streams: the subject, then those given.
std::string Message(bool wide, const std::vector<std::pair<std::string, std::string>>& streams) {
  std::vector<std::pair<std::string, std::string>> all = {{wide ? "__substg1.0_001A001F" : "__substg1.0_001A001E", "IPM.Note"}};
  all.insert(all.end(), streams.begin(), streams.end());
  return Cfb(all);
}

std::string Utf16(const std::string& text) {
  std::string out;
  for (char c : text) out += std::string{c, '\0'};
  return out;
}

TEST(DtctMessages, VersionFromNamedPropertiesHeadersOrIndex) {
  const struct {
    const char* what;
    bool wide;
    std::vector<std::pair<std::string, std::string>> streams;
    Expect expect;
  } cases[] = {
      {"nothing found", false, {}, {0, 368, 0, ""}},
      {"a named property", false, {{"__substg1.0_8001001E", "Microsoft Outlook 12.0"}}, {1, 368, 2007, "MSG 2007"}},
      {"texts in their order", false, {{"__substg1.0_8004001E", "14.0 and 9.0"}}, {1, 368, 2003, "MSG"}},
      {"the first stream with a text",
       false,
       {{"__substg1.0_8001001E", "none here"}, {"__substg1.0_8005001E", "14.0"}, {"__substg1.0_8002001E", "9.0"}},
       {1, 368, 2010, "MSG 2010"}},
      {"a text beyond 512 bytes", false, {{"__substg1.0_8001001E", std::string(510, ' ') + "12.0"}}, {0, 368, 0, ""}},
      {"UTF-16 streams", true, {{"__substg1.0_8015001F", Utf16("version 11.0")}}, {1, 368, 2003, "MSG"}},
      {"UTF-16 at an odd offset", true, {{"__substg1.0_8015001F", "x" + Utf16("11.0")}}, {0, 368, 0, ""}},
      {"an 8-bit stream of a UTF-16 message", true, {{"__substg1.0_8015001E", "11.0"}}, {0, 368, 0, ""}},
      {"the mailer line", false, {{"__substg1.0_007D001E", "From: a\r\nX-Mailer: Microsoft Office Outlook 12.0\r\n"}},
       {1, 368, 2007, "MSG 2007"}},
      {"a version after the mailer line", false, {{"__substg1.0_007D001E", "X-Mailer: Other\r\nX-V: 12.0\r\n"}},
       {0, 368, 0, ""}},
      {"the UTF-16 mailer line", true, {{"__substg1.0_007D001F", Utf16("X-Mailer: Outlook 14.0\r\n")}},
       {1, 368, 2010, "MSG 2010"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Check(DetectBytes(Message(c.wide, c.streams), "m.msg"), c.expect);
  }
}

TEST(DtctMessages, ConversationIndexPrefixes) {
  const struct {
    std::string index;
    int32_t sub;
  } cases[] = {
      {B("\x01\xCC\x78\x24\x00"), 2003}, {B("\x01\xCC\x76\xC5"), 2003}, {B("\x01\xC6\x2D\x00"), 2003},
      {B("\x01\xCC\x7D\x00"), 2007},     {B("\x01\x03\x00"), 2010},     {B("\x01\xCC\x78\x25"), 2010},
      {B("\x01\xC9\x00"), 0},            {B("\x02\x00\x00"), 0},        {B("\x01"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.index));
    Detection d = DetectBytes(Message(false, {{"__substg1.0_00710102", c.index}}), "m.msg");
    EXPECT_EQ(d.record.format_id, 368);
    EXPECT_EQ(d.record.sub, c.sub);
  }
}

}  // namespace
