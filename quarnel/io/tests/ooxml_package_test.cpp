// Office Open XML packages: content types, relationships and the kind of
// the main document, on packages made with the tests' zip writer, and
// hostile packages that reach outside themselves or inflate without end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/xml_parser.h"
#include "quarnel/zip_file.h"
#include "support.h"
#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelZipFile;
using ObraCommon::ZelZipFileEntry;
using quarnel_test::Utf8;
using testsupport::ZipEntrySpec;

const char* const kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
const char* const kTypesNamespace = "http://schemas.openxmlformats.org/package/2006/content-types";
const char* const kRelsNamespace = "http://schemas.openxmlformats.org/package/2006/relationships";

std::string Types(const std::string& body, const std::string& ns = kTypesNamespace) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"" + ns + "\">" + body + "</Types>";
}
std::string Default(const std::string& ext, const std::string& type) {
  return "<Default Extension=\"" + ext + "\" ContentType=\"" + type + "\"/>";
}
std::string Override(const std::string& part, const std::string& type) {
  return "<Override PartName=\"" + part + "\" ContentType=\"" + type + "\"/>";
}
std::string Rels(const std::string& body) {
  return "<?xml version=\"1.0\"?><Relationships xmlns=\"" + std::string(kRelsNamespace) + "\">" + body +
         "</Relationships>";
}
std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                const std::string& mode = "") {
  std::string r = "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"";
  if (!mode.empty()) r += " TargetMode=\"" + mode + "\"";
  return r + "/>";
}

struct Part {
  std::string name, data;
};

// The package of these parts; damage, when given, alters the entry of the
// part named damaged before it is written.
std::string Package(const std::vector<Part>& parts, bool deflate = true, const char* damaged = nullptr,
                    void (*damage)(ZipEntrySpec&) = nullptr) {
  testsupport::ZipWriter writer;
  for (const Part& p : parts) {
    ZipEntrySpec spec;
    spec.name = p.name;
    spec.data = p.data;
    spec.deflate = deflate;
    if (damaged != nullptr && p.name == damaged) damage(spec);
    writer.add(spec);
  }
  return writer.finish();
}

// A package whose main part "word/document.xml" has this content type by
// an Override.
std::string MainPackage(const std::string& contentType) {
  return Package({{"[Content_Types].xml", Types(Default("rels", "application/vnd.openxmlformats-package.relationships+xml") +
                                                Override("/word/document.xml", contentType))},
                  {"_rels/.rels", Rels(Rel("rId1", kOfficeDocument, "word/document.xml"))},
                  {"word/document.xml", "<document/>"}});
}

int DetectBytes(const std::string& bytes) {
  std::istringstream in(bytes);
  return ZelZipFile::detectOOXDocument(&in);
}

struct TypeCase {
  const char* contentType;
  int type;
};

const TypeCase kTypes[] = {
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml", 1},
    {"application/vnd.ms-word.document.macroEnabled.main+xml", 2},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml", 3},
    {"application/vnd.ms-word.template.macroEnabledTemplate.main+xml", 4},
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml", 5},
    {"application/vnd.ms-excel.sheet.macroEnabled.main+xml", 6},
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml", 7},
    {"application/vnd.ms-excel.template.macroEnabled.main+xml", 8},
    {"application/vnd.ms-excel.sheet.binary.macroEnabled.main", 9},
    {"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml", 10},
    {"application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml", 11},
    {"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml", 12},
    {"application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml", 13},
    {"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml", 14},
    {"application/vnd.ms-powerpoint.template.macroEnabled.main+xml", 15},
    {"application/vnd.openxmlformats-officedocument.themeManager+xml", 16},
    // Near misses: the comparison is exact.
    {"application/vnd.ms-excel.sheet.binary.macroEnabled.main+xml", 0},
    {"Application/vnd.ms-word.document.macroEnabled.main+xml", 0},
    {"application/xml", 0},
};

TEST(OoxmlPackage, EachMainContentTypeGivesItsKind) {
  for (const TypeCase& c : kTypes) {
    SCOPED_TRACE(c.contentType);
    std::string bytes = MainPackage(c.contentType);
    EXPECT_EQ(DetectBytes(bytes), c.type);
    // The same through a file, by both path forms.
    auto path = testsupport::TempDir() / "main.zip";
    ASSERT_TRUE(testsupport::WriteFile(path, bytes));
    EXPECT_EQ(ZelZipFile::detectOOXDocument(path.c_str()), c.type);
    EXPECT_EQ(ZelZipFile::detectOOXDocument(UnicodeString::fromUTF8(path.string())), c.type);
  }
}

const char* const kDocx = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";

// A package of up to three parts: content types, package relationships and
// "word/document.xml"; an empty text leaves its part out.
struct EdgeCase {
  const char* what;
  std::string types;
  std::string rels;
  bool main;
  int type;
};

TEST(OoxmlPackage, EdgeCases) {
  const std::string types = Types(Override("/word/document.xml", kDocx));
  const std::string rels = Rels(Rel("rId1", kOfficeDocument, "word/document.xml"));
  const std::vector<EdgeCase> cases = {
      {"main part named from the package root", types, Rels(Rel("rId1", kOfficeDocument, "/word/document.xml")), true,
       1},
      {"an absolute name of no entry", types, Rels(Rel("rId1", kOfficeDocument, "/word/other.xml")), true, 0},
      {"no content-type part", "", rels, true, 0},
      {"no package relationships", types, "", true, 0},
      {"main part missing", types, rels, false, 0},
      {"Override without a leading slash", Types(Override("word/document.xml", kDocx)), rels, true, 1},
      {"Default written as xml", Types(Default("xml", kDocx)), rels, true, 1},
      {"Default written as .xml", Types(Default(".xml", kDocx)), rels, true, 1},
      {"Default of another extension", Types(Default("XML", kDocx)), rels, true, 0},
      {"an Override wins over a Default",
       Types(Default("xml", "application/xml") + Override("/word/document.xml", kDocx)), rels, true, 1},
      {"Strict relationship type", types,
       Rels(Rel("rId1", "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument", "word/document.xml")),
       true, 0},
      {"entry names are case-sensitive", types, Rels(Rel("rId1", kOfficeDocument, "Word/Document.xml")), true, 0},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Part> parts;
    if (!c.types.empty()) parts.push_back({"[Content_Types].xml", c.types});
    if (!c.rels.empty()) parts.push_back({"_rels/.rels", c.rels});
    if (c.main) parts.push_back({"word/document.xml", "<d/>"});
    EXPECT_EQ(DetectBytes(Package(parts)), c.type);
    EXPECT_EQ(DetectBytes(Package(parts, false)), c.type);
  }
}

TEST(OoxmlPackage, StreamStandsWhereItStood) {
  std::string bytes = std::string(100, 'x') + MainPackage(kDocx);
  std::istringstream in(bytes);
  in.seekg(100);
  EXPECT_EQ(ZelZipFile::detectOOXDocument(&in), 1);
  EXPECT_TRUE(in.good());
  EXPECT_EQ(in.tellg(), std::streampos(100));
  // A stream that was failed on entry is left as it was.
  std::istringstream failed(bytes);
  failed.setstate(std::ios::failbit);
  EXPECT_EQ(ZelZipFile::detectOOXDocument(&failed), 0);
  EXPECT_TRUE(failed.fail());
  EXPECT_EQ(ZelZipFile::detectOOXDocument(static_cast<std::istream*>(nullptr)), 0);
  EXPECT_EQ(ZelZipFile::detectOOXDocument(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(ZelZipFile::detectOOXDocument("/nonexistent/package.docx"), 0);
}

// The content type of each named entry after reading the package's
// "[Content_Types].xml"; entries without one give "".
struct TypesCase {
  const char* what;
  std::string types;
  std::vector<std::pair<const char*, const char*>> want;
};

TEST(OoxmlPackage, ContentTypes) {
  const std::string ok = Override("/a.xml", "A");
  const std::vector<TypesCase> cases = {
      {"Override and Default", Types(ok + Default("bin", "B")), {{"a.xml", "A"}, {"b.bin", "B"}, {"c", ""}}},
      {"wrong namespace", Types(ok, "http://example.com/types"), {{"a.xml", ""}}},
      {"no namespace", "<Types>" + ok + "</Types>", {{"a.xml", ""}}},
      {"wrong root", "<Typez xmlns=\"" + std::string(kTypesNamespace) + "\">" + ok + "</Typez>", {{"a.xml", ""}}},
      {"unknown element ends reading",
       Types(ok + "<Other ContentType=\"X\"/>" + Override("/b.bin", "B")),
       {{"a.xml", "A"}, {"b.bin", ""}}},
      {"a deeper element ends reading",
       Types("<Override PartName=\"/a.xml\" ContentType=\"A\"><Override PartName=\"/b.bin\" ContentType=\"B\"/></Override>" +
             Default("bin", "C")),
       {{"a.xml", "A"}, {"b.bin", ""}}},
      {"empty ContentType ends reading",
       Types(ok + "<Override PartName=\"/b.bin\" ContentType=\"\"/>" + Default("bin", "C")),
       {{"a.xml", "A"}, {"b.bin", ""}}},
      {"an Override of a missing part is not counted", Types(Override("/zzz", "Z") + Default("bin", "B")), {{"b.bin", "B"}}},
      {"Defaults apply only after the end of the part",
       "<Types xmlns=\"" + std::string(kTypesNamespace) + "\">" + ok + Default("bin", "B"),
       {{"a.xml", "A"}, {"b.bin", ""}}},
      // Three overrides for three entries: the Default step never runs.
      {"Defaults need fewer overrides than entries",
       Types(ok + ok + Override("/[Content_Types].xml", "T") + Default("bin", "B")),
       {{"a.xml", "A"}, {"b.bin", ""}}},
      {"the last dot decides", Types(Default("bin", "B") + Default("xml", "X")), {{"a.xml", "X"}, {"b.bin", "B"}}},
      {"a DOCTYPE with an internal subset is read",
       "<!DOCTYPE Types [<!ENTITY o '<Override PartName=\"/a.xml\" ContentType=\"A\"/>'>]><Types xmlns=\"" +
           std::string(kTypesNamespace) + "\">&o;</Types>",
       {{"a.xml", "A"}}},
      {"not XML", "\xff\xfe\x01 garbage", {{"a.xml", ""}}},
  };
  for (const TypesCase& c : cases) {
    SCOPED_TRACE(c.what);
    ZelZipFile zip(new std::istringstream(Package({{"[Content_Types].xml", c.types}, {"a.xml", "<a/>"}, {"b.bin", "b"}})), true);
    std::vector<std::string> got, want;
    for (const auto& [name, type] : c.want) {
      ZelZipFileEntry* e = zip.getFileEntry(UnicodeString::fromUTF8(name));
      got.push_back(std::string(name) + "=" + Utf8(zip.getContentType(e)));
      want.push_back(std::string(name) + "=" + type);
    }
    EXPECT_EQ(got, want);
  }
}

TEST(OoxmlPackage, ContentTypesNeedTheirPart) {
  ZelZipFile zip(new std::istringstream(Package({{"a.xml", "<a/>"}})), true);
  EXPECT_TRUE(zip.getContentType(zip.getFileEntry(0)).isEmpty());
  EXPECT_TRUE(zip.getContentType(nullptr).isEmpty());
}

TEST(OoxmlPackage, DamagedPartsAnswerNothing) {
  std::string types = Types(Default("xml", kDocx));
  std::string rels = Rels(Rel("rId1", kOfficeDocument, "word/document.xml"));
  struct Damage {
    const char* what;
    const char* part;
    void (*damage)(ZipEntrySpec&);
  };
  const std::vector<Damage> damages = {
      {"inflates short of its end", "[Content_Types].xml", [](ZipEntrySpec& s) { s.declaredSize = 60; }},
      {"wrong checksum", "[Content_Types].xml", [](ZipEntrySpec& s) { s.wrongCrc = true; }},
      {"relationships short of their end", "_rels/.rels", [](ZipEntrySpec& s) { s.declaredSize = 60; }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    const std::vector<Part> parts = {{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}};
    EXPECT_EQ(DetectBytes(Package(parts, true, d.part, d.damage)), 0);
  }
}

// Relationships of the package and of parts, each looked up by Id, by
// Type and for its target mode.
struct RelCase {
  const char* what;
  const char* source;  // null: the package
  const char* id;
  const char* byId;
  const char* byType;  // looked up by "T" + id
  const char* mode;
};

TEST(OoxmlPackage, Relationships) {
  std::string partRels = Rels(Rel("r1", "Tr1", "../media/x.png") + Rel("r2", "Tr2", "y.xml", "Internal") +
                              Rel("r3", "Tr3", "http://example.com/a b", "External") +
                              Rel("r4", "Tr4", "../../../up.xml") + "<Other Id=\"r9\"/>" +
                              Rel("r1", "Tr5", "second.xml") + Rel("r6", "", "t.xml") + Rel("r7", "Tr7", "lost.xml"));
  std::string bareRels = "<r:Relationships xmlns:r=\"" + std::string(kRelsNamespace) + "\">" +
                         "<r:Relationship Id=\"r1\" Type=\"Tr1\" Target=\"../sib.xml\"/></r:Relationships>";
  ZelZipFile zip(new std::istringstream(Package({
                     {"_rels/.rels", Rels(Rel("r1", "Tr1", "../pkg.xml") + Rel("r2", "Tr2", "/abs.xml"))},
                     {"a/b/c.xml", "<c/>"},
                     {"a/b/_rels/c.xml.rels", partRels},
                     {"c.xml", "<c/>"},
                     {"_rels/c.xml.rels", bareRels},
                     {"d.xml", "<d/>"},
                     {"_rels/d.xml.rels", "<Other>" + Rel("r1", "Tr1", "x") + "</Other>"},
                     {"i.xml", "<i/>"},
                     {"_rels/i.xml.rels", Rels(Rel("r1", "Tr1", "kept.xml") + Rel("", "Tr2", "y") + Rel("r3", "Tr3", "z"))},
                     {"t.xml", "<t/>"},
                     {"_rels/t.xml.rels", Rels(Rel("r1", "Tr1", "") + Rel("r2", "Tr2", "y"))},
                 })),
                 true);
  const std::vector<RelCase> cases = {
      {"package targets as written", nullptr, "r1", "../pkg.xml", "../pkg.xml", "Internal"},
      {"package target with a leading slash", nullptr, "r2", "/abs.xml", "/abs.xml", "Internal"},
      {"resolved against the part", "a/b/c.xml", "r1", "a/media/x.png", "a/media/x.png", "Internal"},
      {"Internal said aloud", "a/b/c.xml", "r2", "a/b/y.xml", "a/b/y.xml", "Internal"},
      {"External kept as written", "a/b/c.xml", "r3", "http://example.com/a b", "http://example.com/a b", "External"},
      {"the root cannot be climbed past", "a/b/c.xml", "r4", "up.xml", "up.xml", "Internal"},
      {"a key met twice keeps its first target", "a/b/c.xml", "r5", "", "a/b/second.xml", "Internal"},
      {"an empty Type ends reading", "a/b/c.xml", "r7", "", "", "Internal"},
      {"a part without a folder, prefixed names", "c.xml", "r1", "sib.xml", "sib.xml", "Internal"},
      {"a wrong root ends reading", "d.xml", "r1", "", "", "Internal"},
      {"what was read before an empty Id stays", "i.xml", "r1", "kept.xml", "kept.xml", "Internal"},
      {"an empty Id ends reading", "i.xml", "r3", "", "", "Internal"},
      {"an empty Target ends reading", "t.xml", "r2", "", "", "Internal"},
      {"a part without relationships", "a/b/_rels/c.xml.rels", "r1", "", "", "Internal"},
  };
  for (const RelCase& c : cases) {
    SCOPED_TRACE(c.what);
    ZelZipFileEntry* source = c.source ? zip.getFileEntry(UnicodeString::fromUTF8(c.source)) : nullptr;
    if (c.source != nullptr) {
      ASSERT_NE(source, nullptr);
    }
    UnicodeString id = UnicodeString::fromUTF8(c.id);
    EXPECT_EQ(Utf8(zip.getRelationshipTargetFromId(id, source)), c.byId);
    EXPECT_EQ(Utf8(zip.getRelationshipTargetFromType(u"T" + id, source)), c.byType);
    EXPECT_EQ(Utf8(zip.getRelationshipTargetMode(id, source)), c.mode);
  }
  // The first r1 wins over the later one with another type.
  ZelZipFileEntry* c = zip.getFileEntry(u"a/b/c.xml");
  EXPECT_EQ(Utf8(zip.getRelationshipTargetFromId(u"r1", c)), "a/media/x.png");
}

// A package's parts open nothing outside the package: not the external
// subset a DOCTYPE names, not the external entities it declares, whatever
// they are (a FIFO would block, /dev/zero never ends, a URL is a request
// the package's author chose), even with remote loading allowed.
TEST(OoxmlPackage, PartsReachNothingOutside) {
  namespace fs = std::filesystem;
  const std::string tmpl = Override("/word/document.xml",
                                    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml");
  fs::path dir = testsupport::TempDir();
  fs::path fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Were they read, these would make the main part a template (3).
  ASSERT_TRUE(testsupport::WriteFile(dir / "local.dtd", "<!ENTITY o '" + tmpl + "'>"));
  ASSERT_TRUE(testsupport::WriteFile(dir / "local.ent", tmpl));
  testsupport::HttpServer server;
  server.answer("/remote.dtd", {"HTTP/1.1 200 OK\r\nContent-Type: application/xml-dtd", "<!ENTITY o '" + tmpl + "'>"});
  server.answer("/remote.ent", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain", tmpl});
  ObraCommon::ZelXmlUtil::setRemoteEntityLoading(true);
  struct Reach {
    std::string subset, entity;
  };
  const std::vector<Reach> reaches = {
      {fifo.string(), "/dev/zero"},
      {"/dev/zero", server.url("/remote.ent")},
      {server.url("/remote.dtd"), fifo.string()},
      {(dir / "local.dtd").string(), (dir / "local.ent").string()},
      {"file://" + (dir / "local.dtd").string(), "local.ent"},
  };
  for (const Reach& r : reaches) {
    SCOPED_TRACE(r.subset + " " + r.entity);
    std::string doctype = "<!DOCTYPE Types SYSTEM \"" + r.subset + "\" [<!ENTITY e SYSTEM \"" + r.entity + "\">]>";
    std::string types = doctype + "<Types xmlns=\"" + kTypesNamespace + "\">" + Override("/word/document.xml", kDocx) +
                        "&e;&o;</Types>";
    std::string rels = "<!DOCTYPE Relationships SYSTEM \"" + r.subset + "\">" +
                       Rels(Rel("rId1", kOfficeDocument, "word/document.xml")).substr(21);
    std::string bytes = Package({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}});
    EXPECT_EQ(DetectBytes(bytes), 1);
  }
  ObraCommon::ZelXmlUtil::setRemoteEntityLoading(false);
  EXPECT_TRUE(server.requests().empty());
}

// A part is read no further than 16 MiB of inflated text: what comes after
// (here the Default or the relationship that would name the main part) is
// never seen, and a small package cannot make the reader take gigabytes.
TEST(OoxmlPackage, PartsAreReadWithinBounds) {
  struct Bound {
    const char* what;
    bool types;  // the long part: content types, or the package relationships
    size_t bytes;
    int type;
  };
  const std::vector<Bound> bounds = {
      {"content types within the bound", true, size_t(15) << 20, 1},
      {"content types of 200 MiB", true, size_t(200) << 20, 0},
      {"relationships of 64 MiB", false, size_t(64) << 20, 0},
  };
  for (const Bound& b : bounds) {
    SCOPED_TRACE(b.what);
    std::string filler;
    for (int i = 0; filler.size() < 30000; ++i) {
      std::string n = std::to_string(i);
      filler += b.types ? Default("f" + n, "application/x-fill") : Rel("f" + n, "t" + n, "x.xml");
    }
    std::string end = b.types ? Default("xml", kDocx) + "</Types>"
                              : Rel("rId1", kOfficeDocument, "word/document.xml") + "</Relationships>";
    std::string head = b.types ? Types("") : Rels("");
    head.resize(head.size() - (b.types ? 8 : 16));  // without the end tag
    std::string part = head;
    part.reserve(b.bytes + filler.size() + end.size());
    while (part.size() < b.bytes - end.size()) part += filler;
    part += end;
    std::vector<Part> parts = {{"[Content_Types].xml", Types(Default("xml", kDocx))},
                               {"_rels/.rels", Rels(Rel("rId1", kOfficeDocument, "word/document.xml"))},
                               {"word/document.xml", "<d/>"}};
    parts[b.types ? 0 : 1].data = std::move(part);
    EXPECT_EQ(DetectBytes(Package(parts)), b.type);
  }
}

// The application `file -b` names, or "" when it names none.
std::string ApplicationOfFile(const std::string& said) {
  for (const char* app : {"Word", "Excel", "PowerPoint", "Visio"})
    if (said.rfind(std::string("Microsoft ") + app + " ", 0) == 0) return app;
  return "";
}

std::string ApplicationOfType(int type) {
  if (type >= 1 && type <= 4) return "Word";
  if (type >= 5 && type <= 9) return "Excel";
  if (type >= 10 && type <= 15) return "PowerPoint";
  return type == 16 ? "theme" : "";
}

// Where a reading of a package is expected to disagree, and why.
const std::map<std::string, std::string> kScriptDisagrees = {
    {"tika-testEXCEL.strict.xlsx",
     "its main part is named by the Strict relationship type, which the script follows and detection does not"},
};
const std::map<std::string, std::string> kFileDisagrees = {
    {"python-docx-default.docx", "file names no application (\"Microsoft OOXML\"): its first parts are customXml/"},
    {"tika-testPPT.thmx", "file knows no theme packages (\"Microsoft OOXML\")"},
    {"tika-testWORD.docx", "file sees a plain zip: the package does not start with [Content_Types].xml"},
    {"tika-testPPT.potm", "file sees a plain zip: the package does not start with [Content_Types].xml"},
    {"tika-testEXCEL.strict.xlsx", "Strict relationship type: detection answers 0, file says Excel"},
    {"libvisio-bgcolor.vsdx", "Visio packages are none of the 16 kinds; file says Visio"},
    {"tika-testVISIO.vsdx", "Visio packages are none of the 16 kinds; file says Visio"},
    {"tika-testVISIO.vsdm", "Visio packages are none of the 16 kinds; file says Visio"},
    {"tika-testVISIO.vssx", "Visio packages are none of the 16 kinds; file says Visio"},
    {"tika-testVISIO.vstx", "Visio packages are none of the 16 kinds; file says Visio"},
    {"poi-clusterfuzz-testcase-minimized-POIVisioFuzzer-4537225637134336.vsd",
     "a damaged Visio package: none of the 16 kinds; file says Visio"},
};

bool StartsWithLocalHeader(const std::filesystem::path& p) {
  std::string head = testsupport::ReadFile(p).substr(0, 4);
  return head == std::string("PK\x03\x04", 4);
}

// Every package of detect/ (and the zip-made Visio file of vsd/), by path
// and by stream, beside a reading by python's zipfile and ElementTree and
// beside what `file -b` said of it in the data's INDEX.tsv.
TEST(OoxmlPackageCorpus, EveryPackageAsTwoOtherReadingsTellIt) {
  namespace fs = std::filesystem;
  TESTDATA_OR_SKIP(detect, "detect");
  struct Row {
    fs::path path;
    std::string fileSaid;
  };
  std::vector<Row> rows;
  for (const auto& row : testsupport::ReadIndex(detect)) {
    fs::path p = detect / row.at("file");
    if (fs::is_regular_file(p) && StartsWithLocalHeader(p)) rows.push_back({p, row.count("file_-b") ? row.at("file_-b") : ""});
  }
  std::string why;
  if (auto vsd = testsupport::TestDataDir("vsd", &why)) {
    for (const auto& row : testsupport::ReadIndex(*vsd)) {
      fs::path p = *vsd / row.at("file");
      if (row.at("file").find("4537225637134336") != std::string::npos && fs::is_regular_file(p))
        rows.push_back({p, row.count("file_-b") ? row.at("file_-b") : ""});
    }
  }
  ASSERT_FALSE(rows.empty());

  std::string command = "python3 '" + std::string(std::getenv("PROJECT_SOURCE_DIR")) + "/quarnel/io/tests/ooxml_main_part.py'";
  for (const Row& r : rows) command += " '" + r.path.string() + "'";
  std::map<std::string, int> script;
  std::istringstream lines(quarnel_test::CommandOutput(command));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string path, kind;
    std::getline(fields, path, '\t');
    std::getline(fields, kind, '\t');
    script[fs::path(path).filename().string()] = std::stoi(kind);
  }
  ASSERT_EQ(script.size(), rows.size()) << command;

  std::ostringstream table;
  table << "package | detected | script | file -b | disagreement\n";
  std::set<int> kinds;
  for (const Row& r : rows) {
    std::string name = r.path.filename().string();
    SCOPED_TRACE(name);
    int type = ZelZipFile::detectOOXDocument(r.path.c_str());
    kinds.insert(type);
    // The stream form, the package behind 100 other bytes.
    std::istringstream in(std::string(100, '\0') + testsupport::ReadFile(r.path));
    in.seekg(100);
    EXPECT_EQ(ZelZipFile::detectOOXDocument(&in), type);
    EXPECT_TRUE(in.good());
    EXPECT_EQ(in.tellg(), std::streampos(100));

    // The main part's internal targets, resolved against it, name entries
    // of the package ("../customXml/item1.xml" from "word/document.xml").
    ZelZipFile package(r.path.c_str());
    if (ZelZipFileEntry* main = package.getOfficeDocument()) {
      for (int i = 1; i <= 40; ++i) {
        UnicodeString id = UnicodeString(u"rId") + UnicodeString::fromUTF8(std::to_string(i));
        const UnicodeString& target = package.getRelationshipTargetFromId(id, main);
        if (target.isEmpty() || package.getRelationshipTargetMode(id, main) != u"Internal") continue;
        EXPECT_NE(package.getFileEntry(target), nullptr) << Utf8(id) << " " << Utf8(target);
      }
    }

    std::string note;
    if (script[name] != type) {
      EXPECT_EQ(kScriptDisagrees.count(name), 1u) << "script says " << script[name] << ", detection " << type;
      note += "script: " + (kScriptDisagrees.count(name) ? kScriptDisagrees.at(name) : "?") + " ";
    } else {
      EXPECT_EQ(kScriptDisagrees.count(name), 0u) << "listed as disagreeing, but agrees";
    }
    if (ApplicationOfFile(r.fileSaid) != ApplicationOfType(type)) {
      EXPECT_EQ(kFileDisagrees.count(name), 1u) << "file says " << r.fileSaid << ", detection " << type;
      note += "file: " + (kFileDisagrees.count(name) ? kFileDisagrees.at(name) : "?");
    } else {
      EXPECT_EQ(kFileDisagrees.count(name), 0u) << "listed as disagreeing, but agrees";
    }
    table << name << " | " << type << " | " << script[name] << " | " << r.fileSaid.substr(0, 40) << " | " << note << "\n";
  }
  std::cout << table.str();
  // The packages the data holds cover every kind the script finds.
  for (const auto& [name, kind] : script) {
    if (kScriptDisagrees.count(name) == 0) {
      EXPECT_EQ(kinds.count(kind), 1u) << name;
    }
  }
}

}  // namespace
