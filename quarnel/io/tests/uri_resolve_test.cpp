// ZelUri's text algorithms: resolving references, local paths, the pieces
// of a URI, relative references and data: URI headers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/shared_strings.h"
#include "quarnel/uri.h"
#include "quarnel/util.h"
#include "support.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelDataUri;
using ObraCommon::ZelUri;
using quarnel_test::Utf8;

UnicodeString U(const char* text) { return UnicodeString::fromUTF8(text); }

std::string Resolve(const char* base, const char* ref) {
  return Utf8(ZelUri(ZelUri(U(base), ZelUri::URISTR_CSS_URI), U(ref), ZelUri::URISTR_CSS_URI).toString());
}

// The references of RFC 3986 5.4.1 and 5.4.2 against its base. Where this
// class keeps dot segments inside a reference, reads a one-letter scheme as
// a drive, reads "//" as a file host or drops the base's query, the row says
// so; the other rows give the RFC's result.
TEST(UriResolve, Rfc3986Examples) {
  struct Case {
    const char* ref;
    const char* result;
    const char* differs;  // why this row differs from RFC 3986, or null
  };
  const Case cases[] = {
      {"g:h", "file:///g:h", "a letter and \":\" is a drive"},
      {"g", "http://a/b/c/g", nullptr},
      {"./g", "http://a/b/c/g", nullptr},
      {"g/", "http://a/b/c/g/", nullptr},
      {"/g", "http://a/g", nullptr},
      {"//g", "file://g", "\"//\" names a file host"},
      {"?y", "http://a/b/c/?y", "the base's query and last segment go"},
      {"g?y", "http://a/b/c/g?y", nullptr},
      {"#s", "http://a/b/c/#s", "a fragment is not kept apart"},
      {"g#s", "http://a/b/c/g#s", nullptr},
      {"g?y#s", "http://a/b/c/g?y#s", nullptr},
      {";x", "http://a/b/c/;x", nullptr},
      {"g;x", "http://a/b/c/g;x", nullptr},
      {"g;x?y#s", "http://a/b/c/g;x?y#s", nullptr},
      {"", "", "an empty reference is empty"},
      {".", "http://a/b/c/", nullptr},
      {"./", "http://a/b/c/", nullptr},
      {"..", "http://a/b/", nullptr},
      {"../", "http://a/b/", nullptr},
      {"../g", "http://a/b/g", nullptr},
      {"../..", "http://a/b/..", "only leading \"../\" climbs"},
      {"../../", "http://a/", nullptr},
      {"../../g", "http://a/g", nullptr},
      {"../../../g", "http://a/g", nullptr},
      {"../../../../g", "http://a/g", nullptr},
      {"/./g", "http://a/./g", "inner dot segments stay"},
      {"/../g", "http://a/../g", "inner dot segments stay"},
      {"g.", "http://a/b/c/g.", nullptr},
      {".g", "http://a/b/c/.g", nullptr},
      {"g..", "http://a/b/c/g..", nullptr},
      {"..g", "http://a/b/c/..g", nullptr},
      {"./../g", "http://a/b/g", nullptr},
      {"./g/.", "http://a/b/c/g/.", "inner dot segments stay"},
      {"g/./h", "http://a/b/c/g/./h", "inner dot segments stay"},
      {"g/../h", "http://a/b/c/g/../h", "inner dot segments stay"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/./y", "inner dot segments stay"},
      {"g;x=1/../y", "http://a/b/c/g;x=1/../y", "inner dot segments stay"},
      {"g?y/./x", "http://a/b/c/g?y/./x", nullptr},
      {"g?y/../x", "http://a/b/c/g?y/../x", nullptr},
      {"g#s/./x", "http://a/b/c/g#s/./x", nullptr},
      {"g#s/../x", "http://a/b/c/g#s/../x", nullptr},
      {"http:g", "http:g", nullptr},
  };
  int agreeing = 0, marked = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(Resolve("http://a/b/c/d;p?q", c.ref), c.result) << c.ref;
    ++(c.differs != nullptr ? marked : agreeing);
  }
  EXPECT_EQ(agreeing, 29);
  EXPECT_EQ(marked, 13);
}

TEST(UriResolve, BasesOfEveryKind) {
  struct Case {
    const char* base;
    const char* ref;
    const char* result;
  };
  const Case cases[] = {
      {"C:\\a\\b\\c.xml", "../x.xml", "file:///C:/a/x.xml"},
      {"C:\\a\\b\\c.xml", "/x.xml", "file:///C:/x.xml"},
      {"C:\\a.xml", "../../../x.xml", "file:///C:/x.xml"},
      {"./", "x.xml", "x.xml"},
      {"", "x.xml", "x.xml"},
      {"anything", "", ""},
      {"HTTP://h/a/b?q=1/2", "c", "http://h/a/c"},
      {"https://h/a/b", "http://o/x", "http://o/x"},
      {"http://h/a", "file:/C:/x.xml", "file:///C:/x.xml"},
      {"http://h/a", "file://C:/x.xml", "file:///C:/x.xml"},
      {"file:///C:/d/e.xml", "file:a.xml", "file:///C:/d/a.xml"},
      {"file:///usr/share/a.xml", "file:/usr/x", "file:///usr/x"},
      {"file:///usr/share/a.xml", "../../../../x", "file:///x"},
      {"file://localhost/usr/share/a.xml", "b.xml", "file:///usr/share/b.xml"},
      {"/home/u/a b.xml", "c d.xml", "file:///home/u/c%20d.xml"},
      {"jar:file:///p.zip!/word/document.xml", "../../../x.xml", "jar:file:///p.zip!/x.xml"},
      {"jar:file:///p.zip!/word/document.xml", "media/i.png", "jar:file:///p.zip!/word/media/i.png"},
      {"file:///p/a.xml", "jar:b.zip!/c", "jar:file:///p/b.zip!/c"},
      {"file:///a/b/../", "x", "file:///a/x"},
      {"file:///a/b/c/.", "x", "file:///a/b/c/x"},
      {"file:///a/b\\c", "x y", "file:///a/b/x%20y"},
      // A relative base cannot be climbed past: what is left is the
      // reference alone.
      {"word/document.xml", "../customXml/item1.xml", "customXml/item1.xml"},
      {"word/document.xml", "/word/media/x.png", "word/media/x.png"},
      {"word/_rels/document.xml.rels", "../media/a.png", "word/media/a.png"},
      {"ppt/slides/slide1.xml", "../slideLayouts/slideLayout1.xml", "ppt/slideLayouts/slideLayout1.xml"},
      {"a/b", "../../../x", "x"},
      {"a/b", "..", ""},
      {"FixedDocumentSequence.fdseq", "/Metadata/Job_PT.xml", "Metadata/Job_PT.xml"},
      {"a", "../x", "x"},
      {"a", "x", "x"},
      {"urn:a", "../x", "../x"},
  };
  for (const Case& c : cases) EXPECT_EQ(Resolve(c.base, c.ref), c.result) << c.base << " + " << c.ref;
}

TEST(UriResolve, LocalPaths) {
  struct Case {
    const char* text;
    const char* path;
  };
  const Case cases[] = {
      {"file:///usr/x", "/usr/x"},
      {"file://localhost/usr/x", "/usr/x"},
      {"file:/usr/x", "/usr/x"},
      {"FILE:///usr/x", "/usr/x"},
      {"file:///C:/a%20b.xml", "C:/a b.xml"},
      {"file://srv/share/a.xml", "//srv/share/a.xml"},
      {"file:////srv/share/a.xml", "//srv/share/a.xml"},
      {"a%41.xml", "aA.xml"},
      {"file:///tmp/%C3%A9t%C3%A9", "/tmp/\u00e9t\u00e9"},
      {"file:///tmp/%E9%41", "/tmp/\u00e9A"},
      {"file:///tmp/%C3", "/tmp/\u00c3"},
      {"file:///tmp/%F0%9F%98%80!", "/tmp/\U0001F600!"},
      {"file:///tmp/100%", "/tmp/100%"},
      // RFC 8089 Appendix B and E.2.
      {"file:///path/to/file", "/path/to/file"},
      {"file:/path/to/file", "/path/to/file"},
      {"file://host.example.com/path/to/file", "//host.example.com/path/to/file"},
      {"file:c:/path/to/file", "c:/path/to/file"},
      {"file:/c:/path/to/file", "c:/path/to/file"},
      {"file:///c:/path/to/file", "c:/path/to/file"},
      // "|" is no drive mark here; the other host stays a host, which
      // opening refuses.
      {"file:///c|/path/to/file", "/c|/path/to/file"},
      {"file://///host.example.com/path/to/file", "///host.example.com/path/to/file"},
      {"jar:file:///a.zip!/b", "jar:file:///a.zip!/b"},
      {"http://h/a%20b", "http://h/a%20b"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8(ZelUri(U(c.text), ZelUri::URISTR_AUTO).getLocalPath()), c.path) << c.text;
  // A path holding "%" and two hex digits does not come back from its URI.
  EXPECT_EQ(Utf8(ZelUri(U("/tmp/a%41"), ZelUri::URISTR_AUTO).getLocalPath()), "/tmp/aA");
}

TEST(UriResolve, PiecesAndTests) {
  ZelUri win(U("C:\\dir\\a b.xml"), ZelUri::URISTR_AUTO);
  EXPECT_EQ(Utf8(win.toString()), "file:///C:/dir/a%20b.xml");
  EXPECT_EQ(Utf8(win.getLocalPath()), "C:/dir/a b.xml");
  EXPECT_EQ(Utf8(win.getBaseString()), "C:/dir/");
  EXPECT_EQ(Utf8(win.getFileName()), "a%20b.xml");
  EXPECT_EQ(Utf8(ZelUri(U("/home/u/a b.xml"), ZelUri::URISTR_AUTO).getBaseString()), "/home/u/");
  EXPECT_EQ(Utf8(ZelUri(U("x.xml"), ZelUri::URISTR_AUTO).getBaseString()), "./");
  struct Case {
    const char* text;
    const char* scheme;
    const char* extension;
    const char* flags;  // a absolute, f file, d data, j jar
  };
  const Case cases[] = {
      {"x.tar.gz", "", ".gz", "f"},
      {"a/b.c/d", "", "", "f"},
      {"http://h/a/", "http", "", "a"},
      {"data:text/plain,a.b", "data", "", "ad"},
      {"C:/x", "file", "", "af"},
      {"ab:x", "ab", "", "a"},
      {"FILE:x", "FILE", "", "af"},
      {"JAR:file:///a.zip!/b.xml", "JAR", ".xml", "aj"},
      {"1a:x", "", "", "f"},
  };
  for (const Case& c : cases) {
    ZelUri uri;
    uri = ZelUri(U(c.text), ZelUri::URISTR_URI);
    std::string flags = c.flags;
    EXPECT_EQ(Utf8(uri.getScheme()), c.scheme) << c.text;
    EXPECT_EQ(Utf8(uri.getExtension()), c.extension) << c.text;
    EXPECT_EQ(uri.isAbsolute(), flags.find('a') != std::string::npos) << c.text;
    EXPECT_EQ(uri.isFile(), flags.find('f') != std::string::npos) << c.text;
    EXPECT_EQ(uri.isDataScheme(), flags.find('d') != std::string::npos) << c.text;
    EXPECT_EQ(uri.isJarScheme(), flags.find('j') != std::string::npos) << c.text;
  }

  ZelUri pdf(U("file:///C:/a.xml"), ZelUri::URISTR_AUTO);
  EXPECT_EQ(Utf8(pdf.setExtension(U(".pdf"))), ".xml");
  EXPECT_EQ(Utf8(pdf.toString()), "file:///C:/a.pdf");
  EXPECT_EQ(Utf8(pdf.setExtension(nullptr)), ".pdf");
  EXPECT_EQ(Utf8(pdf.toString()), "file:///C:/a");
  ZelUri dir(U("http://h/d/"), ZelUri::URISTR_AUTO);
  EXPECT_TRUE(dir.setExtension(U(".x")).isBogus());
  EXPECT_EQ(Utf8(dir.toString()), "http://h/d/");
  EXPECT_EQ(Utf8(dir.toDirectory()), "http://h/d/");
  EXPECT_EQ(Utf8(pdf.toDirectory()), "file:///C:/a/");
  UnicodeString path = U("a\\");
  EXPECT_EQ(Utf8(ZelUri::toDirectory(path, u'\\')), "a\\");
  EXPECT_EQ(Utf8(ZelUri::toDirectory(path, u'/')), "a\\/");

  ZelUri fragment(U("http://h/a#b#c"), ZelUri::URISTR_AUTO);
  EXPECT_EQ(Utf8(fragment.removeFragment()), "#b#c");
  EXPECT_EQ(Utf8(fragment.toString()), "http://h/a");
  EXPECT_TRUE(fragment.removeFragment().isEmpty());

  EXPECT_TRUE(ZelUri(U("/a/b"), ZelUri::URISTR_AUTO).isSameFile(ZelUri(U("file:/a/b"), ZelUri::URISTR_AUTO)));
  EXPECT_FALSE(ZelUri(U("/a/b"), ZelUri::URISTR_AUTO).isSameFile(ZelUri(U("/a/B"), ZelUri::URISTR_AUTO)));
  EXPECT_FALSE(ZelUri(U("http://h/a"), ZelUri::URISTR_AUTO).isSameFile(ZelUri(U("http://h/a"), ZelUri::URISTR_AUTO)));
}

TEST(UriResolve, RelativeReferences) {
  struct Case {
    const char* uri;
    const char* base;
    const char* relative;
  };
  const Case cases[] = {
      {"file:///C:/a/b/c.xml", "file:///C:/a/d/e.xml", "../b/c.xml"},
      {"file:///C:/a/b/c.xml", "file:///C:/a/b/e.xml", "c.xml"},
      {"file:///C:/a/b/c.xml", "file:///C:/a/b/x/y/e.xml", "../../c.xml"},
      {"http://h/a/b/c", "ftp://o/x", ""},
      {"c.xml", "file:///a/b", ""},
      {"", "file:///a/b", ""},
      {"file:///a/b", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Utf8(ZelUri(U(c.uri), ZelUri::URISTR_AUTO).getRelativeUri(U(c.base))), c.relative)
        << c.uri << " from " << c.base;
}

TEST(UriResolve, DataUriHeaders) {
  struct Case {
    const char* text;
    int dataPos;
    bool base64;
    const char* mediaType;
    int page;
  };
  const Case cases[] = {
      {"data:,abc", 6, false, "", 0},
      {"DATA:,abc", -1, false, "", 0},
      {"data:text/plain,abc", 16, false, "text/plain", 0},
      {"data:image/png;page=2;base64,AAA", 29, true, "image/png", 2},
      {"data:image/png;page=x;base64,AAA", 29, true, "image/png", 0},
      {"data:image/png;base64", -1, true, "image/png", 0},
      {"data:text", -1, false, "", 0},
      {"http://h/a", -1, false, "", 0},
      // RFC 2397's examples; a charset parameter marks base64 here.
      {"data:text/plain;charset=iso-8859-7,%be%fg%be", 35, true, "text/plain", 0},
      {"data:;charset=utf-8,x", 20, true, "", 0},
      {"data:,A%20brief%20note", 6, false, "", 0},
      {"data:application/vnd-xxx-query,select_vcount,fcol_from_fieldtable/local", 31, false,
       "application/vnd-xxx-query", 0},
      {"data:image/gif;base64,R0lGODdhMAAwAPAAAAAAAP", 22, true, "image/gif", 0},
  };
  for (const Case& c : cases) {
    ZelDataUri uri(U(c.text), ZelUri::URISTR_AUTO);
    ZelDataUri copy = uri;
    EXPECT_EQ(copy.getDataPos(), c.dataPos) << c.text;
    EXPECT_EQ(copy.isBase64(), c.base64) << c.text;
    EXPECT_EQ(Utf8(copy.getMediaType()), c.mediaType) << c.text;
    EXPECT_EQ(copy.getPageNumber(), c.page) << c.text;
  }
  ZelDataUri unescaped(U("data:text/plain,%41%be"), ZelUri::URISTR_AUTO);
  EXPECT_EQ(Utf8(unescaped.toString()), "data:text/plain,A\u00be");
  // What the base64 encoder writes reads back.
  std::istringstream bytes("some bytes");
  UnicodeString written = ObraCommon::ZelUtil::encodeBase64(bytes, 10, U("image/png"), U("page=3"));
  ZelDataUri encoded(written, ZelUri::URISTR_CSS_URI);
  EXPECT_EQ(Utf8(encoded.getMediaType()), "image/png");
  EXPECT_TRUE(encoded.isBase64());
  EXPECT_EQ(encoded.getPageNumber(), 3);
  EXPECT_EQ(Utf8(UnicodeString(written, encoded.getDataPos())), "c29tZSBieXRlcw==");
  ZelDataUri resolved(ZelUri(U("http://h/a"), ZelUri::URISTR_AUTO), U("data:,x"), ZelUri::URISTR_AUTO);
  EXPECT_EQ(resolved.getDataPos(), 6);
}

}  // namespace

namespace {

// Every internal relationship target of the packages in the detect folder,
// resolved against the name of its source part, names an entry of that
// package. The targets are listed by package_relationships.py.
TEST(UriResolveCorpus, RelationshipTargetsNameEntries) {
  TESTDATA_OR_SKIP(dir, "detect");
  std::string command =
      "python3 '" + std::string(std::getenv("PROJECT_SOURCE_DIR")) + "/quarnel/io/tests/package_relationships.py'";
  for (const testsupport::IndexRow& row : testsupport::ReadIndex(dir)) command += " '" + (dir / row.at("file")).string() + "'";
  std::string listing;
  ASSERT_TRUE(quarnel_test::RunCommand(command, listing));
  std::set<std::pair<std::string, std::string>> entries;
  std::vector<std::vector<std::string>> relationships;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() == 3 && cells[0] == "E") entries.insert({cells[1], cells[2]});
    if (cells.size() == 4 && cells[0] == "R") relationships.push_back(cells);
  }
  ASSERT_FALSE(relationships.empty());
  for (const auto& r : relationships) {
    ZelUri part(U(r[2].c_str()), ZelUri::URISTR_CSS_URI);
    std::string resolved = Utf8(ZelUri::unescape(ZelUri(part, U(r[3].c_str()), ZelUri::URISTR_CSS_URI).toString()));
    EXPECT_EQ(entries.count({r[1], resolved}), 1u) << r[1] << ": " << r[2] << " + " << r[3] << " = " << resolved;
  }
}

}  // namespace
