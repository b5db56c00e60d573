// Every static object of the library that other parts may use at start-up
// lives here, constructed before any static of another translation unit
// (init_priority) and in this order. No static of the library copies a
// static of another translation unit while the library loads; tables are
// constant data or built on first use.
#include <iterator>

#include "quarnel/shared_strings.h"
#include "vocabulary_maps.h"

namespace ObraCommon {

ZelEmptyString::ZelEmptyString() = default;
ZelEmptyString::ZelEmptyString(const ZelEmptyString& other) = default;
ZelEmptyString& ZelEmptyString::operator=(const ZelEmptyString& other) = default;
ZelEmptyString::~ZelEmptyString() = default;

ZelBogusString::ZelBogusString() { setToBogus(); }
ZelBogusString::ZelBogusString(const ZelBogusString& other) = default;
ZelBogusString& ZelBogusString::operator=(const ZelBogusString& other) = default;
ZelBogusString::~ZelBogusString() = default;

__attribute__((init_priority(200))) const ZelEmptyString ZelEmptyString::EMPTY_VALUE;
__attribute__((init_priority(200))) const ZelBogusString ZelBogusString::BOGUS_VALUE;

namespace {

// The vocabularies' words, entry 0 the empty word; constant data, so they
// are in place before any constructor runs.
const char16_t* const kMathMLWords[] = {
    u"",
#include "mathml_words.inc"
};
const char16_t* const kSvgWords[] = {
    u"",
#include "svg_words.inc"
};

__attribute__((init_priority(220))) Vocabulary gMathMLVocabulary(kMathMLWords, std::size(kMathMLWords));
__attribute__((init_priority(220))) Vocabulary gSvgVocabulary(kSvgWords, std::size(kSvgWords));

}  // namespace

Vocabulary& mathMLVocabulary() { return gMathMLVocabulary; }
Vocabulary& svgVocabulary() { return gSvgVocabulary; }

}  // namespace ObraCommon
