// MathMLName: a word of the MathML vocabulary (element and attribute names,
// keyword values, words of the operator dictionary) as its number, 1 to
// 434; 0 is the empty word. Words are found through a map from word to
// number built when the library loads.
#pragma once

#include <cstdint>

#include "quarnel/export.h"
#include "quarnel/name.h"

namespace ObraCommon {

class ZelValue;

enum MathMLNameEnum : int32_t { MATHML_NAME_EMPTY = 0, MATHML_NAME_LAST = 434 };

class QUARNEL_API MathMLName {
 public:
  MathMLName() : m_value(MATHML_NAME_EMPTY) {}
  MathMLName(MathMLNameEnum value) : m_value(value) {}
  // The number of the name's word; empty for a word not in the vocabulary
  // (matching is exact and case-sensitive).
  explicit MathMLName(ZelName name);
  explicit MathMLName(const ZelValue& value);
  MathMLName(const MathMLName& other) = default;
  MathMLName& operator=(const MathMLName& other) = default;

  bool isEmpty() const { return m_value == MATHML_NAME_EMPTY; }
  operator MathMLNameEnum() const { return m_value; }
  // The word as a name of the shared name table; empty for 0 or a number
  // outside the vocabulary.
  operator ZelName() const { return toZelName(m_value); }
  static ZelName toZelName(MathMLNameEnum value);

  bool operator==(const MathMLName& other) const { return m_value == other.m_value; }
  bool operator!=(const MathMLName& other) const { return m_value != other.m_value; }
  bool operator==(MathMLNameEnum other) const { return m_value == other; }
  bool operator!=(MathMLNameEnum other) const { return m_value != other; }

  // Empties the map from word to number; every lookup after it answers
  // empty, while numbers still give their words. Takes no lock: the
  // library's clean-up calls it when no other thread runs.
  static void cleanup();

 private:
  MathMLNameEnum m_value;
};

}  // namespace ObraCommon
