// The MathML and SVG vocabularies' reverse maps and their clean-up.
#include "quarnel/mathml_name.h"
#include "quarnel/svg_name.h"
#include "vocabulary_maps.h"

namespace ObraCommon {

VocabularyMap& mathMLNameMap() {
  static VocabularyMap map;
  return map;
}

VocabularyMap& svgNameMap() {
  static VocabularyMap map;
  return map;
}

void MathMLName::cleanup() { mathMLNameMap().clear(); }

void SVGName::cleanup() { svgNameMap().clear(); }

}  // namespace ObraCommon
