// The document model as a client sees it through libquarnel.so alone: a
// document of its own making its own elements, the internal classes
// reached only through the exported ones, and loading and saving.
#include <gtest/gtest.h>

#include <sstream>

#include "quarnel/dom.h"

namespace {

using namespace ObraCommon;

class ClientElement : public ZelElement {
 public:
  ClientElement(ZelDocument* doc, ZelName local) : ZelElement(doc), m_local(local) {}
  ZelName getLocalName() const override { return m_local; }
  bool isBlock() const override { return true; }

 private:
  ZelName m_local;
};

class ClientDocument : public ZelDocument {
 public:
  using ZelDocument::createElementNS;
  ZelPtr<ZelElement> createElementNS(ZelName, ZelName, ZelName local) override {
    return ZelPtr<ZelElement>(new ClientElement(this, local));
  }
};

TEST(DomApi, ADerivedDocumentMakesItsOwnElements) {
  ZelPtr<ZelDocument> doc(new ClientDocument());
  ZelPtr<ZelElement> root = doc->createElementNS(ZelName(), ZelName(UnicodeString(u"r")));
  doc->appendChild(root.get());
  root->setAttribute(ZelName(UnicodeString(u"k")), ZelValue(UnicodeString(u"v")));
  root->appendChildText(u"text");
  ZelPtr<ZelNode> clone = root->cloneNode(true);
  EXPECT_TRUE(clone->isBlock());
  EXPECT_EQ(clone->getAttributes()->getTypeID(), 0xF49D3AEAu);
  EXPECT_EQ(clone->getInnerText(), UnicodeString(u"text"));
  EXPECT_EQ(doc->getDocumentElement(), root.get());
  EXPECT_EQ(doc->getElementsByTagName(ZelName(UnicodeString(u"*")))->getLength(), 1);
}

TEST(DomApi, ADerivedDocumentLoadsAndSaves) {
  ZelPtr<ZelDocument> doc(new ClientDocument());
  doc->loadXml(u"<r k='v'>text<s/></r>", nullptr);
  EXPECT_TRUE(doc->getDocumentElement()->isBlock());
  EXPECT_EQ(doc->saveXml(doc->getDocumentElement()), UnicodeString(u"<r k=\"v\">text<s/></r>"));
  ZelName local;
  std::istringstream in("<svg/>");
  EXPECT_EQ(ZelXmlUtil::getRootName(local, in, UnicodeString(), UnicodeString()),
            ZelName(UnicodeString(u"http://www.w3.org/2000/svg")));
}

}  // namespace
