// Kanji and full-width numerals: digits, units and the unit rendering of
// whole numbers. The tables are constants; nothing is built at load time.
#include "kanji_numerals.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "number_text.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace {

constexpr char16_t kDigits[3][10] = {
    {0x3007, 0x4E00, 0x4E8C, 0x4E09, 0x56DB, 0x4E94, 0x516D, 0x4E03, 0x516B, 0x4E5D},
    {0x3007, 0x58F1, 0x5F10, 0x53C2, 0x56DB, 0x4F0D, 0x516D, 0x4E03, 0x516B, 0x4E5D},
    {0xFF10, 0xFF11, 0xFF12, 0xFF13, 0xFF14, 0xFF15, 0xFF16, 0xFF17, 0xFF18, 0xFF19},
};
// ten, hundred, thousand, 10^4, 10^8, 10^12
constexpr char16_t kUnits[3][6] = {
    {0x5341, 0x767E, 0x5343, 0x4E07, 0x5104, 0x5146},
    {0x62FE, 0x767E, 0x9621, 0x842C, 0x5104, 0x5146},
    {0x5341, 0x767E, 0x5343, 0x4E07, 0x5104, 0x5146},
};
// Groups of four digits from the top, with their unit.
constexpr uint64_t kGroups[4] = {1000000000000ULL, 100000000ULL, 10000ULL, 1ULL};
constexpr long kGroupUnits[3] = {5, 4, 3};

constexpr bool validStyle(unsigned char dbNum) { return dbNum >= 1 && dbNum <= 3; }

// The General text of value, from its character `from` on, each character
// through the digit converter.
int appendGeneralTail(icu::UnicodeString& out, unsigned char dbNum, double value, short width, size_t from) {
  const std::string text = numtext::GeneralText(value, width < 0 ? 0 : width);
  int columns = 0;
  for (size_t i = from; i < text.size(); ++i)
    columns += XlsFormatString::sethanzenNumS(out, dbNum, static_cast<unsigned char>(text[i]));
  return columns;
}

// One group of up to four digits: thousand, hundred and ten stand alone for
// a 1 except in the formal style, which writes its digit before each.
int appendGroup(icu::UnicodeString& out, unsigned char dbNum, uint64_t q) {
  int columns = 0;
  const uint64_t places[3] = {1000, 100, 10};
  const long units[3] = {2, 1, 0};
  for (int i = 0; i < 3; ++i) {
    if (q < places[i]) continue;
    const uint64_t k = q / places[i];
    if (k != 1 || dbNum == 2) {
      XlsFormatString::setzenNum(out, dbNum, static_cast<long>(k));
      columns += 2;
    }
    XlsFormatString::setzenTani(out, dbNum, units[i]);
    columns += 2;
    q -= k * places[i];
  }
  if (q > 0) {
    XlsFormatString::setzenNum(out, dbNum, static_cast<long>(q));
    columns += 2;
  }
  return columns;
}

}  // namespace

unsigned short XlsFormatString::sethanzenNumS(icu::UnicodeString& out, unsigned char dbNum, unsigned char ch) {
  if (validStyle(dbNum) && ch >= '0' && ch <= '9') {
    out.append(kDigits[dbNum - 1][ch - '0']);
    return 2;
  }
  out.append(static_cast<char16_t>(ch));
  return 1;
}

void XlsFormatString::setzenNum(icu::UnicodeString& out, unsigned char dbNum, long n) {
  out.append(validStyle(dbNum) && n >= 0 && n <= 9 ? kDigits[dbNum - 1][n] : char16_t{0xFFFF});
}

void XlsFormatString::setzenTani(icu::UnicodeString& out, unsigned char dbNum, long unit) {
  out.append(validStyle(dbNum) && unit >= 0 && unit <= 5 ? kUnits[dbNum - 1][unit] : char16_t{0xFFFF});
}

int appendKanjiGeneral(icu::UnicodeString& out, unsigned char dbNum, double value, short width) {
  int columns = 0;
  if (std::isnan(value)) value = 0.0;
  if (value < 0) {
    out.append(u'-');
    columns += 1;
    value = -value;
  }
  if (value < 1.0) {
    // A tiny value's General text is scientific ("1E-10"): it has no
    // leading zero to replace, so all of it is written.
    if (value != 0.0 && numtext::GeneralText(value, width)[0] != '0')
      return columns + appendGeneralTail(out, dbNum, value, width, 0);
    XlsFormatString::setzenNum(out, dbNum, 0);
    columns += 2;
    if (value != 0.0) columns += appendGeneralTail(out, dbNum, value, width, 1);
    return columns;
  }
  if (value >= 1e16) {
    // The count of 10^12 units stays a double: no integer type limits it.
    const double q = std::floor(value * 1e-12);
    columns += appendGeneralTail(out, dbNum, q, width, 0);
    XlsFormatString::setzenTani(out, dbNum, 5);
    columns += 2;
    value -= q * 1e12;
    if (!(value > 0)) value = 0.0;  // rounding may leave it below zero
  }
  // Whole part in integers, so every group is exact up to 1e16 and beyond
  // the precision of a double.
  const double whole = std::floor(value);
  const double fraction = value - whole;
  uint64_t v = whole < 1.8e19 ? static_cast<uint64_t>(whole) : 0;
  for (int g = 0; g < 4; ++g) {
    if (v < kGroups[g]) continue;
    uint64_t q = v / kGroups[g];
    if (q > 9999) q = 9999;
    columns += appendGroup(out, dbNum, q);
    if (g < 3) {
      XlsFormatString::setzenTani(out, dbNum, kGroupUnits[g]);
      columns += 2;
    }
    v -= q * kGroups[g];
  }
  if (fraction != 0.0) columns += appendGeneralTail(out, dbNum, fraction, width, 1);
  return columns;
}

}  // namespace ObraCommon
