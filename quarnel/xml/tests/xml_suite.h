// The conformance suite's documents that the XML tests read: the
// catalogue's valid and invalid XML 1.0 documents and the Japanese ones.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support.h"

namespace xml_suite {

namespace fs = std::filesystem;

// libxml2 is a peer of these tests: its complaints are of no interest.
inline void Quiet(void*, const char*, ...) {}

// The engine started and libxml2 kept quiet.
class PeerCorpus : public quarnel_test::EngineStarted {
 protected:
  void SetUp() override {
    EngineStarted::SetUp();
    xmlSetGenericErrorFunc(nullptr, Quiet);
  }
  void TearDown() override {
    xmlSetGenericErrorFunc(nullptr, nullptr);
    EngineStarted::TearDown();
  }
};

inline std::string Attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string out = value != nullptr ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return out;
}

inline bool HasAttribute(xmlNode* node, const char* name) {
  return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

// The catalogue's valid and invalid XML 1.0 documents in namespace-aware
// form, of the fifth edition or of every edition.
inline std::vector<fs::path> SuiteDocuments(const fs::path& xml) {
  std::vector<fs::path> out;
  xmlDoc* doc = xmlReadFile((xml / "xmlconf-cleaned" / "xmlconf-flattened.xml").c_str(), nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return out;
  std::vector<xmlNode*> stack{xmlDocGetRootElement(doc)};
  while (!stack.empty()) {
    xmlNode* node = stack.back();
    stack.pop_back();
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
      if (child->type == XML_ELEMENT_NODE) stack.push_back(child);
    if (std::string(reinterpret_cast<const char*>(node->name)) != "TEST") continue;
    std::string type = Attribute(node, "TYPE");
    if (type != "valid" && type != "invalid") continue;
    if (Attribute(node, "RECOMMENDATION") == "XML1.1" || Attribute(node, "VERSION") == "1.1") continue;
    if (Attribute(node, "NAMESPACE") == "no") continue;
    if (HasAttribute(node, "EDITION") && Attribute(node, "EDITION").find('5') == std::string::npos) continue;
    std::string base;
    for (xmlNode* up = node; up != nullptr && up->type == XML_ELEMENT_NODE; up = up->parent) {
      xmlChar* value = xmlGetNsProp(up, reinterpret_cast<const xmlChar*>("base"), XML_XML_NAMESPACE);
      if (value != nullptr) base = std::string(reinterpret_cast<const char*>(value)) + base;
      xmlFree(value);
    }
    out.push_back(xml / "xmlconf" / (base + Attribute(node, "URI")));
  }
  xmlFreeDoc(doc);
  return out;
}

inline std::vector<fs::path> JapaneseDocuments(const fs::path& xml) {
  std::vector<fs::path> out;
  for (const char* encoding : {"shift_jis", "euc-jp", "iso-2022-jp"})
    for (const char* name : {"pr-xml-", "weekly-"}) out.push_back(xml / "xmlconf" / "japanese" / (std::string(name) + encoding + ".xml"));
  return out;
}

}  // namespace xml_suite
