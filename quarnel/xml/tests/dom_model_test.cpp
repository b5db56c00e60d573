// The document model against a plain model: random operations on a small
// forest, checked after every step (links, rings, attribute order, counts)
// and, through a document whose nodes count themselves, for lifetimes:
// whatever the last holder drops is freed at once, nothing held is freed.
// Then walks of random trees against a recursive walk, and trees a million
// nodes deep or wide.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "dom_test_support.h"

namespace {

using namespace dom_test;

// Which counting nodes are alive, by the id each takes when made.
std::vector<bool> g_alive;

int Born() {
  g_alive.push_back(true);
  return static_cast<int>(g_alive.size()) - 1;
}

class CountingElement : public ZelElement {
 public:
  CountingElement(ZelDocument* doc, ZelName uri, ZelName prefix, ZelName local)
      : ZelElement(doc), id(Born()), m_uri(uri), m_prefix(prefix), m_local(local) {}
  ~CountingElement() override { g_alive[id] = false; }
  ZelName getLocalName() const override { return m_local; }
  ZelName getNamespaceUri() const override { return m_uri; }
  ZelName getPrefix() const override { return m_prefix; }
  const int id;

 private:
  ZelName m_uri, m_prefix, m_local;
};

class CountingText : public ZelTextNode {
 public:
  CountingText(ZelDocument* doc, const UnicodeString& text) : ZelTextNode(doc, text), id(Born()) {}
  ~CountingText() override { g_alive[id] = false; }
  const int id;
};

class CountingAttr : public ZelAttr {
 public:
  CountingAttr(ZelDocument* doc, ZelName local) : ZelAttr(doc), id(Born()), m_local(local) {}
  ~CountingAttr() override { g_alive[id] = false; }
  ZelName getNodeName() const override { return m_local; }
  ZelName getLocalName() const override { return m_local; }
  ZelNodeType getNodeType() const override { return ATTRIBUTE_NODE; }
  ZelNode* getParentNode() const override { return nullptr; }
  ZelValue getNodeValue() const override { return m_value; }
  ZelValue getValue() const override { return m_value; }
  void setValue(const ZelValue& value) override { m_value = value; }
  ZelElement* getOwnerElement() const override { return static_cast<ZelElement*>(getParentNodeFast()); }
  const int id;

 private:
  ZelName m_local;
  ZelValue m_value;
};

class CountingDocument : public ZelDocument {
 public:
  using ZelDocument::createAttributeNS;
  using ZelDocument::createElementNS;
  ZelPtr<ZelElement> createElement(ZelName name) override { return createElementNS(ZelName(), ZelName(), name); }
  ZelPtr<ZelElement> createElementNS(ZelName uri, ZelName prefix, ZelName local) override {
    return ZelPtr<ZelElement>(new CountingElement(this, uri, prefix, local));
  }
  ZelPtr<ZelTextNode> createTextNode(const UnicodeString& text) override {
    return ZelPtr<ZelTextNode>(new CountingText(this, text));
  }
  ZelPtr<ZelAttr> createAttribute(ZelName name) override { return ZelPtr<ZelAttr>(new CountingAttr(this, name)); }
  ZelPtr<ZelAttr> createAttributeNS(ZelName, ZelName, ZelName local) override { return createAttribute(local); }
};

int IdOf(const ZelNode* node) {
  if (auto* e = dynamic_cast<const CountingElement*>(node)) return e->id;
  if (auto* t = dynamic_cast<const CountingText*>(node)) return t->id;
  return dynamic_cast<const CountingAttr&>(*node).id;
}

// The plain model: per node id, its parent (an attribute's: its element),
// its children and attributes in order.
struct Model {
  struct Node {
    ZelNode* node = nullptr;
    int parent = -1;
    bool attr = false;
    std::vector<int> kids;
    std::vector<int> attrs;
  };
  std::vector<Node> nodes;
  std::map<int, ZelPtr<ZelNode>> held;  // the test's own handles, by id
  std::mt19937 rng{20261209};
  int lastOp = -1;
  // The ids live as of the last settle, those that left the live set then
  // (they must be freed), and a mark per id for the walk.
  std::vector<int> tracked, dropped;
  std::vector<int> mark;
  int stamp = 0;
  ZelPtr<CountingDocument> doc{new CountingDocument()};
  const ZelName names[3] = {Nm("x"), Nm("y"), Nm("z")};

  int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

  void add(ZelNode* node, bool hold) {
    int id = IdOf(node);
    if (static_cast<int>(nodes.size()) <= id) nodes.resize(id + 1), mark.resize(id + 1, 0);
    if (nodes[id].node == nullptr) tracked.push_back(id);
    nodes[id].node = node;
    nodes[id].attr = node->getNodeType() == ATTRIBUTE_NODE;
    if (hold) held[id] = node;
  }

  // Ids that must be alive: what the handles reach through children and
  // attributes.
  std::vector<int> reachable() {
    ++stamp;
    std::vector<int> found, work;
    for (const auto& [id, handle] : held) work.push_back(id);
    while (!work.empty()) {
      int id = work.back();
      work.pop_back();
      if (mark[id] == stamp) continue;
      mark[id] = stamp;
      found.push_back(id);
      for (int k : nodes[id].kids) work.push_back(k);
      for (int a : nodes[id].attrs) work.push_back(a);
    }
    return found;
  }
  bool reached(int id) const { return mark[id] == stamp; }

  const std::vector<int>& live() const { return tracked; }

  void unlink(int id) {
    int p = nodes[id].parent;
    if (p < 0) return;
    auto& list = nodes[id].attr ? nodes[p].attrs : nodes[p].kids;
    list.erase(std::find(list.begin(), list.end(), id));
    nodes[id].parent = -1;
  }

  bool ancestorOrSelf(int x, int p) const {
    for (int at = p; at >= 0; at = nodes[at].parent)
      if (at == x) return true;
    return false;
  }

  // A node freed with its last holder lets go of its children and
  // attributes that are held elsewhere.
  void settle() {
    std::vector<int> now = reachable();
    dropped.clear();
    for (int id : tracked)
      if (!reached(id)) dropped.push_back(id);
    tracked = now;
    for (int id : tracked) {
      int p = nodes[id].parent;
      if (p >= 0 && !reached(p)) unlink(id);
    }
  }

  // Copies the model of source's subtree onto the real clone's nodes.
  void adoptClone(int source, ZelNode* clone) {
    std::vector<std::pair<int, ZelNode*>> work{{source, clone}};
    while (!work.empty()) {
      auto [from, to] = work.back();
      work.pop_back();
      add(to, false);
      int id = IdOf(to);
      ZelNamedNodeMap* map = to->getAttributes();
      for (int i = 0; map != nullptr && i < map->getLength(); ++i) {
        add(map->item(i), false);
        nodes[id].attrs.push_back(IdOf(map->item(i)));
        nodes[IdOf(map->item(i))].parent = id;
      }
      ASSERT_EQ(nodes[id].attrs.size(), nodes[from].attrs.size());
      ZelNode* child = to->getFirstChildFast();
      for (int k : nodes[from].kids) {
        ASSERT_NE(child, nullptr);
        add(child, false);
        nodes[id].kids.push_back(IdOf(child));
        nodes[IdOf(child)].parent = id;
        work.push_back({k, child});
        child = child->getNextSiblingFast();
      }
      ASSERT_EQ(child, nullptr);
    }
  }

  ::testing::AssertionResult check() const {
    for (int id : dropped)
      if (g_alive[id]) return ::testing::AssertionFailure() << "node " << id << " not freed";
    for (int id : tracked) {
      if (!g_alive[id]) return ::testing::AssertionFailure() << "node " << id << " freed while held";
      const Node& n = nodes[id];
      if (n.attr) {
        if (n.node->getParentNodeFast() != (n.parent < 0 ? nullptr : nodes[n.parent].node))
          return ::testing::AssertionFailure() << "owner of attribute " << id;
        continue;
      }
      std::vector<const ZelNode*> kids;
      for (int k : n.kids) kids.push_back(nodes[k].node);
      ::testing::AssertionResult links = LinksAre(n.node, kids);
      if (!links) {
        links << " of node " << id << " model kids:";
        for (int k : n.kids) links << " " << k;
        links << " real:";
        for (ZelNode* c = n.node->getFirstChildFast(); c; c = c->getNextSiblingFast()) links << " " << IdOf(c);
        return links << " parent " << n.parent;
      }
      ZelNamedNodeMap* map = n.node->getAttributes();
      int length = map == nullptr ? 0 : map->getLength();
      if (length != static_cast<int>(n.attrs.size())) return ::testing::AssertionFailure() << "attributes of " << id;
      ZelNode* attr = length == 0 ? nullptr : map->getFirstNode();
      for (int i = 0; i < length; ++i, attr = map->getNextNode(attr))
        if (attr != nodes[n.attrs[i]].node) return ::testing::AssertionFailure() << "attribute order " << id;
      if (map != nullptr && length > 0 && map->getNextNode(map->getLastNode()) != nullptr)
        return ::testing::AssertionFailure() << "attribute end " << id;
    }
    return ::testing::AssertionSuccess();
  }

  // One random operation, applied to the tree and the model alike.
  void step() {
    std::vector<int> ids = live();
    std::vector<int> treeNodes, elements, attrs;
    for (int id : ids) {
      if (nodes[id].attr) {
        attrs.push_back(id);
        continue;
      }
      treeNodes.push_back(id);
      if (nodes[id].node->isElementNode()) elements.push_back(id);
    }
    int op = pick(14);
    if (ids.size() > 40 && (op < 2 || op == 9)) op = 13;
    lastOp = op;
    if (elements.empty() || op == 0) {
      add(doc->createElement(names[pick(3)]).get(), true);
      return;
    }
    if (op == 1) {
      add(doc->createTextNode(u"t").get(), true);
      return;
    }
    int p = elements[pick(static_cast<int>(elements.size()))];
    ZelNode* parent = nodes[p].node;
    int x = treeNodes[pick(static_cast<int>(treeNodes.size()))];
    ZelNode* child = nodes[x].node;
    std::vector<int>& kids = nodes[p].kids;
    int ref = kids.empty() ? -1 : kids[pick(static_cast<int>(kids.size()))];
    switch (op) {
      case 2:
      case 3: {  // append, or insert before a child or before null
        bool insert = op == 3;
        if (!attrs.empty() && pick(4) == 0) x = attrs[pick(static_cast<int>(attrs.size()))], child = nodes[x].node;
        bool refused = nodes[x].attr || ancestorOrSelf(x, p);
        if (insert && x == ref) refused = false;
        Raised raised = Catch([&] {
          if (insert)
            parent->insertBefore(child, ref < 0 ? nullptr : nodes[ref].node);
          else
            parent->appendChild(child);
        });
        ASSERT_EQ(raised.code, refused ? 2058 : -1) << raised.message;
        if (refused || (insert && x == ref)) return;
        unlink(x);
        auto at = ref < 0 || !insert ? kids.end() : std::find(kids.begin(), kids.end(), ref);
        kids.insert(at, x);
        nodes[x].parent = p;
        return;
      }
      case 4: {  // replace
        if (ref < 0) return;
        bool refused = ancestorOrSelf(x, p) && x != ref;
        Raised raised = Catch([&] { parent->replaceChild(child, nodes[ref].node); });
        ASSERT_EQ(raised.code, refused ? 2058 : -1) << raised.message;
        if (refused || x == ref) return;
        unlink(x);
        *std::find(kids.begin(), kids.end(), ref) = x;
        nodes[x].parent = p;
        nodes[ref].parent = -1;
        return;
      }
      case 5:  // remove
        if (ref < 0) return;
        parent->removeChild(nodes[ref].node);
        unlink(ref);
        return;
      case 6: {  // set an attribute by name
        ZelName name = names[pick(3)];
        static_cast<ZelElement*>(parent)->setAttribute(name, ZelValue(pick(100)));
        for (int a : nodes[p].attrs)
          if (nodes[a].node->getLocalName() == name) return;
        ZelNode* made = static_cast<ZelElement*>(parent)->getAttributeNode(name);
        add(made, false);
        nodes[p].attrs.push_back(IdOf(made));
        nodes[IdOf(made)].parent = p;
        return;
      }
      case 7: {  // set a free attribute node, replacing one of its name in place
        int a = -1;
        for (int id : attrs)
          if (nodes[id].parent < 0) a = id;
        if (a < 0) return;
        auto& list = nodes[p].attrs;
        auto same = std::find_if(list.begin(), list.end(),
                                 [&](int id) { return nodes[id].node->getLocalName() == nodes[a].node->getLocalName(); });
        if (same == list.end()) {
          list.push_back(a);
        } else {
          nodes[*same].parent = -1;
          *same = a;
        }
        nodes[a].parent = p;
        static_cast<ZelElement*>(parent)->setAttributeNode(static_cast<ZelAttr*>(nodes[a].node));
        return;
      }
      case 8: {  // remove an attribute, keeping a handle on it now and then
        if (nodes[p].attrs.empty()) return;
        int a = nodes[p].attrs[pick(static_cast<int>(nodes[p].attrs.size()))];
        if (pick(2) == 0) held[a] = nodes[a].node;
        static_cast<ZelElement*>(parent)->removeAttributeNode(static_cast<ZelAttr*>(nodes[a].node));
        unlink(a);
        return;
      }
      case 9: {  // clone
        ZelPtr<ZelNode> clone = parent->cloneNode(pick(2) == 0);
        if (clone->hasChildNodesFast()) {
          adoptClone(p, clone.get());
        } else {
          std::vector<int> saved;
          saved.swap(nodes[p].kids);
          adoptClone(p, clone.get());
          saved.swap(nodes[p].kids);
        }
        held[IdOf(clone.get())] = clone;
        return;
      }
      case 10:  // remove all children
        parent->removeAllChildNodes();
        for (int k : std::vector<int>(kids)) unlink(k);
        return;
      case 11: {  // take the whole subtree apart
        long expected = 0;
        std::vector<int> work(kids);
        while (!work.empty()) {
          int k = work.back();
          work.pop_back();
          ++expected;
          for (int g : nodes[k].kids) work.push_back(g);
          nodes[k].kids.clear();
          nodes[k].parent = -1;
        }
        kids.clear();
        ASSERT_EQ(parent->deleteAllChildNodes(), expected);
        return;
      }
      default: {  // drop a handle
        if (held.empty()) return;
        auto it = held.begin();
        std::advance(it, pick(static_cast<int>(held.size())));
        held.erase(it);
        return;
      }
    }
  }
};

TEST(DomModel, RandomOperationsAgreeWithAPlainModel) {
  constexpr int kSteps = 100000;
  {
    Model model;
    for (int i = 0; i < kSteps; ++i) {
      model.step();
      if (::testing::Test::HasFatalFailure()) FAIL() << "at step " << i;
      model.settle();
      ::testing::AssertionResult ok = model.check();
      if (!ok) FAIL() << "after step " << i << " (operation " << model.lastOp << "): " << ok.message();
    }
    model.held.clear();
    model.settle();
    EXPECT_TRUE(model.check());
  }
  EXPECT_EQ(std::count(g_alive.begin(), g_alive.end(), true), 0);
}

// ---- walks

void RecursiveWalk(ZelNode* node, bool isRoot, std::vector<std::pair<ZelNode*, bool>>& out) {
  out.push_back({node, false});
  for (ZelNode* c = node->getFirstChild(); c != nullptr; c = c->getNextSibling()) RecursiveWalk(c, false, out);
  out.push_back({node, true});
  (void)isRoot;
}

ZelPtr<ZelNode> RandomTree(ZelDocument& doc, std::mt19937& rng, int size) {
  ZelPtr<ZelNode> root(doc.createElement(Nm("r")).get());
  std::vector<ZelNode*> elements{root.get()};
  for (int i = 0; i < size; ++i) {
    ZelNode* parent = elements[rng() % elements.size()];
    if (rng() % 3 == 0) {
      parent->appendChild(doc.createTextNode(u"t").get());
    } else {
      ZelPtr<ZelElement> e = doc.createElement(rng() % 2 ? Nm("a") : Nm("b"));
      parent->appendChild(e.get());
      elements.push_back(e.get());
    }
  }
  return root;
}

TEST(DomWalks, IteratorsAndListsMatchARecursiveWalk) {
  std::mt19937 rng(7);
  ZelPtr<ZelDocument> doc(new ZelDocument());
  for (int round = 0; round < 60; ++round) {
    ZelPtr<ZelNode> root = RandomTree(*doc, rng, round % 20);
    std::vector<std::pair<ZelNode*, bool>> visits;
    RecursiveWalk(root.get(), true, visits);
    for (auto order : {ZelTreeIterator::PRE_ORDER, ZelTreeIterator::POST_ORDER, ZelTreeIterator::PRE_AND_POST_ORDER}) {
      std::vector<ZelNode*> expected;
      for (auto [node, post] : visits) {
        bool leaf = !node->hasChildNodes();
        bool report = order == ZelTreeIterator::PRE_ORDER    ? !post
                      : order == ZelTreeIterator::POST_ORDER ? post
                                                             : !post || !leaf || node->isElementNode();
        if (report) expected.push_back(node);
      }
      ZelTreeIterator it(root.get(), nullptr, false, order);
      std::vector<ZelNode*> forward;
      for (;;) {
        bool has = it.hasNextNode();
        ZelNode* n = it.nextNode();
        ASSERT_EQ(has, n != nullptr) << "round " << round << " order " << order << " at " << forward.size();
        if (n == nullptr) break;
        forward.push_back(n);
      }
      EXPECT_EQ(forward, expected) << "round " << round << " order " << order;
      ZelTreeIterator back(root.get(), nullptr, true, order);
      std::vector<ZelNode*> backward;
      for (;;) {
        bool has = back.hasPreviousNode();
        ZelNode* n = back.previousNode();
        ASSERT_EQ(has, n != nullptr) << "round " << round << " order " << order << " at " << backward.size();
        if (n == nullptr) break;
        backward.push_back(n);
      }
      std::reverse(backward.begin(), backward.end());
      EXPECT_EQ(backward, expected) << "round " << round << " order " << order;
    }
    std::vector<ZelNode*> descendants, elements, named;
    for (auto [node, post] : visits) {
      if (post || node == root.get()) continue;
      descendants.push_back(node);
      if (node->isElementNode()) elements.push_back(node);
      if (node->isElementNode() && node->getLocalName() == Nm("a")) named.push_back(node);
    }
    auto listed = [](const ZelPtr<ZelNodeList>& list, bool backwards) {
      std::vector<ZelNode*> out;
      if (!backwards) {
        for (int i = 0; i < list->getLength(); ++i) out.push_back(list->item(i));
        return out;
      }
      for (ZelNode* n = list->getLastNode(); n != nullptr; n = list->getPreviousNode(n)) out.push_back(n);
      std::reverse(out.begin(), out.end());
      return out;
    };
    for (bool backwards : {false, true}) {
      EXPECT_EQ(listed(root->getDescendantNodes(), backwards), descendants) << round;
      EXPECT_EQ(listed(root->getElementsByTagName(Nm("*")), backwards), elements) << round;
      EXPECT_EQ(listed(root->getElementsByTagNameNS(Nm("*"), Nm("a")), backwards), named) << round;
    }
    std::vector<ZelNode*> iterated;
    ZelNodeIterator nodes(root.get(), nullptr);
    while (nodes.hasNextNode()) iterated.push_back(nodes.nextNode());
    EXPECT_EQ(iterated, descendants);
    std::vector<ZelNode*> reversed;
    while (nodes.hasPreviousNode()) reversed.push_back(nodes.previousNode());
    std::reverse(reversed.begin(), reversed.end());
    EXPECT_EQ(reversed, descendants);
    std::vector<ZelNode*> children, childList;
    for (ZelNode* c = root->getFirstChild(); c != nullptr; c = c->getNextSibling()) children.push_back(c);
    ZelNodeIterator kids = root->getChildNodes()->getIterator();
    while (ZelNode* n = kids.nextNode()) childList.push_back(n);
    EXPECT_EQ(childList, children);
  }
}

// ---- a million nodes

constexpr int kMillion = 1000000;

struct BigCase {
  const char* name;
  bool nested;
};

TEST(DomLarge, MillionNodesDeepOrWide) {
  for (const BigCase& c : {BigCase{"nested", true}, BigCase{"siblings", false}}) {
    ZelPtr<ZelDocument> doc(new ZelDocument());
    ZelPtr<ZelElement> root = doc->createElementNS(Nm("urn:big"), Nm("b:root"));
    root->setAttribute(Nm("xmlns:c"), ZelValue(Nm("urn:c")));
    doc->appendChild(root.get());
    root->setSourceLineNumber(1);
    ZelNode* at = root.get();
    ZelNode* last = nullptr;
    for (int i = 0; i < kMillion; ++i) {
      if (c.nested) {
        // With their namespace stored, so that cloning does not ask the
        // ancestors for it at every level.
        ZelPtr<ZelElement> e = doc->createElementNS(ZelName(), Nm("e"));
        at->appendChild(e.get());
        at = last = e.get();
      } else {
        last = root->appendChildText(u"t");
      }
    }
    EXPECT_EQ(last->getSourceLineNumber(), 1) << c.name;
    EXPECT_EQ(last->lookupNamespaceUri(Nm("b")), Nm("urn:big")) << c.name;
    EXPECT_EQ(last->lookupNamespaceUri(Nm("c")), Nm("urn:c")) << c.name;
    EXPECT_EQ(last->lookupPrefix(Nm("urn:c")), Nm("c")) << c.name;
    if (c.nested) {
      ZelPtr<ZelElement> plain = doc->createElement(Nm("c:leaf"));
      last->appendChild(plain.get());
      EXPECT_EQ(plain->getNamespaceUri(), Nm("urn:c")) << c.name;
      last->removeChild(plain.get());
    }
    EXPECT_EQ(last->getNodeDepth(), c.nested ? kMillion : 1) << c.name;
    {
      ZelPtr<ZelNode> clone = root->cloneNode(true);
      ZelNode* deepest = clone.get();
      int count = 0;
      if (c.nested) {
        while (deepest->getFirstChildFast() != nullptr) deepest = deepest->getFirstChildFast(), ++count;
      } else {
        count = clone->getChildNodeCount();
      }
      EXPECT_EQ(count, kMillion) << c.name;
    }
    ZelPtr<ZelNode> kept(root->getFirstChild());
    EXPECT_EQ(root->deleteAllChildNodes(), kMillion) << c.name;
    EXPECT_FALSE(kept->hasChildNodesFast()) << c.name;
    // And once more, released as a whole with the document.
    at = root.get();
    for (int i = 0; i < kMillion; ++i) {
      if (c.nested) {
        ZelPtr<ZelElement> e = doc->createElement(Nm("e"));
        at->appendChild(e.get());
        at = e.get();
      } else {
        root->appendChildText(u"t");
      }
    }
  }
}

}  // namespace
