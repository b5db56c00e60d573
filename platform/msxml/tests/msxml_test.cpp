// The DOM document stand-in on its own: BSTR and VARIANT values, the class
// registry and its failure hooks, loading through the host's opener, and
// the tree as a client walks it.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "msxml/msxml.h"

namespace {

std::map<std::u16string, std::string>& Resources() {
  static std::map<std::u16string, std::string> resources;
  return resources;
}

// Serves Resources(); a name starting "http:" is refused, others are missing.
std::istream* Serve(const char16_t* uri, int32_t length, MsxmlResourceKind, bool* refused) {
  std::u16string name(uri, length);
  auto found = Resources().find(name);
  if (found != Resources().end()) return new std::istringstream(found->second);
  *refused = name.rfind(u"http:", 0) == 0;
  return nullptr;
}

std::string Narrow(const char16_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return out;
}
std::string Narrow(const ComBstr& text) { return Narrow(text.get(), text.length()); }

class MsxmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MsxmlSetResourceOpener(Serve);
    Resources().clear();
  }
  void TearDown() override { MsxmlTestReset(); }

  ComPtr<IXMLDOMDocument2> Create(const CLSID& clsid = CLSID_DOMDocument40) {
    ComPtr<IXMLDOMDocument2> doc;
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, 7, IID_IXMLDOMDocument2, &out), S_OK);
    doc.Attach(static_cast<IXMLDOMDocument2*>(out));
    return doc;
  }
  bool Load(const ComPtr<IXMLDOMDocument2>& doc, const char16_t* name) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(name);
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc.call(&IXMLDOMDocument::load, source, &ok);
    VariantClear(&source);
    return ok == VARIANT_TRUE;
  }
  // Elements as <prefix:name{ns} attributes>, text as its value.
  std::string Walk(const ComPtr<IXMLDOMNode>& node) {
    DOMNodeType type;
    node.call(&IXMLDOMNode::get_nodeType, &type);
    std::string out;
    if (type == NODE_ELEMENT) {
      ComBstr name, prefix, ns;
      node.call(&IXMLDOMNode::get_baseName, &name);
      node.call(&IXMLDOMNode::get_prefix, &prefix);
      node.call(&IXMLDOMNode::get_namespaceURI, &ns);
      out = "<" + (prefix.length() ? Narrow(prefix) + ":" : "") + Narrow(name) + "{" + Narrow(ns) + "}";
      ComPtr<IXMLDOMNamedNodeMap> map;
      node.call(&IXMLDOMNode::get_attributes, &map);
      map.call(&IXMLDOMNamedNodeMap::reset);
      for (ComPtr<IXMLDOMNode> a; map.call(&IXMLDOMNamedNodeMap::nextNode, &a) == S_OK;) {
        ComPtr<IXMLDOMAttribute> attr;
        a.queryInto(IID_IXMLDOMAttribute, attr);
        ComBstr an, ap, ans;
        attr.call(&IXMLDOMNode::get_baseName, &an);
        attr.call(&IXMLDOMNode::get_prefix, &ap);
        attr.call(&IXMLDOMNode::get_namespaceURI, &ans);
        VARIANT v;
        attr.call(&IXMLDOMAttribute::get_value, &v);
        out += " " + Narrow(ap) + "|" + Narrow(an) + "{" + Narrow(ans) + "}=" + Narrow(v.bstrVal, SysStringLen(v.bstrVal));
        VariantClear(&v);
      }
      out += ">";
      ComPtr<IXMLDOMNode> child;
      node.call(&IXMLDOMNode::get_firstChild, &child);
      while (child) {
        out += Walk(child);
        ComPtr<IXMLDOMNode> next;
        child.call(&IXMLDOMNode::get_nextSibling, &next);
        child = next;
      }
      return out + "</>";
    }
    VARIANT v;
    node.call(&IXMLDOMNode::get_nodeValue, &v);
    out = std::to_string(type) + ":" + (v.vt == VT_BSTR ? Narrow(v.bstrVal, SysStringLen(v.bstrVal)) : "null") + ";";
    VariantClear(&v);
    return out;
  }
  std::string LoadAndWalk(const std::string& text, bool resolve = true) {
    Resources()[u"file:///d/doc.xml"] = text;
    auto doc = Create();
    doc.call(&IXMLDOMDocument::put_resolveExternals, resolve ? VARIANT_TRUE : VARIANT_FALSE);
    doc.call(&IXMLDOMDocument::put_preserveWhiteSpace, VARIANT_TRUE);
    doc.call(&IXMLDOMDocument::put_validateOnParse, VARIANT_FALSE);
    if (!Load(doc, u"file:///d/doc.xml")) {
      ComPtr<IXMLDOMParseError> error;
      doc.call(&IXMLDOMDocument::get_parseError, &error);
      ComBstr reason;
      LONG line = 0, column = 0;
      error.call(&IXMLDOMParseError::get_reason, &reason);
      error.call(&IXMLDOMParseError::get_line, &line);
      error.call(&IXMLDOMParseError::get_linepos, &column);
      return "error " + std::to_string(line) + ":" + std::to_string(column) + " " + Narrow(reason);
    }
    ComPtr<IXMLDOMNode> root;
    doc.call(&IXMLDOMDocument::get_documentElement, &root);
    return Walk(root);
  }
};

TEST_F(MsxmlTest, BstrAndVariant) {
  BSTR text = SysAllocString(u"ab\u00e9");
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[3], 0);
  BSTR withNul = SysAllocStringLen(u"a\0b", 3);
  EXPECT_EQ(SysStringLen(withNul), 3u);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(withNul);
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST_F(MsxmlTest, RegistryAndCreationHooks) {
  void* out = nullptr;
  const CLSID freeThreaded = {0x88D969C3, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
  EXPECT_EQ(CoCreateInstance(freeThreaded, nullptr, 7, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument30, nullptr, 4, IID_IUnknown, &out), REGDB_E_CLASSNOTREG);
  struct Row {
    int step;
    HRESULT create, run, query;
  } rows[] = {{0, S_OK, S_OK, S_OK},
              {1, REGDB_E_CLASSNOTREG, S_OK, S_OK},
              {2, S_OK, E_FAIL, S_OK},
              {3, S_OK, S_OK, E_NOINTERFACE}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step);
    MsxmlTestFailCreation(CLSID_DOMDocument30, row.step);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument30, nullptr, 7, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
              row.create);
    if (FAILED(row.create)) continue;
    EXPECT_EQ(OleRun(unknown), row.run);
    void* doc = nullptr;
    EXPECT_EQ(unknown->QueryInterface(IID_IXMLDOMDocument2, &doc), row.query);
    if (doc) static_cast<IXMLDOMDocument2*>(doc)->Release();
    EXPECT_EQ(unknown->Release(), 0u);
  }
}

TEST_F(MsxmlTest, CallHookRaisesWithDescription) {
  auto doc = Create();
  MsxmlTestFailCall("put_async", E_FAIL, u"chosen");
  try {
    doc.call(&IXMLDOMDocument::put_async, VARIANT_FALSE);
    FAIL() << "no exception";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_EQ(Narrow(error.Description(), SysStringLen(error.Description())), "chosen");
  }
  MsxmlTestFailCall("put_async", S_OK, nullptr);
  EXPECT_EQ(doc.call(&IXMLDOMDocument::put_async, VARIANT_FALSE), S_OK);
}

TEST_F(MsxmlTest, TreesAsWalked) {
  struct Row {
    const char* name;
    std::string text;
    std::string walked;
  } rows[] = {
      {"declarations first", "<r a='1' xmlns:p='urn:p' xmlns='urn:d' p:b='2'/>",
       "<r{urn:d} xmlns|p{http://www.w3.org/2000/xmlns/}=urn:p |xmlns{http://www.w3.org/2000/xmlns/}=urn:d "
       "|a{}=1 p|b{urn:p}=2></>"},
      {"blank text kept, cdata, comment, pi data", "<r> <![CDATA[c]]><!--k--><?t d?></r>",
       "<r{}>3: ;4:c;8:k;7:d;</>"},
      {"entity text joined, no reference node", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>a&e;b</r>", "<r{}>3:axb;</>"},
      {"entity elements in the default namespace",
       "<!DOCTYPE r [<!ENTITY e \"<i/><p:j/>\">]><r xmlns='urn:d' xmlns:p='urn:p'>&e;</r>",
       "<r{urn:d} |xmlns{http://www.w3.org/2000/xmlns/}=urn:d xmlns|p{http://www.w3.org/2000/xmlns/}=urn:p>"
       "<i{urn:d}></><p:j{urn:p}></></>"},
      {"attribute default applied", "<!DOCTYPE r [<!ATTLIST r d CDATA 'v'>]><r/>", "<r{} |d{}=v></>"},
      {"not well formed", "<r><a></r>", "error 1:11 Opening and ending tag mismatch: a line 1 and r"},
      {"undeclared prefix", "<p:r/>", "error 1:5 Namespace prefix p on r is not defined"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(LoadAndWalk(row.text), row.walked);
  }
}

TEST_F(MsxmlTest, ExternalResourcesFollowTheOpener) {
  Resources()[u"file:///d/s.dtd"] = "<!ENTITY e 'from-dtd'>";
  const std::string local = "<!DOCTYPE r SYSTEM 's.dtd'><r>&e;</r>";
  EXPECT_EQ(LoadAndWalk(local), "<r{}>3:from-dtd;</>");
  // Without externals the entity stays undeclared.
  EXPECT_EQ(LoadAndWalk(local, false), "<r{}>5:null;</>");
  // A local resource that cannot be read fails the load; a refused one
  // contributes nothing.
  EXPECT_EQ(LoadAndWalk("<!DOCTYPE r SYSTEM 'missing.dtd'><r/>"),
            "error 1:34 Failed to load external entity \"file:///d/missing.dtd\"");
  EXPECT_EQ(LoadAndWalk("<!DOCTYPE r SYSTEM 'http://h/x.dtd'><r/>"), "<r{}></>");
}

TEST_F(MsxmlTest, NodesOutliveTheirDocument) {
  Resources()[u"file:///d/doc.xml"] = "<r><a>t</a></r>";
  ComPtr<IXMLDOMNode> a;
  {
    auto doc = Create();
    ASSERT_TRUE(Load(doc, u"file:///d/doc.xml"));
    ComPtr<IXMLDOMNode> root;
    doc.call(&IXMLDOMDocument::get_documentElement, &root);
    root.call(&IXMLDOMNode::get_firstChild, &a);
  }
  EXPECT_EQ(Walk(a), "<a{}>3:t;</>");
}

}  // namespace
