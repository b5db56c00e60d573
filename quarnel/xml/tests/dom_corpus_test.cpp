// Real documents through loading and saving: the conformance suite's valid
// and invalid XML 1.0 documents and its Japanese ones saved in UTF-8 and
// Shift_JIS and loaded again, every character of Windows-31J saved as
// Shift_JIS, and the root names libxml2 finds. Counts come from the
// catalogue and the files present.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "dom_test_support.h"
#include "support.h"
#include "testsupport/testdata.h"
#include "xml_suite.h"
#include "xml_tree_text.h"

namespace {

namespace fs = std::filesystem;
using namespace dom_test;
using xml_tree::DescribeTree;
using xml_suite::JapaneseDocuments;
using xml_suite::SuiteDocuments;

using DomCorpus = xml_suite::PeerCorpus;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(DomCorpus, SuiteDocumentsSaveAndLoadIntoTheSameTree) {
  TESTDATA_OR_SKIP(xml, "xml");
  std::vector<fs::path> documents = SuiteDocuments(xml);
  ASSERT_FALSE(documents.empty());
  for (const fs::path& japanese : JapaneseDocuments(xml))
    if (fs::exists(japanese)) documents.push_back(japanese);
  std::map<std::string, int> counts;
  for (const fs::path& path : documents) {
    std::string name = path.string();
    ZelDocument doc;
    Raised loaded = Catch([&] { doc.load(UnicodeString::fromUTF8(name), nullptr); });
    if (loaded.code != -1) {
      ++counts["refused by the own parser: " + loaded.message.substr(0, loaded.message.find('\n'))];
      continue;
    }
    std::string expected = DescribeTree(&doc, true, true);

    ZelDocument pulled;
    pulled.setPullMode(true);
    pulled.load(UnicodeString::fromUTF8(name), nullptr);
    EXPECT_FALSE(pulled.hasChildNodesFast()) << name;
    ZelNode* first = pulled.getFirstChild();
    ASSERT_NE(first, nullptr) << name;
    EXPECT_EQ(pulled.getLastChildFast(), first) << name;
    EXPECT_FALSE(first->hasChildNodesFast()) << name;
    EXPECT_EQ(DescribeTree(&pulled, true), DescribeTree(&doc, true)) << name;

    for (const char* encoding : {"UTF-8", "SHIFT_JIS"}) {
      std::ostringstream out;
      Raised saved = Catch([&] { doc.save(out, nullptr, UnicodeString::fromUTF8(encoding)); });
      if (saved.code == 2065) {
        ++counts[std::string("names Shift_JIS cannot hold (2065)")];
        continue;
      }
      ASSERT_EQ(saved.code, -1) << name << " " << encoding << " " << saved.message;
      ZelDocument back;
      std::istringstream in(out.str());
      Raised reloaded = Catch([&] { back.load(in, nullptr); });
      ASSERT_EQ(reloaded.code, -1) << name << " " << encoding << " " << reloaded.message;
      EXPECT_EQ(DescribeTree(&back, true), expected) << name << " " << encoding;
    }
    ++counts["saved and loaded again"];
  }
  for (const auto& [reason, count] : counts) std::printf("  %5d  %s\n", count, reason.c_str());
  EXPECT_EQ(counts.count("saved and loaded again"), 1u);
}

TEST_F(DomCorpus, EveryWindows31JCharacterAsShiftJis) {
  TESTDATA_OR_SKIP(charsets, "charsets");
  fs::path file = charsets / "WINDOWS-31J.all.utf8.txt";
  if (!fs::exists(file)) GTEST_SKIP() << file << " is missing";
  UnicodeString all = UnicodeString::fromUTF8(ReadFile(file));
  ZelDocument doc;
  ZelPtr<ZelElement> root = doc.createElement(Nm("r"));
  doc.appendChild(root.get());
  root->appendChild(doc.createTextNode(all).get());
  int lines = 0;
  for (int32_t start = 0; start < all.length();) {
    int32_t end = all.indexOf(u'\n', start);
    if (end < 0) end = all.length();
    ZelPtr<ZelElement> line = doc.createElement(Nm("l"));
    line->setAttribute(Nm("v"), ZelValue(UnicodeString(all, start, end - start)));
    root->appendChild(line.get());
    ++lines;
    start = end + 1;
  }
  std::ostringstream shiftJis, utf8;
  doc.save(shiftJis, nullptr, u"SHIFT_JIS");
  doc.save(utf8, nullptr, u"UTF-8");
  EXPECT_EQ(shiftJis.str().find("&#"), std::string::npos);

  fs::path written = testsupport::TempDir() / "windows-31j.xml";
  std::ofstream(written, std::ios::binary) << shiftJis.str();
  std::string decoded;
  ASSERT_TRUE(quarnel_test::RunCommand("iconv -f CP932 -t UTF-8 '" + written.string() + "'", decoded));
  std::string expected = utf8.str();
  expected.replace(expected.find("UTF-8"), 5, "SHIFT_JIS");
  EXPECT_TRUE(decoded == expected) << "iconv reads the Shift_JIS output otherwise";

  ZelDocument back;
  std::istringstream in(shiftJis.str());
  back.load(in, nullptr);
  EXPECT_EQ(DescribeTree(&back, false), DescribeTree(&doc, false));
  EXPECT_GT(lines, 1);
}

// The root's namespace and local name as libxml2 reads them; false when it
// refuses the document.
bool LibxmlRoot(const fs::path& path, std::string& root) {
  xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  xmlNode* element = xmlDocGetRootElement(doc);
  root.clear();
  if (element != nullptr) {
    if (element->ns != nullptr && element->ns->href != nullptr) root = reinterpret_cast<const char*>(element->ns->href);
    root += "|" + std::string(reinterpret_cast<const char*>(element->name));
  }
  xmlFreeDoc(doc);
  return true;
}

TEST_F(DomCorpus, RootNamesAgreeWithLibxml) {
  TESTDATA_OR_SKIP(detect, "detect");
  TESTDATA_OR_SKIP(xml, "xml");
  std::vector<fs::path> documents;
  for (const auto& entry : fs::directory_iterator(detect))
    if (entry.path().extension() == ".xml") documents.push_back(entry.path());
  for (const fs::path& path : SuiteDocuments(xml)) documents.push_back(path);
  std::map<std::string, int> counts;
  for (const fs::path& path : documents) {
    std::string peer;
    if (!LibxmlRoot(path, peer)) {
      ++counts["refused by libxml2"];
      continue;
    }
    ZelName local;
    ZelName ns;
    Raised raised = Catch([&] { ns = ZelXmlUtil::getRootName(local, UnicodeString::fromUTF8(path.string())); });
    if (raised.code != -1) {
      ++counts["refused by the own parser"];
      continue;
    }
    std::string own = local.isEmpty() ? "" : Utf8(ns.toString()) + "|" + Utf8(local.toString());
    // A root "svg" or "chart" without a default namespace gets its
    // vocabulary's namespace.
    std::string bare = peer.substr(0, peer.find('|'));
    std::string name = peer.substr(peer.find('|') + 1);
    if (own != peer && bare.empty() && (name == "svg" || name == "chart")) {
      ++counts["svg or chart default"];
      continue;
    }
    EXPECT_EQ(own, peer) << path;
    ++counts["agree"];
  }
  for (const auto& [reason, count] : counts) std::printf("  %5d  %s\n", count, reason.c_str());
}

}  // namespace
