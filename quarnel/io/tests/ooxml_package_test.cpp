// Office Open XML packages: content types, relationships and the kind of
// the main document, on packages made with the tests' zip writer, and
// hostile packages that reach outside themselves or inflate without end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

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

std::string Package(const std::vector<Part>& parts, bool deflate = true) {
  testsupport::ZipWriter writer;
  for (const Part& p : parts) {
    ZipEntrySpec spec;
    spec.name = p.name;
    spec.data = p.data;
    spec.deflate = deflate;
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

struct EdgeCase {
  const char* what;
  std::vector<Part> parts;
  int type;
};

TEST(OoxmlPackage, EdgeCases) {
  const std::string rels = Rels(Rel("rId1", kOfficeDocument, "word/document.xml"));
  const std::vector<EdgeCase> cases = {
      {"main part named with a leading slash is looked up as written",
       {{"[Content_Types].xml", Types(Override("/word/document.xml", kDocx))},
        {"_rels/.rels", Rels(Rel("rId1", kOfficeDocument, "/word/document.xml"))},
        {"word/document.xml", "<d/>"}},
       0},
      {"no content-type part", {{"_rels/.rels", rels}, {"word/document.xml", "<d/>"}}, 0},
      {"no package relationships",
       {{"[Content_Types].xml", Types(Override("/word/document.xml", kDocx))}, {"word/document.xml", "<d/>"}},
       0},
      {"main part missing", {{"[Content_Types].xml", Types(Override("/word/document.xml", kDocx))}, {"_rels/.rels", rels}}, 0},
      {"Override without a leading slash",
       {{"[Content_Types].xml", Types(Override("word/document.xml", kDocx))}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}},
       1},
      {"Default written as xml",
       {{"[Content_Types].xml", Types(Default("xml", kDocx))}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}},
       1},
      {"Default written as .xml",
       {{"[Content_Types].xml", Types(Default(".xml", kDocx))}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}},
       1},
      {"Default of another extension",
       {{"[Content_Types].xml", Types(Default("XML", kDocx))}, {"_rels/.rels", rels}, {"word/document.xml", "<d/>"}},
       0},
      {"an Override wins over a Default",
       {{"[Content_Types].xml",
         Types(Default("xml", "application/xml") + Override("/word/document.xml", kDocx))},
        {"_rels/.rels", rels},
        {"word/document.xml", "<d/>"}},
       1},
      {"Strict relationship type",
       {{"[Content_Types].xml", Types(Override("/word/document.xml", kDocx))},
        {"_rels/.rels", Rels(Rel("rId1", "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
                                 "word/document.xml"))},
        {"word/document.xml", "<d/>"}},
       0},
      {"entry names are case-sensitive",
       {{"[Content_Types].xml", Types(Override("/word/document.xml", kDocx))},
        {"_rels/.rels", Rels(Rel("rId1", kOfficeDocument, "Word/Document.xml"))},
        {"word/document.xml", "<d/>"}},
       0},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DetectBytes(Package(c.parts)), c.type);
    EXPECT_EQ(DetectBytes(Package(c.parts, false)), c.type);
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

}  // namespace
