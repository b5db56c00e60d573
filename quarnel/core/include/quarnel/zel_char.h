// Character tests for XML names, white space and line layout. Every member is
// a pure function of its argument; the property answers come from ICU.
#pragma once

#include <cstdint>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelChar {
 public:
  // XML names and characters.
  static bool isNameStartChar(int32_t c);
  static bool isNameChar(int32_t c);
  static bool isNCNameStartChar(int32_t c);
  static bool isNCNameChar(int32_t c);
  static bool isValidChar(int32_t c);

  // White space, breaks and ASCII classes.
  static bool isWhitespace(int32_t c);
  static bool isWhitespace(const UnicodeString& text);
  static bool isEmptyOrWhitespace(const UnicodeString& text);
  static bool isCssWhitespace(int32_t c);
  static bool isCssNewline(int32_t c);
  static bool isHardBreak(int32_t c);
  static bool isHardBreakOrInvalid(int32_t c);
  static bool isAsciiNoHardBreak(int32_t c);
  static bool isAsciiDigit(int32_t c);
  static bool isAsciiLetter(int32_t c);
  static bool isHexDigit(int32_t c);
  static bool isSpaceChar(int32_t c);
  static bool isFixedWidthSpaceChar(int32_t c);
  static bool isJoiningChar(int32_t c);
  static bool isZeroWidthControlCode(int32_t c);
  // The value of a digit the caller has checked with isHexDigit.
  static int32_t hex2dig(int32_t c);

  // Unicode properties.
  static UEastAsianWidth getEastAsianWidth(int32_t c);
  static UCharCategory getCategory(int32_t c);
  static ULineBreak getLineBreak(int32_t c);
  static bool isAlphabetic(int32_t c);
  static bool isLetter(int32_t c);
  static bool isPunct(int32_t c);
  static bool isPunct(UCharCategory category);
  static bool isSymbol(int32_t c);

  // Width classes: zenkaku is full width, hankaku half width.
  static bool isZenkaku(UEastAsianWidth width);
  static bool isZenkaku(int32_t c);
  static bool isZenkakuAmbiguous(UEastAsianWidth width);
  static bool isHankaku(UEastAsianWidth width);
  static bool isHankaku(int32_t c);
  static bool isHankakuChar(int32_t c);
  static bool isHankakuKana(int32_t c);
  static bool isNoVerticalChar(int32_t c);
  static bool isHalf(int32_t c);
  static char16_t toZenkaku(char16_t unit);

  // Punctuation for line layout.
  static bool isOpenParenEtc(int32_t c);
  static bool isCloseParenEtc(int32_t c);
  static bool isZenkakuMidDotEtc(int32_t c);
  static bool isHalfPunct(int32_t c);
  static bool isHangingPunctuationEndChar(int32_t c);
  static bool isFullStopChar(int32_t c);
  static bool isBullet(int32_t c);
  static bool isNonSeparateChars(int32_t a, int32_t b);
  static bool isNonStarterJIS(int32_t c);
  static bool isSymbolJIS(int32_t c);

  // Blocks.
  static bool isMathOperator(int32_t c);
  static bool isArrow(int32_t c);
  static bool isToneLetters(int32_t c);
  static bool isArabic(int32_t c);
  static bool isVariationSelectorCharacter(int32_t c);

  // The last UTF-16 unit or code point of a text; U+FFFF for an empty one.
  static char16_t last(const UnicodeString& text);
  static int32_t last32(const UnicodeString& text);
};

}  // namespace ObraCommon
