// Spreadsheet number formats from arbitrary input: a value (8 bytes,
// little-endian), a flag byte (bit 0 the 1904 date system, bit 1 book version
// 0x0500 instead of 0x0800, bit 2 fill off), a width (2 bytes) and the format
// as UTF-16LE units (NULs and lone surrogates included). The format goes
// through the parser, section choice and every entry point, and the status
// each entry point answers must agree with what it left in its outputs.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

using namespace ObraCommon;

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  const uint8_t flags = data[8];
  const auto width = static_cast<int16_t>(data[9] | (data[10] << 8));
  icu::UnicodeString format;
  for (size_t i = 11; i + 1 < size; i += 2) format.append(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

  XlsFormatString object((flags & 2) ? 0x0500 : 0x0800);
  object.setDate1904(flags & 1);
  object.setFill((flags & 4) == 0);
  const int w = width < 0 ? 0 : width;

  FMT2 parsed;
  const bool valid = object.fmtget(format, &parsed) == 1;
  Check(parsed.sectionCount >= 1 && parsed.sectionCount <= 4);
  for (int i = 0; i < parsed.sectionCount; ++i)
    Check(parsed.sections[i].tokenCount == static_cast<uint32_t>(parsed.sections[i].tokens.length()));
  const short section = valid ? XlsFormatString::fmtsel(1, value, &parsed) : 0;
  if (valid) Check(section >= -2 && section < parsed.sectionCount && section <= 2);

  const icu::UnicodeString kUntouched(u"\uFFFEuntouched");
  CELLV cell;
  cell.type = 1;
  cell.value = value;
  cell.text = icu::UnicodeString(u"cell");
  icu::UnicodeString out(kUntouched);
  unsigned char color = 255;
  const short status = object.fmtnum(&cell, ZelValue(static_cast<int>(width)), format, out, &color, nullptr,
                                     ZelLength(0.0f), 0, 0, nullptr);
  Check(std::memcmp(&cell.value, &value, sizeof value) == 0);  // restored bit for bit
  if (!valid) {
    Check(status == 0 && out == kUntouched && color == 255);
  } else if (status == -2) {
    Check(section == -2 && out.isEmpty() && color == 255);
  } else if (status == -1) {
    Check(section == -1 && color == 255 && out != kUntouched);
  } else if (status >= 0) {
    Check(status == section && color == parsed.sections[section].colorCode);
  } else {
    Check(section >= 0 && color == parsed.sections[section].colorCode && out.length() == w);
    for (int32_t i = 0; i < out.length(); ++i) Check(out.charAt(i) == u'#');
  }

  out = kUntouched;
  color = 255;
  const short text = object.fmtstr(&cell, ZelValue(static_cast<int>(width)), format, out, &color);
  if (!valid) Check(text == 0 && out == kUntouched && color == 255);
  else Check((text == 0 && out == cell.text && color == parsed.sections[0].colorCode) || text == 1);

  const icu::UnicodeString general = object.FormatString(format, value);
  Check(!object.isFill());
  Check(valid || general.isEmpty());
  XlsFormatString::countKetasu(general);
  return 0;
}
