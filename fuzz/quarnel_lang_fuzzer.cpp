// libFuzzer harness of Quarnel's language tags, scripts and character
// classes, which read tags and script names from documents. The input builds
// a ZelLang as bytes, as UTF-8 text and as language and country split at
// the first "|", and a ZelScript from the text; every query runs, the
// character tests walk the text's code points, and the order must be
// irreflexive and equality reflexive. Only ICU's own codes reach the shared
// name table, so the harness's memory stays bounded.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "quarnel/zel_char.h"
#include "quarnel/zel_lang.h"
#include "quarnel/zel_script.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelChar;
using ObraCommon::ZelLang;
using ObraCommon::ZelScript;

volatile int64_t g_sink;

void Require(bool condition) {
  if (!condition) std::abort();
}

void QueryScript(const ZelScript& script, int32_t c) {
  int64_t sum = script.isSC() + script.isTC() + script.isAuto() + script.isJA() + script.isCJK() +
                script.isCJKJustify() + script.isCJKorAuto() + script.isKanaScript() +
                script.isIndependentScript() + script.isGlyphOrientationPossible() + script.getA() +
                script.getScriptCode() + script.toString().length() + script.getScriptName().length() +
                script.isZenkakuScript(c) + script.isHangingEndChar(c) + script.isHangingLastChar(c) +
                script.isHangingStartChar(c);
  g_sink = g_sink + sum;
}

void QueryLang(const ZelLang& lang) {
  Require(lang == lang && !(lang != lang) && !(lang < lang));
  const ZelLang copy(lang.getLocale());
  Require(copy == lang);
  int64_t sum = lang.isNullLang() + lang.getLanguage().length() + lang.getCountry().length() +
                lang.getISO3Language().length() + lang.getISO3Country().length() + lang.getLanguageName() +
                static_cast<int64_t>(lang.getLCID()) + lang.toString().length() + lang.toISO3String().length();
  g_sink = g_sink + sum;
  QueryScript(lang.toScript(), 0x3002);
}

void QueryChar(int32_t c, int32_t next) {
  int64_t sum = ZelChar::isNameStartChar(c) + ZelChar::isNameChar(c) + ZelChar::isNCNameStartChar(c) +
                ZelChar::isNCNameChar(c) + ZelChar::isValidChar(c) + ZelChar::isWhitespace(c) +
                ZelChar::isCssWhitespace(c) + ZelChar::isCssNewline(c) + ZelChar::isHardBreakOrInvalid(c) +
                ZelChar::isAsciiNoHardBreak(c) + ZelChar::isHexDigit(c) + ZelChar::hex2dig(c) +
                ZelChar::isSpaceChar(c) + ZelChar::isFixedWidthSpaceChar(c) + ZelChar::isJoiningChar(c) +
                ZelChar::isZeroWidthControlCode(c) + ZelChar::getEastAsianWidth(c) + ZelChar::getCategory(c) +
                ZelChar::getLineBreak(c) + ZelChar::isAlphabetic(c) + ZelChar::isLetter(c) +
                ZelChar::isPunct(c) + ZelChar::isSymbol(c) + ZelChar::isZenkaku(c) + ZelChar::isHankaku(c) +
                ZelChar::isHankakuChar(c) + ZelChar::isNoVerticalChar(c) + ZelChar::isHalf(c) +
                ZelChar::isHalfPunct(c) + ZelChar::isHangingPunctuationEndChar(c) +
                ZelChar::isFullStopChar(c) + ZelChar::isBullet(c) + ZelChar::isNonSeparateChars(c, next) +
                ZelChar::isNonStarterJIS(c) + ZelChar::isSymbolJIS(c) + ZelChar::isMathOperator(c) +
                ZelChar::isArrow(c) + ZelChar::isToneLetters(c) + ZelChar::isArabic(c) +
                ZelChar::isVariationSelectorCharacter(c) + ZelChar::toZenkaku(static_cast<char16_t>(c)) +
                ZelScript::getScript(c).getUScriptCode() + ZelScript::isZenkakuAmbiguous(c);
  g_sink = g_sink + sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const UnicodeString text = UnicodeString::fromUTF8(bytes);

  const ZelLang fromBytes(bytes.c_str());
  const ZelLang fromText(text);
  const int32_t bar = text.indexOf(u'|');
  const ZelLang split = bar < 0 ? ZelLang(text, UnicodeString())
                                : ZelLang(UnicodeString(text, 0, bar), UnicodeString(text, bar + 1));
  for (const ZelLang* lang : {&fromBytes, &fromText, &split}) QueryLang(*lang);
  // The order is a strict weak one between the three as well.
  Require(!(fromText < split && split < fromText));

  const ZelScript script(text);
  const ZelScript fromChars = ZelScript::getScriptFromText(text);
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const int32_t c = text.char32At(i);
    const int32_t next = text.char32At(text.moveIndex32(i, 1));
    QueryChar(c, next);
    QueryScript(script, c);
    QueryScript(fromChars, c);
  }
  g_sink = g_sink + ZelChar::isWhitespace(text) + ZelChar::isEmptyOrWhitespace(text) + ZelChar::last(text) +
           ZelChar::last32(text);
  return 0;
}
