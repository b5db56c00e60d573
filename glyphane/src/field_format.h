// Field values: the formatter that turns a shape's field records (and the
// field codes of version-5 texts) into text. A value is built in the text
// code page; for version 11 it is then converted to UTF-16. Numbers use the
// number formats 0-18, the currency rule and the fraction search; dates use
// the picture language (picture_format.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "property_sets.h"
#include "vsd_sink.h"

namespace glyphane {

// The number formats 0-18 of a value; above 18 (or below 0) no text.
std::string NumberFormatText(int32_t index, double value);

// The fraction search: the best i/j with j below `bound` for 0 <= f < 1.
struct Fraction {
  int32_t numerator = 0;
  int32_t denominator = 1;
};
Fraction FindFraction(double f, int32_t bound);

// "%.2f USD" of amount × 0.01, with a comma before the last 10 characters
// of a longer text.
std::string CurrencyText(uint32_t amount);

// A format string's class: 1 a number format ("esc(N)"), 2 a date picture
// ('E', 'y' or '{' first), 3 '0' first, else 0; `number_format` receives
// the number of a class-1 string.
int FormatStringClass(std::string_view text, int32_t* number_format = nullptr);

// What the field values of one extraction depend on besides the drawing.
struct FieldDocument {
  uint32_t output_code_page = 932;
  const VsdPropertyRecord* properties = nullptr;  // null: empty properties
  std::string_view path;                          // the drawing's path, UTF-8
};

class FieldValueFormatter : public FieldFormatter {
 public:
  explicit FieldValueFormatter(const FieldDocument& document) : document_(document) {}
  int32_t FormatField(const FieldContext& context, const FieldRecord& record, std::string* value) override;
  int32_t FormatCode(const FieldContext& context, const uint8_t code[3], std::string* value) override;

 private:
  FieldDocument document_;
};

}  // namespace glyphane
