// A tree as one line of text, for comparing trees across a save and a load:
// elements with their namespace (and prefix when asked), their ordinary
// attributes in order, the namespace bindings they change (sorted; a
// declaration of what is already in force, or of the prefix xml, changes
// nothing), and adjacent text joined. Processing instructions are left out, as loading
// leaves them out. Walks with the loading accessors, so a tree still
// loading is read to its end.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "quarnel/dom.h"

namespace xml_tree {

using namespace ObraCommon;

inline std::string Utf8Of(const UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// Texts as the writer documents its changes: lone surrogates and
// U+FFFE/U+FFFF as U+FFFD (C0 controls it refuses).
inline UnicodeString AsWritten(const UnicodeString& text) {
  UnicodeString out;
  for (int i = 0; i < text.length(); ++i) {
    UChar u = text[i];
    if (U16_IS_LEAD(u) && i + 1 < text.length() && U16_IS_TRAIL(text[i + 1])) {
      out.append(u).append(text[++i]);
      continue;
    }
    if (U16_IS_SURROGATE(u) || u == 0xFFFE || u == 0xFFFF) u = 0xFFFD;
    out.append(u);
  }
  return out;
}

inline std::string DescribeTree(ZelNode* root, bool prefixes, bool asWritten = false) {
  const UnicodeString xmlnsNamespace(u"http://www.w3.org/2000/xmlns/");
  auto textOf = [&](const UnicodeString& text) { return Utf8Of(asWritten ? AsWritten(text) : text); };
  std::string out;
  std::string pendingText;
  // Bindings in force, one map per open element (the outermost empty).
  std::vector<std::map<std::string, std::string>> scopes(1);
  auto flushText = [&] {
    if (!pendingText.empty()) out += "T[" + pendingText + "]";
    pendingText.clear();
  };
  ZelNode* node = root->getFirstChild();
  ZelNode* parent = root;
  while (node != nullptr) {
    bool descend = false;
    if (node->getNodeType() == ELEMENT_NODE && !(node->isText() && node->getLocalName().toString() == u"#text")) {
      flushText();
      out += "<";
      if (prefixes && !node->getPrefix().isEmpty()) out += Utf8Of(node->getPrefix().toString()) + ":";
      out += Utf8Of(node->getLocalName().toString());
      if (!node->getNamespaceUri().isEmpty()) out += "{" + Utf8Of(node->getNamespaceUri().toString()) + "}";
      std::vector<std::string> declarations;
      if (ZelNamedNodeMap* attributes = node->getAttributes()) {
        for (ZelNode* attr = attributes->getFirstNode(); attr != nullptr; attr = attributes->getNextNode(attr)) {
          std::string value = textOf(attr->getNodeValue().toString());
          if (attr->getNamespaceUri().toString() == xmlnsNamespace) {
            declarations.push_back(Utf8Of(attr->getLocalName().toString()) + "=" + value);
            continue;
          }
          out += " ";
          if (prefixes && !attr->getPrefix().isEmpty()) out += Utf8Of(attr->getPrefix().toString()) + ":";
          out += Utf8Of(attr->getLocalName().toString());
          if (!attr->getNamespaceUri().isEmpty()) out += "{" + Utf8Of(attr->getNamespaceUri().toString()) + "}";
          out += "=\"" + value + "\"";
        }
      }
      std::map<std::string, std::string> scope = scopes.back();
      std::vector<std::string> changes;
      for (const std::string& d : declarations) {
        std::string prefix = d.substr(0, d.find('=')), uri = d.substr(d.find('=') + 1);
        if (prefix == "xml" || scope[prefix] == uri) continue;
        scope[prefix] = uri;
        changes.push_back(d);
      }
      if (prefixes && !changes.empty()) {
        std::sort(changes.begin(), changes.end());
        out += " ns[";
        for (const std::string& d : changes) out += d + ";";
        out += "]";
      }
      out += ">";
      descend = true;
      scopes.push_back(scope);
    } else if (node->getNodeType() == TEXT_NODE ||
               (node->getNodeType() == ELEMENT_NODE && node->isText())) {
      pendingText += textOf(node->getText());
    }
    ZelNode* child = descend ? node->getFirstChild() : nullptr;
    if (child != nullptr) {
      parent = node;
      node = child;
      continue;
    }
    if (descend) {
      flushText();
      out += "</>";
      scopes.pop_back();
    }
    for (;;) {
      ZelNode* next = node->getNextSibling();
      if (next != nullptr) {
        node = next;
        break;
      }
      if (parent == root || parent == nullptr) {
        node = nullptr;
        break;
      }
      flushText();
      out += "</>";
      scopes.pop_back();
      node = parent;
      parent = node->getParentNode();
    }
  }
  flushText();
  return out;
}

}  // namespace xml_tree
