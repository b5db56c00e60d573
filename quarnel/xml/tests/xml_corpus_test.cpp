// The W3C conformance suite's not-well-formed standalone documents without
// a document type declaration: each is rejected, except the few the
// parser's rules let pass, listed with the rule that does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/testdata.h"
#include "xml_test_support.h"

namespace {

using namespace xml_test;
namespace fs = std::filesystem;

// Documents the parser accepts, and why.
const std::map<std::string, std::string> kAccepted = {
    {"003.xml", "a processing instruction's target is read, not required"},
    {"037.xml", "a reference outside the root element is a token like any other; only text reports top-level content"},
    {"048.xml", "a CDATA section outside the root element is not checked for depth"},
    {"051.xml", "a CDATA section outside the root element is not checked for depth"},
    {"052.xml", "a reference outside the root element is not checked for depth"},
    {"072.xml", "an undeclared entity is a warning (0x1E1E), which is not thrown"},
    {"076.xml", "an undeclared entity in an attribute value is a warning (0x1E1E)"},
    {"101.xml", "encoding names are trimmed before they are compared (\" UTF-8\" is UTF-8)"},
    {"105.xml", "a CDATA section outside the root element is not checked for depth"},
    {"106.xml", "a reference outside the root element is not checked for depth"},
    {"168.xml", "an encoded surrogate decodes to U+FFFD, which is a character"},
    {"169.xml", "an encoded surrogate decodes to U+FFFD, which is a character"},
    {"170.xml", "a value above U+10FFFF decodes to U+FFFD, which is a character"},
};

// The first fatal error, or an empty text when the document was read to
// its end without one.
std::string FirstError(const fs::path& file, int& events) {
  std::ifstream in(file, std::ios::binary);
  XmlParserImpl parser;
  events = 0;
  try {
    parser.setInput(in, UnicodeString(), UnicodeString());
    while (parser.next() != ZelXmlParser::END_DOCUMENT)
      if (++events > 100000) return "no end";
  } catch (const ZelError& error) {
    char code[8];
    std::snprintf(code, sizeof code, "%X", error.getErrorCode());
    return code;
  }
  return "";
}

TEST(XmlCorpus, NotWellFormedDocumentsAreRejected) {
  TESTDATA_OR_SKIP(dir, "xml/xmlconf/xmltest/not-wf/sa");
  std::set<std::string> accepted;
  int documents = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".xml") continue;
    if (testsupport::ReadFile(entry.path()).find("<!DOCTYPE") != std::string::npos) continue;
    ++documents;
    int events = 0;
    const std::string error = FirstError(entry.path(), events);
    ASSERT_NE(error, "no end") << entry.path();
    const std::string name = entry.path().filename().string();
    if (error.empty()) accepted.insert(name);
    else EXPECT_EQ(kAccepted.count(name), 0u) << name << " is rejected (" << error << ") but listed as accepted";
  }
  EXPECT_GT(documents, 0);
  for (const std::string& name : accepted)
    EXPECT_EQ(kAccepted.count(name), 1u) << name << " is accepted but not on the reviewed list";
}

// Cases that once looped, grew the input without end or read a file as
// an attribute value: each now ends with its report.
TEST(XmlCorpus, EntityCasesEndWithTheirReports) {
  TESTDATA_OR_SKIP(dir, "xml/xmlconf/xmltest/not-wf");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sa/071.xml", "183A"}, {"sa/075.xml", "183A"}, {"sa/081.xml", "183D"}, {"ext-sa/001.xml", "183A"},
      // An attribute-list default referencing an external entity.
      {"sa/082.xml", "183D"},
  };
  for (const auto& [name, code] : cases) {
    XmlParserImpl parser;
    parser.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
    std::string error;
    try {
      parser.setInput(U("file://" + (dir / name).string()), UnicodeString(), UnicodeString());
      for (int events = 0; parser.next() != ZelXmlParser::END_DOCUMENT; ++events) ASSERT_LT(events, 100) << name;
    } catch (const ZelError& thrown) {
      char text[8];
      std::snprintf(text, sizeof text, "%X", thrown.getErrorCode());
      error = text;
    }
    EXPECT_EQ(error, code) << name;
  }
}

}  // namespace
