// The conformance suite through the MSXML pull parser beside the own
// parser: the `next` stream from the root's start tag to its end tag
// (element names, attribute sets with values, joined text) and the tree a
// ZelDocument loads. Every difference must be a row of the reviewed table
// msxml_differences.tsv (document, reason), and every row a difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "dom_test_support.h"
#include "quarnel/msxml_parser.h"
#include "quarnel/xml_parser_impl.h"
#include "support.h"
#include "testsupport/testdata.h"
#include "xml_suite.h"
#include "xml_tree_text.h"

namespace {

namespace fs = std::filesystem;
using namespace dom_test;

using MsxmlCorpus = xml_suite::PeerCorpus;

std::string Name(ZelName ns, ZelName prefix, ZelName local) {
  std::string out = ns.isEmpty() ? "" : "{" + Utf8(ns.toString()) + "}";
  if (!prefix.isEmpty()) out += Utf8(prefix.toString()) + ":";
  return out + Utf8(local.toString());
}

// The root element's events by `next`, text joined; "error <code>" when
// reading throws.
std::string Stream(ZelXmlParser& parser) {
  std::string out, text;
  int depth = 0;
  try {
    for (int calls = 0; calls < 10000000; ++calls) {
      auto event = parser.next();
      if (event == ZelXmlParser::END_DOCUMENT) break;
      if (event == ZelXmlParser::TEXT) {
        if (depth > 0) text += Utf8(parser.getText());
        continue;
      }
      if (!text.empty()) out += "T:" + text + "\n";
      text.clear();
      if (event == ZelXmlParser::START_TAG) {
        ++depth;
        std::vector<std::string> attributes;
        for (int i = 0; i < parser.getAttributeCount(); ++i)
          attributes.push_back(Name(parser.getAttributeNamespace(i), ZelName(), parser.getAttributeName(i)) + "=" +
                               Utf8(parser.getAttributeValue(i)));
        std::sort(attributes.begin(), attributes.end());
        out += "<" + Name(parser.getNamespace(), parser.getPrefix(), parser.getName());
        for (const std::string& a : attributes) out += " " + a;
        out += ">\n";
      } else if (event == ZelXmlParser::END_TAG) {
        --depth;
        out += "</" + Name(parser.getNamespace(), parser.getPrefix(), parser.getName()) + ">\n";
      }
    }
  } catch (const ZelError& error) {
    char code[16];
    std::snprintf(code, sizeof code, "%X", error.getErrorCode());
    return std::string("error ") + code;
  }
  return out;
}

std::string Tree(const fs::path& path, ZelXmlParser* parser) {
  ZelDocument doc;
  if (parser != nullptr) doc.setParser(parser);
  // The suite's documents are built from the files beside them.
  doc.setExternalEntityLoading(true);
  Raised raised = Catch([&] { doc.load(UnicodeString::fromUTF8(path.string()), nullptr); });
  if (raised.code != -1) return "error " + std::to_string(raised.code);
  return xml_tree::DescribeTree(&doc, true, true);
}

// Whether the document names an external resource (by a relative system
// literal, which the stream form's copy in the temporary folder cannot
// reach; the stream form has no base URI).
bool NamesExternals(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // UTF-16 documents are looked at through their ASCII bytes.
  std::erase(text, '\0');
  return text.find("SYSTEM") != std::string::npos || text.find("PUBLIC") != std::string::npos;
}

std::map<std::string, std::string> ReadTable(const fs::path& file) {
  std::map<std::string, std::string> table;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab != std::string::npos) table[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return table;
}

TEST_F(MsxmlCorpus, SameEventsAndTreesAsTheOwnParser) {
  TESTDATA_OR_SKIP(xml, "xml");
  const std::set<std::string> reasons = {
      "the own parser's readings", "the CR rule", "libxml2 refuses",
      "libxml2 drops the xml prefix's declaration"};
  std::map<std::string, std::string> table = ReadTable(fs::path(QUARNEL_XML_TESTS_DIR) / "msxml_differences.tsv");
  for (const auto& [id, reason] : table) EXPECT_TRUE(reasons.count(reason)) << id << ": " << reason;
  std::vector<fs::path> documents = xml_suite::SuiteDocuments(xml);
  ASSERT_FALSE(documents.empty());
  for (const fs::path& japanese : xml_suite::JapaneseDocuments(xml))
    if (fs::exists(japanese)) documents.push_back(japanese);
  std::map<std::string, int> counts;
  std::set<std::string> differing;
  for (const fs::path& path : documents) {
    std::string id = fs::relative(path, xml / "xmlconf").string();
    UnicodeString name = UnicodeString::fromUTF8(path.string());
    // A document that cannot be opened at all reads as "error".
    auto read = [](ZelXmlParser& parser, const std::function<void(ZelXmlParser&)>& open) {
      try {
        open(parser);
        return Stream(parser);
      } catch (const ZelError&) {
        return std::string("error");
      }
    };
    auto byName = [&](ZelXmlParser& p) {
      p.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
      p.setInput(name, UnicodeString(), UnicodeString());
    };
    ZelPtr<ZelMSXmlParser> ms(new ZelMSXmlParser());
    const std::string expected = read(*ZelPtr<XmlParserImpl>(new XmlParserImpl()), byName);
    const std::string byUri = read(*ms, byName);
    std::ifstream file(path, std::ios::binary);
    const std::string byStream = read(*ms, [&](ZelXmlParser& p) {
      p.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
      p.setInput(file, UnicodeString(), UnicodeString());
    });
    if (byStream != byUri) {
      EXPECT_TRUE(NamesExternals(path)) << id << " differs by stream";
      ++counts["stream copy cannot reach relative externals"];
    }
    std::string ownTree = Tree(path, nullptr);
    std::string msTree = Tree(path, ZelPtr<ZelXmlParser>(new ZelMSXmlParser()).get());
    bool differs = byUri != expected || msTree != ownTree;
    auto row = table.find(id);
    if (differs) {
      differing.insert(id);
      if (row == table.end()) {
        ADD_FAILURE() << id << " differs without a row\n--- own\n" << expected << "--- msxml\n" << byUri;
        continue;
      }
      ++counts[row->second];
    } else {
      EXPECT_TRUE(row == table.end()) << id << " has a row but no difference";
      ++counts["alike"];
    }
  }
  for (const auto& [reason, count] : counts) std::printf("  %5d  %s\n", count, reason.c_str());
}

}  // namespace
