// The reverse maps of the MathML and SVG vocabularies: word to number,
// ordered by UTF-16 code units. Each is built on first use, so it never
// depends on the order in which statics start.
#pragma once

#include <cstdint>
#include <map>

#include <unicode/unistr.h>

namespace ObraCommon {

using VocabularyMap = std::map<icu::UnicodeString, int32_t>;

VocabularyMap& mathMLNameMap();
VocabularyMap& svgNameMap();

}  // namespace ObraCommon
