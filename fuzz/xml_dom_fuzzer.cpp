// The document model under arbitrary sequences of tree operations: each
// input byte picks an operation, the following bytes its operands among
// eight node slots (slot 0 starts with the document). Refused operations
// throw ZelError and must leave a sound tree; walks are bounded, and the
// whole forest must be freed when the slots are dropped (leaks are
// findings). Deep clones copy at most kCloneBudget nodes per input in all:
// a clone appended to its source doubles the tree, and a few hundred such
// pairs would ask for more memory than any machine has.
#include <cstddef>
#include <cstdint>

#include "quarnel/dom.h"
#include "quarnel/error.h"

using namespace ObraCommon;

namespace {

constexpr int kSlots = 8;
constexpr int kWalkBound = 4096;
constexpr int kCloneBudget = 8192;

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  int clone_budget = kCloneBudget;  // nodes deep clones may still copy
  bool done() const { return at >= size; }
  int next() { return at < size ? data[at++] : 0; }
};

ZelElement* AsElement(const ZelPtr<ZelNode>& node) {
  return node && node->isA(ZelElement::getStaticTypeID()) ? static_cast<ZelElement*>(node.get()) : nullptr;
}

ZelAttr* AsAttr(const ZelPtr<ZelNode>& node) {
  return node && node->isA(ZelAttr::getStaticTypeID()) ? static_cast<ZelAttr*>(node.get()) : nullptr;
}

// The nodes of root's subtree, root included, counted up to limit + 1.
int CountNodes(const ZelNode* root, int limit) {
  int count = 0;
  for (const ZelNode* node = root; node != nullptr && count <= limit;) {
    ++count;
    if (const ZelNode* child = node->getFirstChild()) {
      node = child;
      continue;
    }
    while (node != nullptr && node != root && node->getNextSibling() == nullptr) node = node->getParentNode();
    node = node == nullptr || node == root ? nullptr : node->getNextSibling();
  }
  return count;
}

void Walk(ZelNode* root, int order) {
  volatile int sink = 0;
  ZelTreeIterator it(root, nullptr, (order & 4) != 0, static_cast<ZelTreeIterator::TraversalOrder>(1 + order % 3));
  for (int i = 0; i < kWalkBound; ++i) {
    bool has = (order & 4) ? it.hasPreviousNode() : it.hasNextNode();
    ZelNode* node = (order & 4) ? it.previousNode() : it.nextNode();
    if (has != (node != nullptr)) __builtin_trap();
    if (node == nullptr) break;
    sink = sink + node->getNodeDepth() + node->getSourceLineNumber();
  }
  ZelNodeIterator nodes(root, nullptr);
  for (int i = 0; i < kWalkBound && nodes.hasNextNode(); ++i) sink = sink + (nodes.nextNode() != nullptr);
  sink = sink + root->lookupNamespaceUri(ZelName()) + root->lookupPrefix(ZelName(UnicodeString(u"urn:a"))) +
         root->isDefaultNamespace(ZelName()) + root->getInnerText().length() + root->getChildNodeCount();
  (void)sink;
}

void Step(ZelDocument& doc, ZelPtr<ZelNode>* slot, Input& in) {
  static const ZelName names[] = {ZelName(UnicodeString(u"a")), ZelName(UnicodeString(u"p:b")),
                                  ZelName(UnicodeString(u"xmlns")), ZelName(UnicodeString(u"xmlns:p"))};
  int op = in.next() % 16;
  ZelPtr<ZelNode>& x = slot[in.next() % kSlots];
  ZelPtr<ZelNode>& y = slot[in.next() % kSlots];
  ZelPtr<ZelNode>& z = slot[in.next() % kSlots];
  int arg = in.next();
  ZelName name = names[arg % 4];
  switch (op) {
    case 0: x = doc.createElement(name).get(); break;
    case 1: x = doc.createTextNode(u"t").get(); break;
    case 2: x = doc.createProcessingInstruction(u"pi").get(); break;
    case 3: x = doc.createAttribute(name).get(); break;
    case 4: x = doc.createDocumentFragment().get(); break;
    case 5: if (x) x->appendChild(y.get()); break;
    case 6: if (x) x->insertBefore(y.get(), z.get()); break;
    case 7: if (x) x->replaceChild(y.get(), z.get()); break;
    case 8: if (x) x->removeChild(y.get()); break;
    case 9:
      if (ZelElement* e = AsElement(x)) e->setAttribute(name, ZelValue(ZelName(UnicodeString(u"urn:a"))));
      break;
    case 10:
      if (ZelElement* e = AsElement(x)) {
        if (arg & 4)
          e->setAttributeNodeNS(AsAttr(y));
        else
          e->setAttributeNode(AsAttr(y));
      }
      break;
    case 11:
      if (ZelElement* e = AsElement(x)) e->removeAttributeNode(AsAttr(y));
      break;
    case 12:
      if (!x) break;
      if (arg & 1) {
        const int nodes = CountNodes(x.get(), in.clone_budget);
        if (nodes > in.clone_budget) break;
        in.clone_budget -= nodes;
      }
      z = x->cloneNode((arg & 1) != 0);
      break;
    case 13: if (x) x->removeAllChildNodes(); break;
    case 14: if (x) x->deleteAllChildNodes(); break;
    default:
      if (!x) break;
      Walk(x.get(), arg);
      // Take a handle on a neighbour, so later operations reach inside trees.
      switch (arg % 3) {
        case 0: y = x->getParentNode(); break;
        case 1: y = x->getFirstChild(); break;
        default: y = x->getNextSibling(); break;
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  ZelPtr<ZelNode> slot[kSlots];
  {
    ZelPtr<ZelDocument> doc(new ZelDocument());
    slot[0] = doc.get();
    while (!in.done()) {
      try {
        Step(*doc, slot, in);
      } catch (const ZelError&) {
      }
    }
    for (ZelPtr<ZelNode>& s : slot) s.reset();
  }
  return 0;
}
