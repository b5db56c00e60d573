// Documents read from XML, completely and as navigation asks, and written
// back: what a derived document drops or redirects, values that are not
// plain strings, the errors of loading and saving, and root sniffing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dom_internal.h"
#include "dom_test_support.h"
#include "quarnel/color.h"
#include "quarnel/xml_parser_impl.h"
#include "testsupport/testdata.h"
#include "xml_tree_text.h"

namespace {

using namespace dom_test;
using xml_tree::DescribeTree;

UnicodeString U8(const std::string& text) { return UnicodeString::fromUTF8(text); }

// Drops "drop" elements with their content; a "box" keeps each child in a
// complemental wrapper of its own; a "swap" takes in a "stand-in" of its own
// making in place of each element child.
class ShapingDocument : public ZelDocument {
 public:
  ZelPtr<ZelElement> createElementNS(ZelName uri, ZelName prefix, ZelName local) override;
  using ZelDocument::createElementNS;
};

class ShapingElement : public ElementNS {
 public:
  ShapingElement(ZelDocument* doc, ZelName uri, ZelName prefix, ZelName local) : ElementNS(doc, uri, prefix, local) {}
  ZelNode* appendChildEx(ZelNode* child) override {
    if (!child->isElementNode()) return ElementNS::appendChildEx(child);
    if (getLocalName() == Nm("box")) {
      ZelPtr<ZelElement> wrap = getOwnerDocument()->createElement(Nm("wrap"));
      wrap->setFlag(FLAG_COMPLEMENTAL, true);
      appendChild(wrap.get());
      return wrap->appendChild(child);
    }
    ZelPtr<ZelElement> standIn = getOwnerDocument()->createElement(Nm("stand-in"));
    return appendChild(standIn.get());
  }
};

ZelPtr<ZelElement> ShapingDocument::createElementNS(ZelName uri, ZelName prefix, ZelName local) {
  if (local == Nm("drop")) return ZelPtr<ZelElement>();
  if (local == Nm("box") || local == Nm("swap")) return ZelPtr<ZelElement>(new ShapingElement(this, uri, prefix, local));
  return ZelDocument::createElementNS(uri, prefix, local);
}

TEST(DomLoad, TreesAsLoaded) {
  struct Case {
    const char* what;
    const char16_t* xml;
    const char* tree;
  };
  const Case cases[] = {
      {"names, attributes, declarations, text",
       u"<p:r xmlns:p='urn:p' a='1' p:b='2'>x<e xmlns='urn:d'>y</e>z</p:r>",
       "<p:r{urn:p} a=\"1\" p:b{urn:p}=\"2\" ns[p=urn:p;]>T[x]<e{urn:d} ns[xmlns=urn:d;]>T[y]</>T[z]</>"},
      {"leading white space", u"\n  <r/>", "<r></>"},
      {"leading byte-order mark", u"\uFEFF<r>\u3042</r>", "<r>T[\u3042]</>"},
      {"declaration naming UTF-8", u"<?xml version='1.0' encoding='UTF-8'?><r>\u00E9</r>", "<r>T[\u00E9]</>"},
      {"declaration naming Shift_JIS", u"<?xml version='1.0' encoding='Shift_JIS'?>\n<r>\u3042</r>",
       "<r>T[\u3042]</>"},
      {"instructions and comments left out", u"<?pi x?><!--c--><r><?q?>a<!--d-->b</r>", "<r>T[ab]</>"},
      {"text beside the root left out", u"&#65;<r/>\r\n&#32;&#66;\r\n", "<r></>"},
      {"dropped element with its content", u"<r>a<drop>b<x>c</x></drop>d<y/></r>", "<r>T[ad]<y></></>"},
      {"complemental wrappers climbed past", u"<box><a><b/></a><c/>t</box>",
       "<box><wrap><a><b></></></><wrap><c></></>T[t]</>"},
      {"children redirected to a stand-in", u"<swap><a>in<b/></a>out</swap>",
       "<swap><stand-in>T[in]<b></></>T[out]</>"},
  };
  for (const Case& c : cases) {
    ZelPtr<ZelDocument> doc(new ShapingDocument());
    doc->setPullMode(true);  // loadXml reads everything all the same
    doc->loadXml(UnicodeString(c.xml), nullptr);
    EXPECT_EQ(doc->getLastLoadingNode(), nullptr) << c.what;
    EXPECT_FALSE(doc->isLoading()) << c.what;
    EXPECT_EQ(DescribeTree(doc.get(), true), Utf8(UnicodeString(c.tree))) << c.what;
  }
}

TEST(DomLoad, PullModeReadsAsNavigationAsks) {
  std::string xml = "<r a='1'><s>t</s><u/></r>";
  std::istringstream in(xml);
  ZelDocument doc;
  doc.setPullMode(true);
  doc.load(in, nullptr);
  EXPECT_FALSE(doc.hasChildNodesFast());
  EXPECT_TRUE(doc.isLoading());
  ZelNode* root = doc.getFirstChild();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(doc.getLastChildFast(), root);
  EXPECT_FALSE(root->hasChildNodesFast());
  EXPECT_EQ(doc.getLastLoadingNode(), root);
  EXPECT_EQ(DescribeTree(&doc, true), "<r a=\"1\"><s>T[t]</><u></></>");
  EXPECT_EQ(doc.getLastLoadingNode(), nullptr);
  EXPECT_FALSE(root->isLoading());
}

TEST(DomLoad, LoadingIntoANodeStopsThere) {
  ZelDocument doc;
  ZelPtr<ZelElement> outer = doc.createElement(Nm("outer"));
  ZelPtr<ZelElement> target = doc.createElement(Nm("target"));
  doc.appendChild(outer.get());
  outer->appendChild(target.get());
  target->appendChild(doc.createTextNode(u"old").get());
  // A callback that lets every error through lets the stray end tags come.
  ZelPtr<ZelXmlParser> parser = ZelXmlUtil::createXmlParser();
  parser->setCallbackError([](const ZelError&, void*) {}, nullptr);
  doc.setParser(parser.get());
  doc.loadXml(u"<a/></x></y><b/>", target.get());
  EXPECT_EQ(DescribeTree(&doc, false), "<outer><target><a></></></>");
  EXPECT_EQ(doc.getLastLoadingNode(), nullptr);
  EXPECT_FALSE(target->isLoading());
}

// Delivers every token, so events the loader does not know reach it.
class TokenParser : public XmlParserImpl {
 public:
  EventType next() override { return nextToken(); }
};

TEST(DomLoad, ErrorsEndLoadingAndPassThrough) {
  ZelDocument doc;
  doc.setParser(new TokenParser());
  Raised unexpected = Catch([&] { doc.loadXml(u"<r><!--c--></r>", nullptr); });
  EXPECT_EQ(unexpected.code, 2059);
  EXPECT_EQ(unexpected.message, "SYSTEM ERROR: Cannot set a value on node type.");
  EXPECT_EQ(unexpected.source, "ObraCommon::ZelDocument::loadNextNode");
  EXPECT_EQ(DescribeTree(&doc, false), "<r></>");

  ZelDocument pulled;
  std::istringstream in("<r><a>x</a><b>y</c></r>");
  pulled.setPullMode(true);
  pulled.load(in, nullptr);
  Raised broken = Catch([&] { DescribeTree(&pulled, false); });
  EXPECT_EQ(broken.code, 0x1806);
  // The partial tree navigates without the failed parse resuming.
  EXPECT_EQ(pulled.getLastLoadingNode(), nullptr);
  EXPECT_EQ(Catch([&] { EXPECT_EQ(DescribeTree(&pulled, false), "<r><a>T[x]</><b>T[y]</></>"); }).code, -1);
}

TEST(DomLoad, UrisOfTheDocument) {
  std::filesystem::path file = testsupport::TempDir() / "uri.xml";
  std::ofstream(file) << "<r/>";
  ZelDocument doc;
  doc.setBaseUri(u"file:///base/");
  doc.load(U8(file.string()), nullptr);
  EXPECT_EQ(Utf8(doc.getDocumentUri()), file.string());
  doc.setParser(nullptr);
  EXPECT_EQ(Utf8(doc.getDocumentUri()), "file:///base/");
  EXPECT_EQ(Catch([&] { doc.load(U8((testsupport::TempDir() / "missing.xml").string()), nullptr); }).code, 4099);
}

TEST(DomSave, ValuesAndSubtrees) {
  ZelDocument doc;
  doc.getSerializer()->setGenerator(UnicodeString());
  ZelPtr<ZelElement> root = doc.createElementNS(Nm("urn:r"), Nm("p"), Nm("r"));
  doc.appendChild(doc.createProcessingInstruction(u"pi x").get());
  doc.appendChild(root.get());
  ZelPtr<ZelNamedValueMap> entries(new ZelNamedValueMap());
  entries->setNamedItem(Nm("a"), ZelValue(1));
  entries->setNamedItem(Nm("b"), ZelValue(UnicodeString(u"two")));
  ZelValue compound(entries.get());
  root->setAttribute(Nm("border"), compound);
  ZelValue colour{ZelColor(255, 0, 0)};
  root->setAttribute(Nm("c"), colour);
  root->setAttribute(Nm("n"), ZelValue());
  root->setAttribute(Nm("s"), ZelValue(UnicodeString(u"<\"")));
  ZelPtr<ZelElement> child = doc.createElement(Nm("child"));
  root->appendChild(child.get());
  child->appendChildText(u"t&");

  EXPECT_EQ(Utf8(doc.saveXml(child.get())), "<child>t&amp;</child>");
  std::string whole = Utf8(doc.saveXml(nullptr));
  EXPECT_EQ(whole,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?pi x?><p:r border.a=\"1\" border.b=\"two\" c=\"" +
                Utf8(colour.getColorValue().toString(false)) +
                "\" s=\"&lt;&quot;\" xmlns:p=\"urn:r\"><child>t&amp;</child></p:r>");

  std::ostringstream streamed;
  doc.saveDocumentElement(streamed);
  doc.saveChildElement(child.get());
  doc.saveChildElement(child.get());
  doc.closeDocumentElement();
  EXPECT_NE(streamed.str().find("<child>t&amp;</child><child>t&amp;</child></p:r>"), std::string::npos)
      << streamed.str();

  std::ostringstream withDoctype;
  doc.save(u"note", u"p:r", withDoctype, child.get(), u"SHIFT_JIS");
  EXPECT_EQ(withDoctype.str(),
            "<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?><!--note--><!DOCTYPE p:r><child>t&amp;</child>");

  ZelPtr<ZelAttr> attr = doc.createAttribute(Nm("a"));
  Raised unsupported = Catch([&] { doc.saveXml(attr.get()); });
  EXPECT_EQ(unsupported.code, 2066);
  EXPECT_EQ(unsupported.message, "SYSTEM ERROR: Unsupported node type.");
  EXPECT_EQ(unsupported.source, "ObraCommon::ZelDocument::doSave");
  // The writer is free again after the failure.
  EXPECT_EQ(Utf8(doc.saveXml(child.get())), "<child>t&amp;</child>");
}

TEST(DomSave, NamesTheOutputCannotHoldRefusedBeforeTheTag) {
  ZelDocument doc;
  ZelPtr<ZelElement> root = doc.createElement(Nm("r"));
  doc.appendChild(root.get());
  root->appendChild(doc.createElement(Nm("caf\xC3\xA9")).get());
  std::ostringstream out;
  Raised refused = Catch([&] { doc.save(out, nullptr, u"Shift_JIS"); });
  EXPECT_EQ(refused.code, 2065);
  EXPECT_EQ(out.str().find("caf"), std::string::npos);

  // No encoding can write U+FFFF in a name, nor a control character in
  // a text: both are refused, not dropped.
  ZelDocument made;
  made.appendChild(made.createElement(Nm("e\xEF\xBF\xBF")).get());
  std::ostringstream utf8;
  EXPECT_EQ(Catch([&] { made.save(utf8, nullptr, u"UTF-8"); }).code, 2065);
  ZelDocument controlled;
  ZelPtr<ZelElement> top = controlled.createElement(Nm("t"));
  controlled.appendChild(top.get());
  top->appendChild(controlled.createTextNode(UnicodeString(u"a\u0001b")).get());
  std::ostringstream text;
  EXPECT_EQ(Catch([&] { controlled.save(text, nullptr, u"UTF-8"); }).code, 2065);
}

TEST(XmlUtil, RootsAndStylesheets) {
  const char* fo = "http://www.w3.org/1999/XSL/Format";
  const char* xslt = "http://www.w3.org/1999/XSL/Transform";
  struct Case {
    const char* what;
    std::string xml;
    const char* rootNamespace;
    const char* stylesheetNamespace;
    const char* local;
  };
  const Case cases[] = {
      {"FO document", std::string("<?xml version='1.0'?><!--c--><fo:root xmlns:fo='") + fo + "'/>", fo, fo, "root"},
      {"simplified stylesheet",
       std::string("<fo:root xmlns:fo='") + fo + "' xmlns:xsl='" + xslt + "' xsl:version='1.0'/>", fo, xslt, "root"},
      {"version in no namespace", std::string("<fo:root xmlns:fo='") + fo + "' version='1.0'/>", fo, fo, "root"},
      {"other root", "<svg/>", "http://www.w3.org/2000/svg", "http://www.w3.org/2000/svg", "svg"},
      {"no element", "<?xml version='1.0'?><!--only-->", "", "", ""},
  };
  for (const Case& c : cases) {
    ZelName local = Nm("stale");
    std::istringstream in(c.xml);
    EXPECT_EQ(Utf8(ZelXmlUtil::getRootName(local, in, UnicodeString(), UnicodeString()).toString()), c.rootNamespace)
        << c.what;
    EXPECT_EQ(Utf8(local.toString()), c.local) << c.what;
    std::filesystem::path file = testsupport::TempDir() / "root.xml";
    std::ofstream(file, std::ios::trunc) << c.xml;
    local = Nm("stale");
    EXPECT_EQ(Utf8(ZelXmlUtil::getXSLStylesheetNamespace(local, U8(file.string())).toString()),
              c.stylesheetNamespace)
        << c.what;
    EXPECT_EQ(Utf8(local.toString()), c.local) << c.what;
  }
  ZelName local;
  Raised missing = Catch([&] { ZelXmlUtil::getXSLStylesheetNamespace(local, u"/nonexistent/x.xml"); });
  EXPECT_EQ(missing.code, 4099);
  EXPECT_EQ(missing.message, "Cannot open file: /nonexistent/x.xml");
}

TEST(XmlUtil, NamespaceQualifiedNames) {
  struct Case {
    const char16_t* ns;
    const char16_t* local;
    const char16_t* text;
  };
  const Case cases[] = {
      {u"", u"a", u"a"},
      {u"http://www.w3.org/XML/1998/namespace", u"lang", u"xml:lang"},
      {u"http://www.w3.org/2000/xmlns/", u"xmlns", u"xmlns"},
      {u"http://www.w3.org/2000/xmlns/", u"p", u"xmlns:p"},
      {u"urn:u", u"a", u"{urn:u}:a"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ZelXmlUtil::makeNSQNameStr(c.ns, c.local), UnicodeString(c.text)) << Utf8(UnicodeString(c.text));
}

}  // namespace
