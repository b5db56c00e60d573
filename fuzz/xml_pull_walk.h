// What the pull-parser harnesses share: a walk to the end of the document
// that reads every accessor the parser offers for the event it stands on.
// Each is asked only where the parser's contract allows it
// (isEmptyElementTag on a start tag, isWhitespace on text), so any error it
// throws is the input's doing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "quarnel/xml_parser.h"

namespace fuzz {

inline void TouchAccessors(ObraCommon::ZelXmlParser& parser, ObraCommon::ZelXmlParser::EventType event) {
  using ObraCommon::ZelXmlParser;
  volatile int32_t sink = parser.getName() + parser.getPrefix() + parser.getNamespace() + parser.getDepth();
  if (event == ZelXmlParser::START_TAG) {
    sink = sink + parser.isEmptyElementTag();
    for (int i = 0; i < parser.getAttributeCount(); ++i) {
      sink = sink + parser.getAttributeValue(i).length() + parser.getAttributeNamespace(i);
      sink = sink + parser.getAttributeValue(parser.getAttributeNamespace(i), parser.getAttributeName(i)).length();
    }
  } else if (event == ZelXmlParser::TEXT) {
    sink = sink + parser.getText().length() + parser.isWhitespace();
  } else if (event != ZelXmlParser::END_TAG) {
    sink = sink + parser.getText().length();
  }
  (void)sink;
}

// Pulls events (by nextToken when tokens is set) up to END_DOCUMENT and
// aborts past bound calls: a parser that neither ends nor throws hangs.
inline void WalkToEnd(ObraCommon::ZelXmlParser& parser, bool tokens, size_t bound) {
  for (size_t calls = 0;; ++calls) {
    if (calls > bound) std::abort();
    auto event = tokens ? parser.nextToken() : parser.next();
    if (event == ObraCommon::ZelXmlParser::END_DOCUMENT) break;
    TouchAccessors(parser, event);
  }
}

}  // namespace fuzz
