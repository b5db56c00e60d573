// The MathML and SVG vocabularies: each a constant table of words (entry 0
// the empty word) and a map from word to number, ordered by UTF-16 code
// units. Both are built with the library's start-up statics, before any
// caller runs, and read without a lock afterwards.
#pragma once

#include <cstdint>
#include <map>

#include <unicode/unistr.h>

#include "quarnel/name.h"

namespace ObraCommon {

using VocabularyMap = std::map<icu::UnicodeString, int32_t>;

class Vocabulary {
 public:
  // Every index is inserted as (word, index); the first index of a word
  // would win, though no table holds a word twice.
  Vocabulary(const char16_t* const* words, int32_t count);
  Vocabulary(const Vocabulary&) = delete;
  Vocabulary& operator=(const Vocabulary&) = delete;

  // The number of word; 0 when the map does not hold it.
  int32_t lookup(const UnicodeString& word) const;
  // The word of value as a shared name; empty outside the table.
  ZelName name(int32_t value) const;
  VocabularyMap& map() { return m_map; }

 private:
  const char16_t* const* m_words;
  int32_t m_count;
  VocabularyMap m_map;
};

Vocabulary& mathMLVocabulary();
Vocabulary& svgVocabulary();
inline VocabularyMap& mathMLNameMap() { return mathMLVocabulary().map(); }
inline VocabularyMap& svgNameMap() { return svgVocabulary().map(); }

}  // namespace ObraCommon
