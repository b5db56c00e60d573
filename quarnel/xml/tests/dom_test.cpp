// The document model: links after each tree operation, refusals with their
// messages, type ids, positions, namespace lookups, live lists and clones.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "dom_test_support.h"

namespace {

using namespace dom_test;

struct Tree {
  ZelPtr<ZelDocument> doc{new ZelDocument()};
  ZelPtr<ZelElement> root = doc->createElement(Nm("root"));
  ZelPtr<ZelElement> a = doc->createElement(Nm("a"));
  ZelPtr<ZelElement> b = doc->createElement(Nm("b"));
  ZelPtr<ZelTextNode> c = doc->createTextNode(u"c");
  Tree() {
    doc->appendChild(root.get());
    root->appendChild(a.get());
    root->appendChild(b.get());
    root->appendChild(c.get());
  }
};

struct LinkCase {
  const char* name;
  std::function<void(Tree&)> act;
  std::function<std::vector<const ZelNode*>(Tree&)> expected;
};

TEST(DomTree, LinksAfterEachOperation) {
  const LinkCase cases[] = {
      {"as built", [](Tree&) {}, [](Tree& t) { return std::vector<const ZelNode*>{t.a.get(), t.b.get(), t.c.get()}; }},
      {"insertBefore null appends", [](Tree& t) { t.root->insertBefore(t.a.get(), nullptr); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.b.get(), t.c.get(), t.a.get()}; }},
      {"insertBefore itself", [](Tree& t) { EXPECT_EQ(t.root->insertBefore(t.b.get(), t.b.get()), t.b.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.a.get(), t.b.get(), t.c.get()}; }},
      {"insertBefore the first", [](Tree& t) { t.root->insertBefore(t.c.get(), t.a.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.c.get(), t.a.get(), t.b.get()}; }},
      {"replaceChild itself", [](Tree& t) { t.root->replaceChild(t.b.get(), t.b.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.a.get(), t.b.get(), t.c.get()}; }},
      {"replace the last by the first", [](Tree& t) { t.root->replaceChild(t.a.get(), t.c.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.b.get(), t.a.get()}; }},
      {"remove the first", [](Tree& t) { t.root->removeChild(t.a.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.b.get(), t.c.get()}; }},
      {"remove the last", [](Tree& t) { t.root->removeChild(t.c.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.a.get(), t.b.get()}; }},
      {"remove all", [](Tree& t) { t.root->removeAllChildNodes(); },
       [](Tree&) { return std::vector<const ZelNode*>{}; }},
      {"delete all", [](Tree& t) { EXPECT_EQ(t.root->deleteAllChildNodes(), 3); },
       [](Tree&) { return std::vector<const ZelNode*>{}; }},
      {"move under another parent", [](Tree& t) { t.a->appendChild(t.b.get()); },
       [](Tree& t) { return std::vector<const ZelNode*>{t.a.get(), t.c.get()}; }},
  };
  for (const LinkCase& c : cases) {
    Tree t;
    int countA = t.a->getRefCount();
    c.act(t);
    EXPECT_TRUE(LinksAre(t.root.get(), c.expected(t))) << c.name;
    if (t.a->getParentNodeFast() == t.root.get()) {
      EXPECT_EQ(t.a->getRefCount(), countA) << c.name;
    }
  }
}

TEST(DomTree, OnlyChildRingsToItself) {
  Tree t;
  ZelPtr<ZelElement> e = t.doc->createElement(Nm("e"));
  ZelPtr<ZelTextNode> x = t.doc->createTextNode(u"x");
  e->appendChild(x.get());
  EXPECT_EQ(x->getFirstChildFast(), nullptr);
  EXPECT_EQ(e->getFirstChildFast(), x.get());
  EXPECT_EQ(x->getNextSibling(), nullptr);
  ZelPtr<ZelTextNode> y = t.doc->createTextNode(u"y");
  EXPECT_EQ(e->replaceChild(y.get(), x.get()), x.get());
  EXPECT_TRUE(LinksAre(e.get(), {y.get()}));
  EXPECT_EQ(x->getParentNodeFast(), nullptr);
  e->removeChild(y.get());
  EXPECT_TRUE(LinksAre(e.get(), {}));
}

struct ErrorCase {
  const char* name;
  std::function<void(Tree&)> act;
  int code;
  const char* message;
  const char* source;
};

TEST(DomTree, RefusalsLeaveTheTreeAsItWas) {
  ZelPtr<ZelDocument> other(new ZelDocument());
  const ErrorCase cases[] = {
      {"append null", [](Tree& t) { t.root->appendChild(nullptr); }, 2051, "SYSTEM ERROR: newChild is null.",
       "ObraCommon::ZelNode::appendChild"},
      {"insert null", [](Tree& t) { t.root->insertBefore(nullptr, t.a.get()); }, 2051,
       "SYSTEM ERROR: newChild is null.", "ObraCommon::ZelNode::insertBefore"},
      {"replace by null", [](Tree& t) { t.root->replaceChild(nullptr, t.a.get()); }, 2051,
       "SYSTEM ERROR: newChild is null.", "ObraCommon::ZelNode::replaceChild"},
      {"replace null", [](Tree& t) { t.root->replaceChild(t.a.get(), nullptr); }, 2051,
       "SYSTEM ERROR: oldChild is null.", "ObraCommon::ZelNode::replaceChild"},
      {"remove null", [](Tree& t) { t.root->removeChild(nullptr); }, 2051, "SYSTEM ERROR: oldChild is null.",
       "ObraCommon::ZelNode::removeChild"},
      {"append from another document", [&other](Tree& t) { t.root->appendChild(other->createTextNode(u"x").get()); },
       2054, "SYSTEM ERROR: arg is created from a different document.", "ObraCommon::ZelNode::appendChild"},
      {"insert before a stranger", [](Tree& t) { t.root->insertBefore(t.c.get(), t.root.get()); }, 2057,
       "SYSTEM ERROR: refChild is not a child of this node.", "ObraCommon::ZelNode::insertBefore"},
      {"replace a stranger", [](Tree& t) { t.a->replaceChild(t.c.get(), t.b.get()); }, 2057,
       "SYSTEM ERROR: oldChild is not a child of this node.", "ObraCommon::ZelNode::replaceChild"},
      {"remove a stranger", [](Tree& t) { t.a->removeChild(t.b.get()); }, 2057,
       "SYSTEM ERROR: oldChild is not a child of this node.", "ObraCommon::ZelNode::removeChild"},
      {"remove an attribute", [](Tree& t) { t.a->removeChild(t.a->getAttributeNode(Nm("k"))); }, 2057,
       "SYSTEM ERROR: oldChild is not a child of this node.", "ObraCommon::ZelNode::removeChild"},
      {"value on an element", [](Tree& t) { t.a->setNodeValue(ZelValue(1)); }, 2059,
       "SYSTEM ERROR: Cannot set a value on node type: Element", "ObraCommon::ZelNode::setNodeValue"},
      {"append itself", [](Tree& t) { t.a->appendChild(t.a.get()); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
      {"append an ancestor", [](Tree& t) { t.a->appendChild(t.root.get()); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
      {"append the document", [](Tree& t) { t.a->appendChild(t.doc.get()); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
      {"insert an ancestor", [](Tree& t) { t.a->insertBefore(t.root.get(), nullptr); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
      {"insert an ancestor before", [](Tree& t) { t.root->insertBefore(t.doc.get(), t.a.get()); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::insertBefore"},
      {"replace by an ancestor", [](Tree& t) { t.root->replaceChild(t.root.get(), t.a.get()); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::replaceChild"},
      {"append an attribute", [](Tree& t) { t.b->appendChild(t.a->getAttributeNode(Nm("k"))); }, 2058,
       "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
      {"append an attribute's owner to it", [](Tree& t) { t.a->getAttributeNode(Nm("k"))->appendChild(t.a.get()); },
       2058, "SYSTEM ERROR: newChild cannot be inserted here.", "ObraCommon::ZelNode::appendChild"},
  };
  for (const ErrorCase& c : cases) {
    Tree t;
    t.a->setAttribute(Nm("k"), ZelValue(UnicodeString(u"v")));
    Raised raised = Catch([&] { c.act(t); });
    EXPECT_EQ(raised.code, c.code) << c.name;
    EXPECT_EQ(raised.message, c.message) << c.name;
    EXPECT_EQ(raised.source, c.source) << c.name;
    EXPECT_TRUE(LinksAre(t.root.get(), {t.a.get(), t.b.get(), t.c.get()})) << c.name;
    EXPECT_TRUE(LinksAre(t.doc.get(), {t.root.get()})) << c.name;
    EXPECT_EQ(t.a->getAttributes()->getLength(), 1) << c.name;
  }
}

// Nodes a document made live in its arena: held past the document they stay
// readable, and released at once on several threads they free their slots
// and, with the last, the arena (the sanitizer presets see any slip).
TEST(DomTree, NodesOutliveTheirDocumentOnAnyThread) {
  constexpr int kHeld = 8;
  std::vector<ZelPtr<ZelElement>> held;
  std::vector<ZelPtr<ZelNamedNodeMap>> maps;
  {
    ZelPtr<ZelDocument> doc(new ZelDocument());
    std::string xml = "<r xmlns:p='urn:p'>";
    for (int i = 0; i < kHeld; ++i)
      xml += "<e n='" + std::to_string(i) + "' p:v='long value, past what a text keeps in place'>text " +
             std::to_string(i) + "<f/></e>";
    doc->loadXml(UnicodeString::fromUTF8(xml + "</r>"), nullptr);
    for (ZelNode* e = doc->getDocumentElement()->getFirstChild(); e != nullptr; e = e->getNextSibling()) {
      held.emplace_back(static_cast<ZelElement*>(e));
      maps.emplace_back(e->getAttributes());
    }
    // Made and dropped before the document goes: their slots are reused.
    for (int i = 0; i < 100; ++i) doc->createTextNode(UnicodeString(i, u'x', i));
  }
  ASSERT_EQ(held.size(), static_cast<size_t>(kHeld));
  for (int i = 0; i < kHeld; ++i) {
    EXPECT_EQ(Utf8(held[i]->getAttribute(Nm("n")).toString()), std::to_string(i));
    EXPECT_EQ(Utf8(held[i]->getAttributeNS(Nm("urn:p"), Nm("v")).toString()),
              "long value, past what a text keeps in place");
    EXPECT_EQ(Utf8(held[i]->getFirstChild()->getText()), "text " + std::to_string(i));
    EXPECT_EQ(maps[i]->getLength(), 2);
  }
  std::vector<std::thread> threads;
  for (int i = 0; i < kHeld; ++i)
    threads.emplace_back([&, i] {
      maps[i].reset();
      held[i].reset();
    });
  for (std::thread& thread : threads) thread.join();
}

// A map a caller keeps after its element is gone, with attributes and
// without: it reads as empty and refuses new ones, reaching nothing freed.
TEST(DomAttributes, MapHeldPastItsElementReadsEmpty) {
  for (int count : {0, 1, 12}) {
    SCOPED_TRACE(count);
    ZelPtr<ZelDocument> doc(new ZelDocument());
    ZelPtr<ZelNamedNodeMap> map;
    ZelPtr<ZelAttr> kept;
    {
      ZelPtr<ZelElement> e = doc->createElement(Nm("e"));
      for (int i = 0; i < count; ++i) e->setAttribute(Nm(("a" + std::to_string(i)).c_str()), ZelValue(i));
      map = e->getAttributes();
      if (count > 0) kept = e->getAttributeNode(Nm("a0"));
    }
    EXPECT_EQ(map->getLength(), 0);
    EXPECT_EQ(map->item(0), nullptr);
    EXPECT_EQ(map->getNamedItem(Nm("a0")), nullptr);
    EXPECT_FALSE(map->removeNamedItem(Nm("a0")));
    if (kept) {
      EXPECT_EQ(kept->getOwnerElement(), nullptr);
    }
    ZelPtr<ZelAttr> fresh = doc->createAttribute(Nm("x"));
    EXPECT_EQ(Catch([&] { map->setNamedItem(fresh.get()); }).code, 2058);
  }
}

TEST(DomAttributes, MapKeepsOrderAndRefuses) {
  Tree t;
  ZelPtr<ZelDocument> other(new ZelDocument());
  t.a->setAttribute(Nm("x"), ZelValue(1));
  t.a->setAttribute(Nm("y"), ZelValue(2));
  t.a->setAttribute(Nm("x"), ZelValue(3));  // keeps its place
  ZelNamedNodeMap* map = t.a->getAttributes();
  ASSERT_EQ(map->getLength(), 2);
  EXPECT_EQ(map->item(0)->getLocalName(), Nm("x"));
  EXPECT_EQ(t.a->getAttribute(Nm("x")), ZelValue(3));
  EXPECT_TRUE(t.a->getAttribute(Nm("missing")).isNull());

  ZelPtr<ZelAttr> fresh = t.doc->createAttribute(Nm("x"));
  fresh->setValue(ZelValue(4));
  ZelPtr<ZelAttr> old = t.a->setAttributeNode(fresh.get());
  ASSERT_TRUE(old);
  EXPECT_EQ(old->getOwnerElement(), nullptr);
  EXPECT_EQ(map->item(0), fresh.get());
  EXPECT_EQ(map->getNextNode(map->item(1)), nullptr);

  ZelPtr<ZelAttr> y(t.a->getAttributeNode(Nm("y")));
  const ErrorCase cases[] = {
      {"null", [](Tree& t) { t.b->setAttributeNode(nullptr); }, 2051, "SYSTEM ERROR: arg is null.",
       "ObraCommon::AttrNodeMap::setNamedItem"},
      {"other document", [&other](Tree& t) { t.b->setAttributeNodeNS(other->createAttribute(Nm("q")).get()); }, 2054,
       "SYSTEM ERROR: arg is created from a different document.", "ObraCommon::AttrNodeMap::setNamedItemNS"},
      {"a text", [](Tree& t) { t.b->getAttributes()->setNamedItem(t.c.get()); }, 2055,
       "SYSTEM ERROR: arg is not an ZelAttr object.", "ObraCommon::AttrNodeMap::setNamedItem"},
      {"another's attribute", [&y](Tree& t) { t.b->setAttributeNode(y.get()); }, 2056,
       "SYSTEM ERROR: arg is an ZelAttr that is already an attribute of another ZelElement object.",
       "ObraCommon::AttrNodeMap::setNamedItem"},
      {"an attribute holding the element",
       [](Tree& t) {
         ZelPtr<ZelAttr> holder = t.doc->createAttribute(Nm("h"));
         holder->appendChild(t.root.get());
         Raised raised = Catch([&] { t.b->setAttributeNode(holder.get()); });
         holder->removeChild(t.root.get());
         t.doc->appendChild(t.root.get());
         throw ZelError(raised.code, UnicodeString::fromUTF8(raised.message), UnicodeString::fromUTF8(raised.source));
       },
       2058, "SYSTEM ERROR: arg cannot be inserted here.", "ObraCommon::AttrNodeMap::setNamedItem"},
      {"remove null", [](Tree& t) { t.b->removeAttributeNode(nullptr); }, 2051, "SYSTEM ERROR: oldAttr is null.",
       "ObraCommon::ZelElement::removeAttributeNode"},
  };
  for (const ErrorCase& c : cases) {
    Raised raised = Catch([&] { c.act(t); });
    EXPECT_EQ(raised.code, c.code) << c.name;
    EXPECT_EQ(raised.message, c.message) << c.name;
    EXPECT_EQ(raised.source, c.source) << c.name;
    EXPECT_FALSE(t.b->hasAttributes()) << c.name;
  }

  EXPECT_FALSE(t.b->removeAttributeNode(y.get()));
  EXPECT_EQ(t.a->removeAttributeNode(y.get()), y.get());
  t.a->removeAttribute(Nm("x"));
  EXPECT_FALSE(t.a->hasAttributes());
  EXPECT_EQ(map->item(0), nullptr);
  t.a->setAttribute(Nm("z"), ZelValue(5));
  EXPECT_EQ(t.a->getAttributeNode(Nm("z"))->getOwnerElement(), t.a.get());
}

struct TypeCase {
  const char* name;
  std::function<ZelPtr<ZelNode>(ZelDocument&)> make;
  unsigned int id;
  const char* typeName;
  int nodeType;
  std::vector<unsigned int> isA;
  std::vector<unsigned int> isNotA;
};

TEST(DomTypes, IdsNamesAndChains) {
  const TypeCase cases[] = {
      {"AttrNS", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createAttribute(Nm("p:q")).get()); }, 0x8EEE55FD,
       "AttrNS", 2, {0x8EEE55FD, 0xC5B6A2E2, 0x74DC3393, 0x90AF0240, 0xA4EBD8C4}, {0xD31942AA, 0xD27D366C}},
      {"Attr", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createAttribute(Nm("q")).get()); }, 0xC5B6A2E2, "ZelAttr",
       2, {0xC5B6A2E2}, {0x8EEE55FD}},
      {"PI", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createProcessingInstruction(u"pi x").get()); }, 0x1A6FA3CF,
       "ZelPINode", 7, {0x92151179, 0x74DC3393}, {}},
      {"ElementNS", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createElementNS(Nm("u"), Nm("e")).get()); },
       0xC08077FC, "ElementNS", 1, {0xD31942AA, 0x74DC3393}, {0xD27D366C}},
      {"Element", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createElement(Nm("e")).get()); }, 0xD27D366C,
       "Element", 1, {0xD31942AA}, {0xC08077FC}},
      {"fragment", [](ZelDocument& d) { return ZelPtr<ZelNode>(d.createDocumentFragment().get()); }, 0x319C59B1,
       "ZelDocumentFragment", 11, {0x74DC3393}, {}},
  };
  ZelPtr<ZelDocument> doc(new ZelDocument());
  for (const TypeCase& c : cases) {
    ZelPtr<ZelNode> node = c.make(*doc);
    EXPECT_EQ(node->getTypeID(), c.id) << c.name;
    EXPECT_EQ(Utf8(node->getTypeName()), c.typeName) << c.name;
    EXPECT_EQ(node->getNodeType(), c.nodeType) << c.name;
    for (unsigned int id : c.isA) EXPECT_TRUE(node->isA(id)) << c.name << " " << id;
    for (unsigned int id : c.isNotA) EXPECT_FALSE(node->isA(id)) << c.name << " " << id;
    EXPECT_EQ(node->isText(), c.nodeType == 7) << c.name;
    EXPECT_EQ(node->isElementNode(), c.nodeType == 1) << c.name;
    EXPECT_FALSE(node->isBlock() || node->isFO() || node->isOutOfLine()) << c.name;
  }
  EXPECT_EQ(doc->getOwnerDocument(), nullptr);
  EXPECT_EQ(Utf8(doc->createProcessingInstruction(u"x")->getLocalName().toString()), "#text");
  EXPECT_EQ(doc->getChildNodes()->getTypeID(), 0xA76795D5u);
  EXPECT_EQ(doc->getDescendantNodes()->getTypeID(), 0x9814666Du);
  EXPECT_FALSE(doc->cloneNode(true));
  EXPECT_FALSE(doc->createDocumentFragment()->cloneNode(true));
}

TEST(DomPositions, NeighboursFallBack) {
  Tree t;
  t.root->setSourceLineNumber(3);
  t.root->setSourceColumnNumber(5);
  t.b->setSourceLineNumber(12);
  ZelPtr<ZelTextNode> lone = t.doc->createTextNode(u"x");
  EXPECT_EQ(t.a->getSourceLineNumber(), 3);  // first child: the parent's
  EXPECT_EQ(t.c->getSourceLineNumber(), 12);  // after the element at line 12
  EXPECT_EQ(t.c->getSourceColumnNumber(), 5);  // b has no column: the parent's
  EXPECT_EQ(t.b->getSourceLineNumber(), 12);
  EXPECT_EQ(lone->getSourceLineNumber(), -1);
  EXPECT_EQ(t.doc->getSourceLineNumber(), -1);
}

TEST(DomNamespaces, LookupsFollowTheDeclarationsInForce) {
  ZelPtr<ZelDocument> doc(new ZelDocument());
  ZelPtr<ZelElement> top = doc->createElement(Nm("top"));
  doc->appendChild(top.get());
  top->setAttribute(Nm("xmlns"), ZelValue(Nm("urn:d")));
  top->setAttribute(Nm("xmlns:p"), ZelValue(Nm("urn:p")));
  ZelPtr<ZelElement> mid = doc->createElement(Nm("p:mid"));
  top->appendChild(mid.get());
  ZelPtr<ZelElement> leaf = doc->createElementNS(Nm("urn:q"), Nm("q:leaf"));
  mid->appendChild(leaf.get());
  leaf->setAttribute(Nm("p:at"), ZelValue(1));
  ZelAttr* at = leaf->getAttributeNode(Nm("p:at"));
  ASSERT_NE(at, nullptr);

  EXPECT_EQ(mid->getNamespaceUri(), Nm("urn:p"));
  EXPECT_EQ(at->getNamespaceUri(), Nm("urn:p"));
  EXPECT_EQ(top->getNamespaceUri(), Nm("urn:d"));
  EXPECT_EQ(leaf->lookupNamespaceUri(Nm("q")), Nm("urn:q"));
  EXPECT_EQ(leaf->lookupNamespaceUri(ZelName()), Nm("urn:d"));
  EXPECT_EQ(doc->lookupNamespaceUri(Nm("p")), Nm("urn:p"));
  EXPECT_EQ(leaf->lookupPrefix(Nm("urn:p")), Nm("p"));
  EXPECT_EQ(leaf->lookupPrefix(Nm("urn:q")), Nm("q"));
  EXPECT_TRUE(top->isDefaultNamespace(Nm("urn:d")));
  EXPECT_TRUE(mid->isDefaultNamespace(Nm("urn:d")));
  EXPECT_FALSE(leaf->isDefaultNamespace(Nm("urn:q")));
  EXPECT_TRUE(doc->createDocumentFragment()->lookupNamespaceUri(Nm("p")).isEmpty());

  // The answers move with the declarations.
  mid->setAttribute(Nm("xmlns:p"), ZelValue(Nm("urn:p2")));
  EXPECT_EQ(mid->getNamespaceUri(), Nm("urn:p2"));
  EXPECT_EQ(at->getNamespaceUri(), Nm("urn:p2"));
  top->removeChild(mid.get());
  mid->removeAttribute(Nm("xmlns:p"));
  EXPECT_TRUE(at->getNamespaceUri().isEmpty());
}

TEST(DomLists, LiveListsAndLoneIterators) {
  Tree t;
  ZelPtr<ZelNodeList> all = t.doc->getElementsByTagName(Nm("*"));
  EXPECT_EQ(all->getLength(), 3);
  ZelPtr<ZelElement> d = t.doc->createElement(Nm("b"));
  t.a->appendChild(d.get());
  EXPECT_EQ(all->getLength(), 4);
  EXPECT_EQ(all->item(2), d.get());
  EXPECT_EQ(t.doc->getElementsByTagName(Nm("b"))->getLength(), 2);
  EXPECT_EQ(t.doc->getElementsByTagNameNS(Nm("*"), Nm("b"))->getLength(), 2);
  EXPECT_EQ(Utf8(t.root->getInnerText()), "c");
  EXPECT_EQ(d->getNodeDepth(), 2);
  EXPECT_EQ(t.root->getNodeDepth(), 0);
  EXPECT_EQ(d->getCommonAncestor(t.c.get()), t.root.get());
  EXPECT_EQ(t.c->getCommonAncestorOrSelf(t.root.get()), t.root.get());
  EXPECT_TRUE(t.c->isFollowingOf(d.get()));
  EXPECT_TRUE(d->isPrecedingOf(t.c.get()));
  EXPECT_FALSE(d->isFollowingOf(t.a.get()));

  ZelPtr<ZelElement> lone = t.doc->createElement(Nm("lone"));
  ZelTreeIterator it(lone.get(), nullptr, false, ZelTreeIterator::PRE_AND_POST_ORDER);
  EXPECT_EQ(it.nextNode(), lone.get());
  EXPECT_TRUE(it.hasNextNode());
  EXPECT_EQ(it.nextNode(), lone.get());
  EXPECT_EQ(it.nextNode(), nullptr);
  ZelTreeIterator text(t.c.get(), nullptr, false, ZelTreeIterator::PRE_AND_POST_ORDER);
  EXPECT_EQ(text.nextNode(), t.c.get());
  EXPECT_FALSE(text.hasNextNode());
  EXPECT_EQ(text.nextNode(), nullptr);
}

// A document that makes no element named "drop".
class DroppingDocument : public ZelDocument {
 public:
  ZelPtr<ZelElement> createElementNS(ZelName uri, ZelName prefix, ZelName local) override {
    if (local == Nm("drop")) return ZelPtr<ZelElement>();
    return ZelDocument::createElementNS(uri, prefix, local);
  }
  using ZelDocument::createElementNS;
};

TEST(DomClone, InstructionsStayAndEmptyClonesAreLeftOut) {
  ZelPtr<ZelDocument> doc(new DroppingDocument());
  ZelPtr<ZelElement> e = doc->createElement(Nm("e"));
  e->setAttribute(Nm("k"), ZelValue(7));
  e->appendChild(doc->createProcessingInstruction(u"pi data").get());
  e->appendChild(doc->createElement(Nm("drop")).get());
  e->appendChild(doc->createDocumentFragment().get());
  ZelPtr<ZelElement> kept = doc->createElement(Nm("kept"));
  e->appendChild(kept.get());
  kept->appendChildText(u"t");
  e->setFlag(ZelNode::FLAG_LOADING | 8, true);

  ZelPtr<ZelNode> clone = e->cloneNode(true);
  ASSERT_TRUE(clone);
  ASSERT_EQ(clone->getChildNodeCount(), 2);
  EXPECT_EQ(clone->getFirstChild()->getNodeType(), PROCESSING_INSTRUCTION_NODE);
  EXPECT_EQ(Utf8(clone->getFirstChild()->getText()), "pi data");
  EXPECT_EQ(Utf8(clone->getInnerText()), "t");
  EXPECT_EQ(static_cast<ZelElement*>(clone.get())->getAttribute(Nm("k")), ZelValue(7));
  EXPECT_FALSE(clone->isLoading());
  EXPECT_TRUE(clone->getFlag(ZelNode::FLAG_LOADED));
  EXPECT_TRUE(clone->getFlag(8));
  EXPECT_EQ(e->cloneNode(false)->getChildNodeCount(), 0);
}

}  // namespace
