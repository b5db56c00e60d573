// The property-value tokenizer. Positions are offsets into the tokenizer's
// own copy of the text, so a copied tokenizer reads its own copy.
#include "quarnel/tokenizer.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "quarnel/color.h"
#include "quarnel/util.h"
#include "text_chars.h"

namespace ObraCommon {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool isNameStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || c == u'_' || (c >= u'a' && c <= u'z') || (c >= 0xC0 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         c >= 0xF900;
}

bool isNameChar(char16_t c) {
  return isNameStart(c) || c == u'-' || c == u'.' || isAsciiDigit(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x203F && c <= 0x2040);
}

bool startsNumber(const char16_t* p) { return isAsciiDigit(p[0]) || (p[0] == u'.' && isAsciiDigit(p[1])); }

struct UnitWord {
  const char16_t* word;
  ZelValueUnitType unit;
};

const UnitWord UNIT_WORDS[] = {
    {u"em", UNIT_EM},   {u"ex", UNIT_EX},   {u"px", UNIT_PX},     {u"cm", UNIT_CM},   {u"mm", UNIT_MM},
    {u"in", UNIT_IN},   {u"pt", UNIT_PT},   {u"pc", UNIT_PC},     {u"jpt", UNIT_JPT}, {u"q", UNIT_Q},
    {u"deg", UNIT_DEG}, {u"rad", UNIT_RAD}, {u"grad", UNIT_GRAD}, {u"ms", UNIT_MS},   {u"s", UNIT_S},
    {u"hz", UNIT_HZ},   {u"khz", UNIT_KHZ}, {u"dpi", UNIT_DPI},   {u"twip", UNIT_TWIP},
};

// The unit of a word, matched without regard to ASCII case; UNIT_NONE for
// any other word.
ZelValueUnitType unitOfWord(const UnicodeString& word) {
  if (word.length() > 4) return UNIT_NONE;
  char16_t lower[5] = {};
  for (int32_t i = 0; i < word.length(); ++i) {
    char16_t c = word.charAt(i);
    lower[i] = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  }
  for (const UnitWord& entry : UNIT_WORDS)
    if (std::u16string_view(entry.word) == std::u16string_view(lower, static_cast<size_t>(word.length())))
      return entry.unit;
  return UNIT_NONE;
}

ZelValue plainNumber(double number) {
  if (number == std::floor(number) && number >= std::numeric_limits<int32_t>::min() &&
      number <= std::numeric_limits<int32_t>::max())
    return ZelValue(static_cast<int>(number));
  return ZelValue(static_cast<float>(number), UNIT_NUMBER);
}

ZelValue characterValue(int kind) {
  ZelValue value(kind);
  value.setUnitType(UNIT_CHAR);
  return value;
}

}  // namespace

ZelTokenizer::ZelTokenizer(const UnicodeString& text)
    : m_kind(TOKEN_NONE), m_number(0), m_position(0), m_pushedBack(false) {
  if (!text.isBogus()) {
    std::u16string_view units(text.getBuffer(), static_cast<size_t>(text.length()));
    m_source.assign(units.substr(0, units.find(u'\0')));
  }
}

void ZelTokenizer::skipWhitespace() {
  while (isBlank(current())) ++m_position;
}

void ZelTokenizer::setToken(int kind, double number) {
  m_kind = kind;
  m_number = number;
}

int ZelTokenizer::nextToken() {
  if (m_pushedBack) {
    m_pushedBack = false;
    return m_kind;
  }
  skipWhitespace();
  m_text.remove();
  const char16_t* p = getPtr();
  char16_t c = *p;
  if (c == 0) {
    setToken(TOKEN_END, 0);
  } else if (isNameStart(c)) {
    size_t start = m_position;
    while (isNameChar(current())) ++m_position;
    m_text.setTo(m_source.data() + start, static_cast<int32_t>(m_position - start));
    setToken(TOKEN_NAME, 0);
  } else if (c == u'"' || c == u'\'') {
    size_t close = m_source.find(c, m_position + 1);
    if (close == std::u16string::npos) {
      ++m_position;
      setToken(c, 0);
    } else {
      m_text.setTo(m_source.data() + m_position + 1, static_cast<int32_t>(close - m_position - 1));
      m_position = close + 1;
      setToken(TOKEN_STRING, 0);
    }
  } else if (startsNumber(p)) {
    const char16_t* end = p;
    double number = ZelUtil::parseNumber(p, &end);
    m_position += static_cast<size_t>(end - p);
    if (current() == u'%') {
      m_text.setTo(u'%');
      ++m_position;
    } else if (isNameStart(current())) {
      size_t start = m_position;
      while (isNameChar(current())) ++m_position;
      m_text.setTo(m_source.data() + start, static_cast<int32_t>(m_position - start));
    }
    setToken(TOKEN_NUMBER, number);
  } else if (c == u'#' && hexDigitValue(p[1]) >= 0) {
    const char16_t* end = p + 1;
    unsigned int word = ZelUtil::parseHexNum(p + 1, &end);
    ptrdiff_t digits = end - (p + 1);
    if (digits <= 3) {
      // Short forms double each digit: #abc is #aabbcc, #5 is #55.
      word = 0;
      for (const char16_t* d = p + 1; d < end; ++d) word = (word << 8) | (static_cast<unsigned int>(hexDigitValue(*d)) * 17u);
    } else if (digits > 8) {
      // More digits than a colour word holds: no colour, rather than the
      // transparent marker the saturated number would be.
      word = ZelColor::INVALID_RGB;
    }
    m_position += static_cast<size_t>(end - p);
    setToken(TOKEN_COLOR, word);
  } else {
    ++m_position;
    setToken(c, 0);
  }
  return m_kind;
}

ZelValue ZelTokenizer::nextTokenValue() {
  switch (nextToken()) {
    case TOKEN_END:
      return ZelValue();
    case TOKEN_COLOR:
      return ZelValue(ZelColor(static_cast<unsigned int>(m_number)));
    case TOKEN_STRING:
      return ZelValue(m_text, UNIT_LITERAL);
    case TOKEN_NAME:
      return ZelValue(ZelName(m_text));
    case TOKEN_NUMBER:
      break;
    default:
      return characterValue(m_kind);
  }
  if (!m_text.isEmpty() && m_text.charAt(0) == u'%') return ZelValue(static_cast<float>(m_number), UNIT_PERCENT);
  if (!m_text.isEmpty()) {
    ZelValueUnitType unit = unitOfWord(m_text);
    if (unit != UNIT_NONE) return ZelValue(static_cast<float>(m_number), unit);
    // Not a unit: the word is the next token.
    m_position -= static_cast<size_t>(m_text.length());
    m_text.remove();
  }
  return plainNumber(m_number);
}

ZelValue ZelTokenizer::nextTokenValueSigned() {
  if (m_pushedBack) {
    ZelValue value = nextTokenValue();
    if (m_kind < 0) return value;
    // A pushed-back character may be the sign of a number.
    if (m_position > 0) --m_position;
  }
  skipWhitespace();
  char16_t sign = current();
  if ((sign == u'+' || sign == u'-') && startsNumber(getPtr() + 1)) {
    size_t signAt = m_position;
    ++m_position;
    ZelValue value = nextTokenValue();
    if (value.isNumeric()) {
      if (sign == u'-') {
        m_number = -m_number;
        value = -value;
      }
      return value;
    }
    m_position = signAt;
  }
  return nextTokenValue();
}

ZelValue ZelTokenizer::readWithExponent(double& number) {
  ZelValue value = nextTokenValueSigned();
  number = m_number;
  if (m_kind != TOKEN_NUMBER || !value.isNumber() || (current() != u'e' && current() != u'E')) return value;
  size_t letterAt = m_position;
  double mantissa = m_number;
  int kind = m_kind;
  UnicodeString text = m_text;
  ++m_position;
  ZelValue exponent = nextTokenValueSigned();
  if (m_kind != TOKEN_NUMBER || !exponent.isNumeric()) {
    m_position = letterAt;
    m_pushedBack = false;
    m_kind = kind;
    m_number = mantissa;
    m_text = text;
    return value;
  }
  number = mantissa * std::pow(10.0, m_number);
  m_number = number;
  ZelValueUnitType unit = exponent.getUnitType();
  return ZelValue(static_cast<float>(number), unit);
}

ZelValue ZelTokenizer::nextTokenValueExp() {
  double number = 0;
  return readWithExponent(number);
}

double ZelTokenizer::nextTokenDoubleExp() {
  double number = 0;
  readWithExponent(number);
  return number;
}

void ZelTokenizer::skipNested() {
  // A depth count rather than a reading of each inner item, so nesting of
  // any depth takes no stack; the inner values would be thrown away anyway.
  size_t depth = 1;
  for (;;) {
    int kind = nextToken();
    if (kind == TOKEN_END) return;
    if (kind == u'(') ++depth;
    if (kind == u')' && --depth == 0) return;
  }
}

ZelValue ZelTokenizer::nextTokenValueFunc() {
  skipWhitespace();
  size_t start = m_position;
  ZelValue value = nextTokenValueExp();
  bool group = m_kind == u'(' && value.isCharacter();
  bool function = m_kind == TOKEN_NAME && current() == u'(';
  if (!group && !function) return value;
  UnicodeString name = m_text;
  // A one-character token leaves the position just after it, also when it
  // was pushed back before.
  if (group) start = m_position - 1;
  if (function) ++m_position;
  skipNested();
  UnicodeString item(m_source.data() + start, static_cast<int32_t>(m_position - start));
  if (function && name == u"url") return ZelValue(ZelUtil::unquoteUri(item), UNIT_URI);
  if (function && name == u"rgb") return ZelValue::parseColor(item, false);
  return ZelValue(item, UNIT_NONE);
}

UnicodeString ZelTokenizer::nextSeparatedValue(char16_t separator) {
  if (m_pushedBack) {
    m_pushedBack = false;
    return m_text;
  }
  skipWhitespace();
  m_text.remove();
  if (current() == 0) {
    setToken(TOKEN_END, 0);
    return m_text;
  }
  setToken(TOKEN_STRING, 0);
  for (;;) {
    char16_t c = current();
    if (c == u'"' || c == u'\'') {
      size_t close = m_source.find(c, m_position + 1);
      size_t stop = close == std::u16string::npos ? m_source.size() : close;
      m_text.append(m_source.data() + m_position + 1, static_cast<int32_t>(stop - m_position - 1));
      m_position = close == std::u16string::npos ? stop : close + 1;
    } else {
      size_t start = m_position;
      while (current() != 0 && current() != separator && !isBlank(current())) ++m_position;
      m_text.append(m_source.data() + start, static_cast<int32_t>(m_position - start));
    }
    skipWhitespace();
    if (current() == 0 || isBlank(separator)) return m_text;
    if (current() == separator) {
      ++m_position;
      skipWhitespace();
      return m_text;
    }
    m_text.append(u' ');
  }
}

bool ZelTokenizer::skipSeparator(char16_t c) {
  if (m_pushedBack) return false;
  skipWhitespace();
  // The terminator is never consumed.
  if (c == 0 || current() != c) return false;
  ++m_position;
  skipWhitespace();
  return true;
}

bool ZelTokenizer::scanSeparator(char16_t c) const {
  if (m_pushedBack) return false;
  size_t place = m_position;
  while (isBlank(at(place))) ++place;
  return at(place) == c;
}

}  // namespace ObraCommon
