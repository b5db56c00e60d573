// The constant tables of list numbering and kanji numerals: alphabets by
// language, the fixed letter sequences, the roman letter sets, the digit
// sets and the Hebrew and kanji numeral characters. The rows themselves are
// in numbering_tables.inc.
#pragma once

namespace ObraCommon::numbering {

enum class AlphabetScript { kLatin = 0, kGreek = 1, kCyrillic = 2 };

struct AlphabetRow {
  const char* language;
  AlphabetScript script;
  const char16_t* upper;  // nullptr: the language has no upper-case row
  const char16_t* lower;
};

struct Sequence {
  char32_t token;
  const char16_t* letters;
};

// Letters for 1, 5, 10, 50, 100, 500, 1000 and, in the larger sets, 5000
// and 10000.
struct RomanSet {
  char32_t token;
  const char16_t* letters;
  int largest;
};

struct DigitSet {
  const char16_t* digits;
};

#include "numbering_tables.inc"

}  // namespace ObraCommon::numbering
