// Entry points of the number-format engine: section choice, the text
// section, and the calls that hand a number to its section's formatter.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "number_text.h"

#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace {

using numtext::widthOf;

// Parsed formats by their text, shared by every object and thread: a book
// formats many cells with few formats. The parse depends on the text and on
// whether the book is of version 0x0800 only. When the table holds 2,048
// texts or a million units of text it starts afresh, so a stream of
// distinct texts holds it bounded.
class ParsedFormats {
 public:
  // The record without its token texts, which are kept apart: a copy of a
  // text would share its buffer and count with every thread's copy.
  struct Entry {
    short result = 0;
    FMT2 parsed;
    std::u16string tokens[4];
    bool bogus[4] = {};
  };

  static ParsedFormats& shared() {
    static auto* formats = new ParsedFormats();
    return *formats;
  }

  std::shared_ptr<const Entry> get(const XlsFormatString& object, const icu::UnicodeString& format) {
    const std::u16string_view text(format.getBuffer(), static_cast<size_t>(format.length()));
    Table& table = m_tables[object.GetBookVersion() == 0x0800 ? 1 : 0];
    {
      std::lock_guard<std::mutex> hold(m_lock);
      auto found = table.find(text);
      if (found != table.end()) return found->second;
    }
    auto entry = std::make_shared<Entry>();
    entry->result = object.fmtget(format, &entry->parsed);
    for (int i = 0; i < 4; ++i) {
      icu::UnicodeString& tokens = entry->parsed.sections[i].tokens;
      entry->bogus[i] = tokens.isBogus();
      if (!entry->bogus[i]) entry->tokens[i].assign(tokens.getBuffer(), static_cast<size_t>(tokens.length()));
      tokens = icu::UnicodeString();
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_tables[0].size() + m_tables[1].size() >= kMaxEntries || m_units + text.size() > kMaxUnits) {
      m_tables[0].clear();
      m_tables[1].clear();
      m_units = 0;
    }
    auto placed = table.emplace(std::u16string(text), std::move(entry));
    if (placed.second) m_units += text.size();
    return placed.first->second;
  }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::u16string_view text) const { return std::hash<std::u16string_view>()(text); }
  };
  using Table = std::unordered_map<std::u16string, std::shared_ptr<const Entry>, Hash, std::equal_to<>>;
  static constexpr size_t kMaxEntries = 2048;
  static constexpr size_t kMaxUnits = size_t{1} << 20;  // of the texts held
  std::mutex m_lock;
  size_t m_units = 0;
  Table m_tables[2];  // by whether the book is of version 0x0800
};

// The record of a format: parsed once, copied for the caller, whose
// formatters change its counters. 0 when the text is no valid format.
short parsedFormat(const XlsFormatString& object, const icu::UnicodeString& format, FMT2* parsed) {
  std::shared_ptr<const ParsedFormats::Entry> entry = ParsedFormats::shared().get(object, format);
  if (entry->result != 1) return 0;
  *parsed = entry->parsed;
  for (int i = 0; i < 4; ++i) {
    icu::UnicodeString& tokens = parsed->sections[i].tokens;
    if (entry->bogus[i]) tokens.setToBogus();
    else tokens.setTo(entry->tokens[i].data(), static_cast<int32_t>(entry->tokens[i].size()));
  }
  return 1;
}

void setHashes(icu::UnicodeString& out, short w) {
  out.remove();
  for (short i = 0; i < w; ++i) out.append(u'#');
}

}  // namespace

XlsFormatString::XlsFormatString() : dateSystem(0), bookVersion(0x0800), fill(1) {}

XlsFormatString::XlsFormatString(uint16_t version) : dateSystem(0), bookVersion(version), fill(1) {}

XlsFormatString& XlsFormatString::operator=(const XlsFormatString& other) {
  dateSystem = other.dateSystem;
  bookVersion = other.bookVersion;
  fill = other.fill;
  return *this;
}

bool XlsFormatString::iscond(double value, unsigned char op, double limit) {
  switch (op) {
    case 1: return value >= limit;
    case 2: return value <= limit;
    case 3: return value != limit;
    case 4: return value < limit;
    case 5: return value > limit;
    case 6: return value == limit;
    default: return false;
  }
}

short XlsFormatString::fmtsel(unsigned char what, double value, FMT2* parsed) {
  if (parsed == nullptr) return -1;
  const int count = parsed->sectionCount > 4 ? 4 : parsed->sectionCount;
  int n = 0;
  while (n < count && parsed->sections[n].kind != 3) ++n;
  if (what != 1) return n < count ? static_cast<short>(n) : short{-1};

  const FMT& s0 = parsed->sections[0];
  const FMT& s1 = parsed->sections[1];
  const bool cond0 = s0.condOp != 0;
  const bool cond1 = s1.condOp != 0;
  const bool holds0 = iscond(value, s0.condOp, s0.condValue);
  const bool holds1 = iscond(value, s1.condOp, s1.condValue);
  switch (n) {
    case 1:
      if (cond0) return holds0 ? 0 : -2;
      return 0;
    case 2:
      if (cond0 ? holds0 : value >= 0) return 0;
      if (!cond1) return (cond0 || value < 0) ? 1 : -1;
      if (holds1) return 1;
      return cond0 ? -2 : -1;
    case 3:
      if (cond0 ? holds0 : value > 0) return 0;
      if (cond1 ? holds1 : value < 0) return 1;
      if (cond0 || cond1 || !(value > 0 || value < 0)) return 2;  // zero, and NaN too
      return -1;
    default:
      return -1;
  }
}

int XlsFormatString::countKetasu(const icu::UnicodeString& text) {
  int columns = 0;
  const int32_t length = text.length();
  for (int32_t i = 0; i < length; ++i) {
    const char16_t c = text.charAt(i);
    columns += ((c >= 0x20 && c <= 0x7E) || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
  }
  return columns;
}

void XlsFormatString::ConvGeneral(double value, char* buffer, short width, XlsWidthCallback, ZelLength, int, int,
                                  void*) {
  if (buffer == nullptr) return;
  const short w = width < 0 ? short{0} : width;
  const std::string text = numtext::GeneralText(value, w);
  // The buffer holds width + 1 bytes: a longer text is cut there.
  const size_t n = std::min(text.size(), static_cast<size_t>(w));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

short XlsFormatString::fmtnum(CELLV* cell, const ZelValue& widthInChars, const icu::UnicodeString& format,
                              icu::UnicodeString& out, unsigned char* color, XlsWidthCallback callback,
                              ZelLength cellWidth, int arg1, int arg2, void* context) {
  if (cell == nullptr) return 0;
  FMT2 parsed;
  if (parsedFormat(*this, format, &parsed) != 1) return 0;
  return numtext::renderNumber(*this, &parsed, cell, widthInChars, out, color, callback, cellWidth, arg1, arg2,
                               context);
}

short numtext::renderNumber(XlsFormatString& object, FMT2* parsed, CELLV* cell, const ZelValue& widthInChars,
                            icu::UnicodeString& out, unsigned char* color, XlsWidthCallback callback,
                            ZelLength cellWidth, int arg1, int arg2, void* context) {
  const short w = widthOf(widthInChars);
  const short s = XlsFormatString::fmtsel(1, cell->value, parsed);
  if (s == -2) {
    out.remove();
    return -2;
  }
  if (s < 0) {
    out = icu::UnicodeString(numtext::GeneralText(cell->value, w).c_str(), -1, US_INV);
    return -1;
  }
  FMT* section = &parsed->sections[s];
  if (color != nullptr) *color = section->colorCode;

  const ZelValue width(static_cast<int>(w));
  short result;
  if (section->kind == 2) {
    result = object.fmtnumD(section, cell->value, width, out, callback, cellWidth, arg1, arg2, context);
  } else {
    const double original = cell->value;
    section->signAtSelect = original > 0 ? 1 : original < 0 ? 2 : 0;
    // The sign is the section's to show: an unconditioned negative section
    // and a first section for values below zero render the magnitude.
    if (cell->value < 0 && s == 1 && parsed->sections[1].condOp == 0) cell->value = -cell->value;
    if (cell->value < 0 && s == 0 && section->condOp == 4 && section->condValue == 0.0) cell->value = -cell->value;
    result = object.fmtnumN(section, cell->value, width, out, callback, cellWidth, arg1, arg2, context);
    cell->value = original;
  }
  if (result < 0) {
    setHashes(out, w);
    return result;
  }
  return s;
}

short XlsFormatString::fmtstr(CELLV* cell, const ZelValue& widthInChars, const icu::UnicodeString& format,
                              icu::UnicodeString& out, unsigned char* color) {
  if (cell == nullptr) return 0;
  const short w = widthOf(widthInChars);
  FMT2 parsed;
  if (parsedFormat(*this, format, &parsed) != 1) return 0;
  const short s = fmtsel(3, 0.0, &parsed);
  if (s < 0) {
    out = cell->text;
    if (color != nullptr) *color = parsed.sections[0].colorCode;
    return 0;
  }
  const FMT& section = parsed.sections[s];
  if (color != nullptr) *color = section.colorCode;
  out.remove();

  // Walk by the string's own length: literal runs, fill and the escaped
  // quote take their units; every other token is skipped unit by unit.
  const icu::UnicodeString& t = section.tokens;
  const int32_t n = t.length();
  int32_t fillAt = -1;
  char16_t fillChar = 0;
  for (int32_t i = 0; i < n;) {
    const char16_t c = t.charAt(i);
    if (c == u'"') {
      int32_t j = i + 1;
      while (j < n && t.charAt(j) != u'"') ++j;
      out.append(t, i + 1, j - i - 1);
      i = j + 1;
    } else if (c == u'*' && i + 1 < n) {
      if (fill == 0) {
        out.append(t.charAt(i + 1));
      } else {
        fillAt = out.length();
        fillChar = t.charAt(i + 1);
      }
      i += 2;
    } else if (c == u'\\') {
      i += 2;
    } else {
      if (c == u'@' || c == u'G') out.append(cell->text);
      ++i;
    }
  }
  numtext::insertFill(out, fillAt, fillChar, w);
  return 1;
}

icu::UnicodeString XlsFormatString::FormatString(const icu::UnicodeString& format, double value) {
  fill = 0;
  CELLV cell;
  cell.type = 1;
  cell.value = value;
  icu::UnicodeString out;
  unsigned char color = 0;
  fmtnum(&cell, ZelValue(100), format, out, &color, nullptr, ZelLength(0.0f), 0, 0, nullptr);
  return out;
}

}  // namespace ObraCommon
