// ZelTokenizer: reads a property-value text (lengths, percentages, names,
// quoted strings, hexadecimal colours, functions such as url(...) and
// rgb(...), separated lists) token by token and turns tokens into
// ZelValues. It works on UTF-16 code units and keeps its own NUL-terminated
// copy of the text, which ends at the first U+0000; a copy of a tokenizer
// has its own text too and goes on from the same place in it.
#pragma once

#include <cstddef>
#include <string>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/value.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelTokenizer {
 public:
  // Token kinds; a one-character token is its code unit (0 and up).
  enum TokenKind : int {
    TOKEN_END = -1,
    TOKEN_NUMBER = -2,
    TOKEN_NAME = -3,
    TOKEN_NONE = -4,
    TOKEN_STRING = -5,
    TOKEN_COLOR = -6,
  };

  // An invalid (bogus) text is read as the empty text.
  explicit ZelTokenizer(const UnicodeString& text);
  ZelTokenizer(const ZelTokenizer& other) = default;
  ZelTokenizer& operator=(const ZelTokenizer& other) = default;
  ~ZelTokenizer() = default;

  int nextToken();
  // The next read gives the current token again.
  void pushBack() { m_pushedBack = true; }
  const char16_t* getPtr() const { return m_source.c_str() + m_position; }

  // The last token: its kind, its number (the value of a number, the word
  // of a colour) and its text (a name, a string's contents, a number's unit
  // word, the last separated item).
  int getTokenType() const { return m_kind; }
  double getNumber() const { return m_number; }
  const UnicodeString& getTokenText() const { return m_text; }

  ZelValue nextTokenValue();
  // A "+" or "-" touching a number belongs to it.
  ZelValue nextTokenValueSigned();
  // A plain number may carry an exponent: 1.5e2mm is 150 mm.
  ZelValue nextTokenValueExp();
  double nextTokenDoubleExp();
  // One item: a value, or a whole function call or parenthesised group.
  ZelValue nextTokenValueFunc();
  // The next item of a list separated by separator; kind TOKEN_STRING, or
  // TOKEN_END with the empty text at the end.
  UnicodeString nextSeparatedValue(char16_t separator);
  // Both answer false while a token is pushed back.
  bool skipSeparator(char16_t c);
  bool scanSeparator(char16_t c) const;

 private:
  char16_t at(size_t place) const { return m_source[place]; }
  char16_t current() const { return m_source[m_position]; }
  void skipWhitespace();
  void setToken(int kind, double number);
  // The value of an item with an optional exponent; number is its double.
  ZelValue readWithExponent(double& number);
  // Moves past the rest of a call or group whose "(" was read.
  void skipNested();

  int m_kind;
  double m_number;
  UnicodeString m_text;
  std::u16string m_source;
  size_t m_position;
  bool m_pushedBack;
};

}  // namespace ObraCommon
