// MathMLName: a word of the MathML vocabulary (element and attribute names,
// keyword values) as a number of that vocabulary, found through a static
// map from word to number.
#pragma once

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API MathMLName {
 public:
  // Empties the map from word to number, which can be filled again. Takes
  // no lock: the library's clean-up calls it when no other thread runs.
  static void cleanup();
};

}  // namespace ObraCommon
