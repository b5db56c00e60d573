// What the document model's tests share: names from texts, a check of a
// node's child ring against the children expected, and errors caught as
// (code, message, source).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "quarnel/dom.h"
#include "quarnel/error.h"

namespace dom_test {

using namespace ObraCommon;

inline ZelName Nm(const char* text) { return ZelName(UnicodeString::fromUTF8(text)); }

inline std::string Utf8(const UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

struct Raised {
  int code = -1;
  std::string message;
  std::string source;
};

inline Raised Catch(const std::function<void()>& action) {
  Raised raised;
  try {
    action();
  } catch (const ZelError& error) {
    raised.code = error.getErrorCode();
    raised.message = Utf8(error.getRawMessage());
    raised.source = Utf8(error.getSource());
  }
  return raised;
}

// Every link of node's child list agrees with children: parents, previous
// links (null for the first), next links as a ring, the last child.
inline ::testing::AssertionResult LinksAre(const ZelNode* node, const std::vector<const ZelNode*>& children) {
  size_t n = children.size();
  if (node->getLastChildFast() != (n == 0 ? nullptr : children.back()))
    return ::testing::AssertionFailure() << "last child";
  if (node->getFirstChildFast() != (n == 0 ? nullptr : children.front()))
    return ::testing::AssertionFailure() << "first child (the ring's closing link)";
  for (size_t i = 0; i < n; ++i) {
    const ZelNode* child = children[i];
    if (child->getParentNodeFast() != node) return ::testing::AssertionFailure() << "parent of " << i;
    if (child->getPreviousSibling() != (i == 0 ? nullptr : children[i - 1]))
      return ::testing::AssertionFailure() << "previous of " << i;
    if (child->getNextSiblingFast() != (i + 1 == n ? nullptr : children[i + 1]))
      return ::testing::AssertionFailure() << "next of " << i;
  }
  if (node->getChildNodeCount() != static_cast<int>(n)) return ::testing::AssertionFailure() << "count";
  return ::testing::AssertionSuccess();
}

}  // namespace dom_test
