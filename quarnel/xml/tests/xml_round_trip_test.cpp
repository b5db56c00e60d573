// Random trees built through the document's factories, saved as UTF-8 and
// as Shift_JIS, and read back by the own parser, libxml2 and expat: every
// reader accepts every output and finds the names, attributes and text of
// the source, less the writer's documented changes.
#include <expat.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dom_test_support.h"
#include "support.h"
#include "xml_tree_text.h"

namespace {

using namespace dom_test;
using xml_tree::DescribeTree;

// The description DescribeTree gives without prefixes, from libxml2's tree.
void DescribeLibxml(xmlNode* node, std::string& out, std::string& text) {
  auto flush = [&] {
    if (!text.empty()) out += "T[" + text + "]";
    text.clear();
  };
  for (; node != nullptr; node = node->next) {
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      text += reinterpret_cast<const char*>(node->content);
      continue;
    }
    if (node->type != XML_ELEMENT_NODE) continue;
    flush();
    out += "<" + std::string(reinterpret_cast<const char*>(node->name));
    if (node->ns != nullptr && node->ns->href != nullptr && node->ns->href[0] != 0)
      out += "{" + std::string(reinterpret_cast<const char*>(node->ns->href)) + "}";
    for (xmlAttr* attr = node->properties; attr != nullptr; attr = attr->next) {
      out += " " + std::string(reinterpret_cast<const char*>(attr->name));
      if (attr->ns != nullptr) out += "{" + std::string(reinterpret_cast<const char*>(attr->ns->href)) + "}";
      xmlChar* value = xmlNodeListGetString(node->doc, attr->children, 1);
      out += "=\"" + std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "") + "\"";
      xmlFree(value);
    }
    out += ">";
    DescribeLibxml(node->children, out, text);
    flush();
    out += "</>";
  }
}

bool ReadWithLibxml(const std::string& bytes, const char* encoding, std::string& tree) {
  xmlDoc* doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  std::string text;
  tree.clear();
  DescribeLibxml(doc->children, tree, text);
  if (!text.empty()) tree += "T[" + text + "]";
  xmlFreeDoc(doc);
  return true;
}

struct ExpatState {
  std::string out;
  std::string text;
  void flush() {
    if (!text.empty()) out += "T[" + text + "]";
    text.clear();
  }
};

// Expat's namespace names: "uri\x01local", or the local name alone.
std::string ExpatName(const char* name) {
  std::string full(name);
  size_t cut = full.find('\x01');
  return cut == std::string::npos ? full : full.substr(cut + 1) + "{" + full.substr(0, cut) + "}";
}

bool ReadWithExpat(const std::string& bytes, std::string& tree) {
  XML_Parser parser = XML_ParserCreateNS("UTF-8", '\x01');
  ExpatState state;
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* s = static_cast<ExpatState*>(data);
        s->flush();
        s->out += "<" + ExpatName(name);
        for (int i = 0; attributes[i] != nullptr; i += 2)
          s->out += " " + ExpatName(attributes[i]) + "=\"" + attributes[i + 1] + "\"";
        s->out += ">";
      },
      [](void* data, const XML_Char*) {
        auto* s = static_cast<ExpatState*>(data);
        s->flush();
        s->out += "</>";
      });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    static_cast<ExpatState*>(data)->text.append(text, static_cast<size_t>(length));
  });
  bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  state.flush();
  tree = state.out;
  return ok;
}

// Builds a random tree under doc: namespaces and prefixes drawn so that
// they clash, text and values with every character a writer may lose.
class TreeMaker {
 public:
  TreeMaker(ZelDocument& doc, uint32_t seed) : m_doc(doc), m_random(seed) {}

  void build() {
    ZelPtr<ZelElement> root = element();
    m_doc.appendChild(root.get());
    std::vector<ZelElement*> open{root.get()};
    int nodes = 1 + pick(30);
    for (int i = 0; i < nodes; ++i) {
      ZelElement* parent = open[static_cast<size_t>(pick(static_cast<int>(open.size())))];
      if (pick(3) == 0) {
        parent->appendChild(m_doc.createTextNode(text()).get());
      } else {
        ZelPtr<ZelElement> child = element();
        parent->appendChild(child.get());
        open.push_back(child.get());
      }
    }
  }

 private:
  int pick(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }
  ZelName choose(const std::vector<const char*>& words) {
    return Nm(words[static_cast<size_t>(pick(static_cast<int>(words.size())))]);
  }
  ZelName ns() { return choose({"", "", "urn:a", "urn:b", "http://x.example/c?d=1"}); }
  ZelName prefix() { return choose({"", "", "p", "q", "r"}); }
  ZelName local() { return choose({"e", "f", "g1", "h-i", "j.k", "_l", "\xE3\x81\x82", "\xE6\xBC\xA2"}); }

  UnicodeString text() {
    static const char16_t* const pieces[] = {
        u"a",      u" ",      u"\t",     u"\n",     u"\r",     u"\r\n",   u"\u0085", u"\u2028", u"\"",
        u"'",      u"<",      u"&",      u">",      u"]]>",    u"\U00020BB7", u"\U0001F600",
        u"\xD800", u"\xDC00", u"\uFFFE", u"\uFFFF", u"\u00E9", u"\u3042", u"\u00A5", u"&amp;", u"\uFFFD",
    };
    UnicodeString out;
    int n = pick(8);
    for (int i = 0; i < n; ++i) out.append(pieces[pick(static_cast<int>(std::size(pieces)))]);
    return out;
  }

  ZelPtr<ZelElement> element() {
    ZelName uri = ns();
    ZelPtr<ZelElement> e = m_doc.createElementNS(uri, uri.isEmpty() ? ZelName() : prefix(), local());
    int attributes = pick(5);
    for (int i = 0; i < attributes; ++i) {
      ZelName attrUri = ns();
      e->setAttributeNS(attrUri, attrUri.isEmpty() ? ZelName() : prefix(), local(), ZelValue(text()));
    }
    return e;
  }

  ZelDocument& m_doc;
  std::mt19937 m_random;
};

// The own parser reads Shift_JIS through the engine's converter.
class XmlRoundTrip : public quarnel_test::EngineStarted {};

TEST_F(XmlRoundTrip, RandomTreesReadBackByEveryReader) {
  int shiftJisRefused = 0;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    ZelDocument doc;
    TreeMaker(doc, seed).build();
    std::string expected = DescribeTree(&doc, false, true);
    for (const char* encoding : {"UTF-8", "SHIFT_JIS"}) {
      std::ostringstream out;
      Raised raised = Catch([&] { doc.save(out, nullptr, UnicodeString::fromUTF8(encoding)); });
      if (raised.code == 2065) {
        ++shiftJisRefused;
        continue;
      }
      ASSERT_EQ(raised.code, -1) << seed << " " << encoding << " " << raised.message;
      std::string bytes = out.str();
      bool shiftJis = std::string(encoding) == "SHIFT_JIS";

      ZelDocument back;
      std::istringstream in(bytes);
      Raised parse = Catch([&] { back.load(in, nullptr); });
      ASSERT_EQ(parse.code, -1) << seed << " " << encoding << " " << parse.message;
      ASSERT_EQ(DescribeTree(&back, false), expected) << seed << " " << encoding;

      std::string peer;
      ASSERT_TRUE(ReadWithLibxml(bytes, shiftJis ? "CP932" : nullptr, peer)) << seed << " " << encoding;
      ASSERT_EQ(peer, expected) << seed << " " << encoding << " libxml2";
      if (!shiftJis) {
        ASSERT_TRUE(ReadWithExpat(bytes, peer)) << seed;
        ASSERT_EQ(peer, expected) << seed << " expat";
      }
    }
  }
  EXPECT_EQ(shiftJisRefused, 0);
}

}  // namespace
