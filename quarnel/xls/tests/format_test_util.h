// Helpers of the number-format tests: texts in both directions and a
// readable summary of a parsed section.
#pragma once

#include <cstdio>
#include <string>

#include <unicode/unistr.h>

#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace xlstest {

inline icu::UnicodeString U(const std::string& utf8) { return icu::UnicodeString::fromUTF8(utf8); }

inline std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// The fields of a section that differ from a cleared one, in record order,
// then its tokens as written.
inline std::string Describe(const ObraCommon::FMT& f) {
  std::string out;
  auto field = [&out](const char* name, unsigned long long value) {
    if (value != 0) out += std::string(name) + "=" + std::to_string(value) + " ";
  };
  field("color", f.colorCode);
  field("op", f.condOp);
  if (f.condOp != 0) {
    char limit[64];
    std::snprintf(limit, sizeof limit, "limit=%.9g ", f.condValue);
    out += limit;
  }
  field("kind", f.kind);
  field("grouping", f.grouping);
  field("point", f.hasPoint);
  field("exp", f.hasExponent);
  field("frac", f.hasFraction);
  field("scale", f.scaleCommas);
  field("percent", f.percentCount);
  field("intZeros", f.intZeros);
  field("intDigits", f.intDigits);
  field("decDigits", f.decDigits);
  field("decForced", f.decForced);
  field("expDigits", f.expDigits);
  field("expZeros", f.expZeros);
  field("numer", f.numerDigits);
  field("denom", f.denomDigits);
  field("dbNum", f.dbNum);
  field("fixedDenom", f.fixedDenom);
  field("hour", f.hasHour);
  field("ampm", f.hasAmPm);
  return out + "tokens=" + Utf8(f.tokens);
}

// One call of fmtnum as a cell would make it, without callback.
inline std::string Render(const std::string& format, double value, int width, bool fill, bool date1904,
                          short* status = nullptr) {
  ObraCommon::XlsFormatString object;
  object.setFill(fill);
  object.setDate1904(date1904 ? 1 : 0);
  ObraCommon::CELLV cell;
  cell.type = 1;
  cell.value = value;
  icu::UnicodeString out;
  unsigned char color = 0;
  const short s = object.fmtnum(&cell, ObraCommon::ZelValue(width), U(format), out, &color, nullptr,
                                ObraCommon::ZelLength(0.0f), 0, 0, nullptr);
  if (status != nullptr) *status = s;
  return Utf8(out);
}

}  // namespace xlstest
