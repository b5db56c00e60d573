// The MathML and SVG vocabularies' lookups, conversions and clean-up. The
// tables themselves are built with the library's start-up statics.
#include "quarnel/mathml_name.h"
#include "quarnel/svg_name.h"
#include "quarnel/value.h"
#include "vocabulary_maps.h"

namespace ObraCommon {

Vocabulary::Vocabulary(const char16_t* const* words, int32_t count) : m_words(words), m_count(count) {
  for (int32_t i = 0; i < count; ++i) m_map.emplace(UnicodeString(words[i]), i);
}

int32_t Vocabulary::lookup(const UnicodeString& word) const {
  auto found = m_map.lower_bound(word);
  return found != m_map.end() && !(word < found->first) ? found->second : 0;
}

ZelName Vocabulary::name(int32_t value) const {
  if (value <= 0 || value >= m_count) return ZelName();
  return ZelName(ZelNameTable::getSharedNameEnum(UnicodeString(m_words[value])));
}

MathMLName::MathMLName(ZelName name)
    : m_value(static_cast<MathMLNameEnum>(mathMLVocabulary().lookup(name.toString()))) {}
MathMLName::MathMLName(const ZelValue& value)
    : m_value(static_cast<MathMLNameEnum>(mathMLVocabulary().lookup(value.toString()))) {}
ZelName MathMLName::toZelName(MathMLNameEnum value) { return mathMLVocabulary().name(value); }
void MathMLName::cleanup() { mathMLNameMap().clear(); }

SVGName::SVGName(ZelName name) : m_value(static_cast<SVGNameEnum>(svgVocabulary().lookup(name.toString()))) {}
SVGName::SVGName(const ZelValue& value)
    : m_value(static_cast<SVGNameEnum>(svgVocabulary().lookup(value.toString()))) {}
ZelName SVGName::toZelName(SVGNameEnum value) { return svgVocabulary().name(value); }
void SVGName::cleanup() { svgNameMap().clear(); }

}  // namespace ObraCommon
