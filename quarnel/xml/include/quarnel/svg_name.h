// SVGName: a word of the SVG vocabulary (element names, attribute names
// and keyword values) as its number, 1 to 134; 0 is the empty word. Words
// are found through a map from word to number built when the library
// loads.
#pragma once

#include <cstdint>

#include "quarnel/export.h"
#include "quarnel/name.h"

namespace ObraCommon {

class ZelValue;

enum SVGNameEnum : int32_t { SVG_NAME_EMPTY = 0, SVG_NAME_LAST = 134 };

class QUARNEL_API SVGName {
 public:
  SVGName() : m_value(SVG_NAME_EMPTY) {}
  SVGName(SVGNameEnum value) : m_value(value) {}
  // The number of the name's word; empty for a word not in the vocabulary
  // (matching is exact and case-sensitive).
  explicit SVGName(ZelName name);
  explicit SVGName(const ZelValue& value);
  SVGName(const SVGName& other) = default;
  SVGName& operator=(const SVGName& other) = default;

  bool isEmpty() const { return m_value == SVG_NAME_EMPTY; }
  operator SVGNameEnum() const { return m_value; }
  // The word as a name of the shared name table; empty for 0 or a number
  // outside the vocabulary.
  operator ZelName() const { return toZelName(m_value); }
  static ZelName toZelName(SVGNameEnum value);

  bool operator==(const SVGName& other) const { return m_value == other.m_value; }
  bool operator!=(const SVGName& other) const { return m_value != other.m_value; }
  bool operator==(SVGNameEnum other) const { return m_value == other; }
  bool operator!=(SVGNameEnum other) const { return m_value != other; }

  // Empties the map from word to number; every lookup after it answers
  // empty, while numbers still give their words. Takes no lock: the
  // library's clean-up calls it when no other thread runs.
  static void cleanup();

 private:
  SVGNameEnum m_value;
};

}  // namespace ObraCommon
