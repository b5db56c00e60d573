// SVGName: a word of the SVG vocabulary (element names) as a number of that
// vocabulary, found through a static map from word to number.
#pragma once

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API SVGName {
 public:
  // Empties the map from word to number, which can be filled again. Takes
  // no lock: the library's clean-up calls it when no other thread runs.
  static void cleanup();
};

}  // namespace ObraCommon
