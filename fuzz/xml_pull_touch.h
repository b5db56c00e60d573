// Reads every accessor a pull parser offers for the event it stands on, so
// that a harness walking a document exercises them all; each is asked only
// where the parser's contract allows it (isEmptyElementTag on a start tag,
// isWhitespace on text), so any error it throws is a finding's doing.
#pragma once

#include <cstdint>

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

}  // namespace fuzz
