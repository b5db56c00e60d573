// Japanese numerals for the digit runs of a text. The caller's digit and
// unit texts are taken as code points, one per digit or unit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "numbering_tables.h"
#include "quarnel/name.h"
#include "quarnel/util.h"
#include "quarnel/zel_lang.h"

namespace ObraCommon {

namespace {

using namespace numbering;

constexpr size_t kGroupMarkers = 12;

struct Characters {
  std::array<UChar32, 10> digits;
  // 十 百 千, then the markers of the groups 1 to 12.
  std::array<UChar32, 3 + kGroupMarkers> units;
};

// Replaces table entries from the first on by the text's code points.
template <size_t N>
void Override(std::array<UChar32, N>& table, const UnicodeString& text) {
  size_t n = 0;
  for (int32_t i = 0; i < text.length() && n < N; i = text.moveIndex32(i, 1)) table[n++] = text.char32At(i);
}

Characters MakeCharacters(const ZelName& digits, const UnicodeString& units) {
  Characters chars{};
  for (size_t i = 0; i < chars.digits.size(); ++i) chars.digits[i] = kKansujiDigits[i];
  for (size_t i = 0; i < chars.units.size(); ++i) chars.units[i] = kKansujiUnits[i];
  if (digits == NAME_LATIN) {
    for (size_t i = 0; i < chars.digits.size(); ++i) chars.digits[i] = static_cast<UChar32>(kFullWidthZero + i);
  } else if (digits != NAME_KANJI) {
    Override(chars.digits, digits.toString());
  }
  Override(chars.units, units);
  return chars;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

void Plain(UnicodeString& out, const char16_t* run, size_t length, const Characters& chars) {
  for (size_t i = 0; i < length; ++i) out.append(chars.digits[static_cast<size_t>(run[i] - u'0')]);
}

UChar32 Marker(const Characters& chars, size_t group) { return chars.units[3 + group - 1]; }

void Grouping(UnicodeString& out, const char16_t* run, size_t length, const Characters& chars) {
  size_t lastNonZero = length;  // length: none
  for (size_t i = 0; i < length; ++i)
    if (run[i] != u'0') lastNonZero = i;
  for (size_t i = 0; i < length; ++i) {
    out.append(chars.digits[static_cast<size_t>(run[i] - u'0')]);
    const size_t fromRight = length - 1 - i;
    const size_t group = fromRight / 4;
    if (fromRight % 4 != 0 || group == 0 || group > kGroupMarkers) continue;
    out.append(Marker(chars, group));
    if (lastNonZero == length || lastNonZero <= i) return;
  }
}

void Readable(UnicodeString& out, const char16_t* run, size_t length, const Characters& chars) {
  size_t start = 0;
  while (start < length && run[start] == u'0') ++start;
  if (start == length) {
    // Every run of zeros keeps its number, wherever it stands.
    out.append(chars.digits[0]);
    return;
  }
  const char16_t* digits = run + start;
  const size_t count = length - start;
  size_t i = 0;
  const size_t topGroup = (count - 1) / 4;
  if (topGroup > kGroupMarkers) {
    // Beyond the last marker the groups are written digit by digit.
    const size_t plain = count - kGroupMarkers * 4;
    Plain(out, digits, plain, chars);
    out.append(Marker(chars, kGroupMarkers));
    i = plain;
  }
  while (i < count) {
    const size_t fromRight = count - 1 - i;
    const size_t group = fromRight / 4;
    const size_t places = fromRight % 4 + 1;
    bool any = false;
    for (size_t p = places; p > 0; --p, ++i) {
      const int digit = digits[i] - u'0';
      if (digit == 0) continue;
      any = true;
      const size_t unit = p - 1;  // 0 ones, 1 tens, 2 hundreds, 3 thousands
      if (unit == 0 || digit != 1) out.append(chars.digits[static_cast<size_t>(digit)]);
      if (unit != 0) out.append(chars.units[unit - 1]);
    }
    // A group of four zeros gets no marker: 100000000 is 一億.
    if (any && group > 0) out.append(Marker(chars, group));
  }
}

}  // namespace

UnicodeString ZelUtil::convertKansuji(const UnicodeString& text, const ZelName& style, const ZelName& digits,
                                      const UnicodeString& units, const UnicodeString& /*fifth*/) {
  const Characters chars = MakeCharacters(digits, units);
  const char16_t* buffer = text.getBuffer();
  const size_t length = static_cast<size_t>(text.length());
  UnicodeString out;
  size_t i = 0;
  while (i < length) {
    if (!IsDigit(buffer[i])) {
      size_t end = i;
      while (end < length && !IsDigit(buffer[end])) ++end;
      out.append(buffer, static_cast<int32_t>(i), static_cast<int32_t>(end - i));
      i = end;
      continue;
    }
    size_t end = i;
    while (end < length && IsDigit(buffer[end])) ++end;
    if (style == NAME_GROUPING)
      Grouping(out, buffer + i, end - i, chars);
    else if (style == NAME_READABLE)
      Readable(out, buffer + i, end - i, chars);
    else
      Plain(out, buffer + i, end - i, chars);
    i = end;
  }
  return out;
}

UnicodeString ZelUtil::convertKansuji(int number, const ZelName& style, const ZelName& digits,
                                      const UnicodeString& units, const UnicodeString& fifth) {
  return convertKansuji(formatNumber(number, UnicodeString(u"1"), UnicodeString(), 0, ZelLang(), NAME_AUTO), style,
                        digits, units, fifth);
}

}  // namespace ObraCommon
