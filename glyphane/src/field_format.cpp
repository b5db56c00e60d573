// Field values (see field_format.h).
//
// A field record names its value and its format by reference: the number
// stored in the record (255), nothing (252), a text in the record (253), the
// master shape's field record at the same position (254), or a format-string
// record of the shape (any other id). Values are built in the text code
// page; texts that come from the drawing as they stand (the record's own
// text, a format-string record's text, a master value already built) are
// already in the form the item is written in and are not converted again.
#include "field_format.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "code_pages.h"
#include "cjk_texts.h"
#include "dalvex/extract_records.h"
#include "picture_format.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr double kInchesPerMillimetre = 0.03937007874015748;
constexpr double kDegreesPerRadian = 57.295780490442965;  // as stored by the format, not 180/pi

// "%d/%d" of a fraction.
std::string FractionText(Fraction f) {
  return DecimalText(f.numerator) + "/" + DecimalText(f.denominator);
}

// Lower- ('F') or upper-cases ('G') the ASCII letters of a version-5 text
// value; 'E' and other format letters leave it as it is.
void ApplyFormatLetter(std::string* text, uint8_t format, uint32_t code_page) {
  if (format != 'F' && format != 'G') return;
  for (size_t i = 0; i < text->size(); ++i) {
    char& c = (*text)[i];
    if (IsLeadByte(code_page, static_cast<uint8_t>(c))) {
      ++i;
      continue;
    }
    if (format == 'F' && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (format == 'G' && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
}

const FormatString* FindFormatString(const std::vector<FormatString>* formats, uint32_t id) {
  if (formats == nullptr) return nullptr;
  for (const FormatString& f : *formats)
    if (f.id == id) return &f;
  return nullptr;
}

// The work of one FormatField call: the context, and which format strings
// and master record the record being resolved sees.
class FieldValue {
 public:
  FieldValue(const FieldDocument& document, const FieldContext& context)
      : document_(document),
        context_(context),
        utf16_(IsUtf16Layout(context.session->version)),
        text_code_page_(context.session->text_code_page) {}

  // The value of `record`; `final_form` tells that it is already in the
  // item's encoding (UTF-16 for version 11).
  int32_t Value(const FieldRecord& record, const std::vector<FormatString>* formats, const FieldRecord* master,
                std::string* out, bool* final_form) {
    *final_form = false;
    out->clear();
    const bool numeric = record.kind == 0 || record.kind == 3;
    if (record.kind == 1) return DateValue(record, formats, master, out);
    if (record.value_ref.kind == FieldRef::kNumber) {
      if (numeric) return NumberValue(record, formats, master, out);
      *out = DecimalText(TruncatedInt(record.number));
      return 0;
    }
    return Referenced(record, formats, master, out, final_form);
  }

 private:
  // A format string in the text code page (version 11 stores UTF-16).
  int32_t InTextCodePage(const std::string& stored, std::string* out) {
    if (!utf16_) {
      *out = stored;
      return 0;
    }
    return ConvertBetweenCodePages(kCodePageUcs2, text_code_page_, stored, out);
  }

  // The format string a record names: none (252, 255), its own (253), the
  // master record's (254), or a format-string record (3002 when missing).
  int32_t Format(const FieldRecord& record, const std::vector<FormatString>* formats, const FieldRecord* master,
                 std::optional<std::string>* out) {
    out->reset();
    switch (record.format_ref.kind) {
      case FieldRef::kOwnText: {
        std::string text;
        if (int32_t rc = InTextCodePage(record.format_text, &text)) return rc;
        *out = std::move(text);
        return 0;
      }
      case FieldRef::kMaster:
        if (master == nullptr) return 0;  // references through a master are not followed further
        return Format(*master, &context_.master_shape->format_strings, nullptr, out);
      case FieldRef::kFormatString: {
        const FormatString* found = FindFormatString(formats, record.format_ref.id);
        if (found == nullptr) return InvalidFile;
        std::string text;
        if (int32_t rc = InTextCodePage(found->text, &text)) return rc;
        *out = std::move(text);
        return 0;
      }
      default:
        return 0;
    }
  }

  // A value taken from elsewhere: the record's own text, the master
  // record's value, or a format-string record's text.
  int32_t Referenced(const FieldRecord& record, const std::vector<FormatString>* formats,
                     const FieldRecord* master, std::string* out, bool* final_form) {
    *final_form = true;
    switch (record.value_ref.kind) {
      case FieldRef::kOwnText:
        *out = record.value_text;
        return 0;
      case FieldRef::kMaster:
        if (master == nullptr) return 0;
        if (master->value_set) {
          *out = master->value_text;
          return 0;
        }
        if (master->value_ref.kind == FieldRef::kNone) return 0;
        if (int32_t rc = Value(*master, &context_.master_shape->format_strings, nullptr, out, final_form))
          return rc;
        return 0;
      case FieldRef::kFormatString: {
        const FormatString* found = FindFormatString(formats, record.value_ref.id);
        if (found == nullptr) return InvalidFile;
        *out = found->text;
        return 0;
      }
      default:
        return 0;
    }
  }

  int32_t NumberValue(const FieldRecord& record, const std::vector<FormatString>* formats,
                      const FieldRecord* master, std::string* out) {
    double value = record.number;
    uint32_t amount = 0;
    const uint8_t tag = record.value_tag;
    switch (tag) {
      case 0x40: value *= kMillimetresPerInch; break;
      case 'G': value *= 0.254; break;
      case 'n':
        amount = record.integer / 100;
        value = amount;
        break;
      case '!': value *= 100; break;
      default: break;
    }
    std::optional<std::string> format;
    if (int32_t rc = Format(record, formats, master, &format)) return rc;
    int32_t number_format = 0;
    const int cls = format ? FormatStringClass(*format, &number_format) : 0;
    if (tag == '(' || record.format_ref.kind == FieldRef::kOwnText || (tag == ' ' && cls == 2)) {
      *out = FormatPicture(value, Picture{format.value_or(std::string()), text_code_page_},
                           document_.output_code_page);
    } else if (cls == 1) {
      *out = tag == 'n' ? CurrencyText(amount) : NumberFormatText(number_format, value);
      if (tag == '!') *out += "%";
      if (tag == 0x40 && !(number_format >= 10 && number_format <= 14)) *out += " mm";
    } else if (tag == 'n') {
      *out = CurrencyText(amount);
    } else {
      *out = DecimalText(TruncatedInt(value));
    }
    return 0;
  }

  int32_t DateValue(const FieldRecord& record, const std::vector<FormatString>* formats,
                    const FieldRecord* master, std::string* out) {
    std::optional<std::string> format;
    if (int32_t rc = Format(record, formats, master, &format)) return rc;
    if (!format) return 0;
    if (FormatStringClass(*format) == 1) {
      *out = *format;
      return 0;
    }
    const uint32_t output = document_.output_code_page;
    Picture picture{*format, text_code_page_};
    if (*format == "ddddd") {
      picture = ShortDatePicture(output);
    } else if (*format == "dddddd") {
      picture = LongDatePicture(output);
    } else if (*format == "T") {
      picture = Picture{"HH:mm:ss", kCodePageLatin1};
    } else if (utf16_ && format->compare(0, 6, "{<217>") == 0) {
      picture = Picture{std::string(CjkText("era_date_weekday", kCodePageShiftJis)), kCodePageShiftJis};
    }
    *out = FormatPicture(record.number, picture, output);
    return 0;
  }

  const FieldDocument& document_;
  const FieldContext& context_;
  const bool utf16_;
  const uint32_t text_code_page_;
};

}  // namespace

Fraction FindFraction(double f, int32_t bound) {
  Fraction best;
  if (!(f >= 1e-6)) return best;
  double best_error = 1;
  for (int32_t i = 1; i < bound; ++i) {
    const double exact = i / f;
    const double j = std::floor(exact + 0.5);
    if (!(j < bound)) break;
    if (j < 1) continue;
    const double error = std::fabs(exact - j) / j + 1e-8;
    if (error < best_error) {
      best_error = error;
      best = Fraction{i, static_cast<int32_t>(j)};
    }
  }
  return best;
}

std::string CurrencyText(uint32_t amount) {
  std::string text = FixedText(amount * 0.01, 2) + " USD";
  if (text.size() > 10) text.insert(text.size() - 10, 1, ',');
  return text;
}

std::string NumberFormatText(int32_t index, double value) {
  switch (index) {
    case 0: case 1: {
      const double b = std::trunc(value);
      if (value - b < 0.0001) return DecimalText(TruncatedInt(b));
      if (b + 1 - value < 0.0001) return DecimalText(TruncatedInt(b + 1));
      return FixedText(value, 4);
    }
    case 2: case 3: return FixedText(value, 0);
    case 4: case 5: return FixedText(value, 1);
    case 6: case 7: return FixedText(value, 2);
    case 8: case 9: return FixedText(value, 3);
    case 10: {
      const double inches = value * kInchesPerMillimetre;
      const int32_t feet = TruncatedInt(inches / 12);
      return DecimalText(feet) + "' " + FixedText(inches - 12.0 * feet, 3) + "\"";
    }
    case 11: return value >= 0.0001 ? FixedText(value + 0.00005, 4) + " rad" : "0 rad";
    case 12: return value >= 0.0001 ? FixedText(value * kDegreesPerRadian, 2) + " deg" : "0 deg";
    case 13: case 14: {
      const int32_t feet = TruncatedInt(value / 12);
      const double rest = value - 12.0 * feet;
      const int32_t inches = TruncatedInt(rest);
      std::string text = DecimalText(feet) + "' ";
      if (inches != 0) text += DecimalText(inches) + " ";
      return text + FractionText(FindFraction(rest - inches, index == 13 ? 10 : 100)) + "\"";
    }
    case 15: case 16: case 17: case 18: {
      const bool coarse = index <= 16;
      const int32_t whole = TruncatedInt(value);
      std::string text;
      if (whole != 0) text = DecimalText(whole);
      double f = std::fabs(value - std::trunc(value));
      if (f >= 0.001) {
        const double raise = coarse ? 0.05 : 0.005;
        if (f < raise) f += raise;
        if (!text.empty()) text += " ";
        text += FractionText(FindFraction(f, coarse ? 10 : 100));
      }
      return text;
    }
    default:
      return std::string();
  }
}

int FormatStringClass(std::string_view text, int32_t* number_format) {
  if (text.compare(0, 4, "esc(") == 0) {
    size_t i = 4;
    int32_t n = 0;
    while (i < text.size() && i < 6 && text[i] >= '0' && text[i] <= '9') n = n * 10 + (text[i++] - '0');
    if (i > 4 && i < text.size() && text[i] == ')') {
      if (number_format) *number_format = n;
      return 1;
    }
  }
  if (text.empty()) return 0;
  if (text[0] == 'E' || text[0] == 'y' || text[0] == '{') return 2;
  if (text[0] == '0') return 3;
  return 0;
}

int32_t FieldValueFormatter::FormatField(const FieldContext& context, const FieldRecord& record,
                                         std::string* value) {
  value->clear();
  if (context.session == nullptr) return 0;
  // The master shape's record at the same position, for references 254
  // (only for a shape's own fields).
  const FieldRecord* master = nullptr;
  if (context.item != nullptr && context.master_shape != nullptr && context.fields != nullptr &&
      !context.fields->empty() && &record >= context.fields->data() &&
      &record < context.fields->data() + context.fields->size()) {
    const size_t index = static_cast<size_t>(&record - context.fields->data());
    if (index < context.master_shape->fields.size()) master = &context.master_shape->fields[index];
  }
  FieldValue work(document_, context);
  std::string text;
  bool final_form = false;
  if (int32_t rc = work.Value(record, context.format_strings, master, &text, &final_form)) return rc;
  if (IsUtf16Layout(context.session->version) && !final_form && !text.empty())
    return ConvertBetweenCodePages(context.session->text_code_page, kCodePageUcs2, text, value);
  *value = std::move(text);
  return 0;
}

int32_t FieldValueFormatter::FormatCode(const FieldContext& context, const uint8_t code[3], std::string* value) {
  value->clear();
  if (context.session == nullptr) return 0;
  const VsdSession& session = *context.session;
  const uint32_t text_cp = session.text_code_page;
  const uint8_t category = code[0], item = code[1], format = code[2];
  const ShapeItem* shape = context.item;
  std::string text;
  bool letters = true;  // a text value, which the format letter may case
  switch (category) {
    case ' ': {
      const size_t index = item >= 32 ? item - 32u : SIZE_MAX;
      if (context.fields == nullptr || index >= context.fields->size()) return 0;
      const FieldRecord& record = (*context.fields)[index];
      if (!record.value_text.empty()) {
        text = record.value_text;
      } else if (record.value_tag == ' ') {
        text = NumberFormatText(format - 32, record.number);
        letters = false;
      } else if (record.value_tag == 'n') {
        text = CurrencyText(record.integer);
        letters = false;
      } else if (record.value_tag == 0xE8 && record.value_ref.kind == FieldRef::kFormatString) {
        const FormatString* found = FindFormatString(context.format_strings, record.value_ref.id);
        if (found == nullptr) return InvalidFile;
        text = found->text;
      }
      break;
    }
    case '!': {
      if (item < ' ' || item > '\'') return 0;
      Picture picture = PictureOfFormatByte(format, document_.output_code_page, text_cp);
      if (picture.text.empty()) return 0;
      text = FormatPicture(session.document_dates[(item - ' ') / 2], picture, document_.output_code_page);
      letters = false;
      break;
    }
    case 0x22: {
      static constexpr VsdProperty kByItem[] = {
          VsdProperty::kAuthor, VsdProperty::kComments, VsdProperty::kTitle /* unused */,
          VsdProperty::kTitle /* unused */, VsdProperty::kKeywords, VsdProperty::kSubject,
          VsdProperty::kTitle, VsdProperty::kManager, VsdProperty::kCompany, VsdProperty::kCategory};
      if (item < ' ' || item > ')') return 0;
      if (item == 0x22 || item == '#') {
        // The drawing's folder or its file name with extension, from the
        // UTF-8 path to the text code page.
        std::filesystem::path path(std::string(document_.path));
        std::string part = item == 0x22 ? path.parent_path().string() : path.filename().string();
        if (int32_t rc = ConvertBetweenCodePages(kCodePageUtf8, text_cp, part, &text)) return rc;
      } else if (document_.properties != nullptr) {
        std::string_view utf16 = PropertyText(*document_.properties, kByItem[item - ' ']);
        if (int32_t rc = ConvertBetweenCodePages(kCodePageUcs2, text_cp, utf16, &text)) return rc;
      }
      break;
    }
    case '#': {
      if (shape == nullptr || item < ' ' || item > 0x22) return 0;
      static constexpr int kTransformIndex[] = {2, 3, 6};  // width, height, angle
      const int k = kTransformIndex[item - ' '];
      double v = shape->transform[k];
      const bool millimetres = k != 6 && shape->transform_tags[k] == 0x40;
      if (millimetres) v *= kMillimetresPerInch;
      text = NumberFormatText(format - 32, v);
      if (millimetres && !text.empty()) text += " mm";
      letters = false;
      break;
    }
    case '$': {
      if (shape == nullptr) return 0;
      if (item >= ' ' && item <= 0x22) {
        text = shape->data[item - ' '];
      } else if (item == '#') {
        text = DecimalText(shape->shape_id);
      } else if (item == '$') {
        text = std::string(context.master_name) + ":sheet." + DecimalText(shape->master_shape_id);
      } else if (item == '%') {
        text = "sheet." + DecimalText(shape->shape_id);
      } else if (item == '&') {
        text = text_cp == kCodePageGbk ? std::string(CjkText("shape_zh", kCodePageGbk)) : "Shape";
      }
      break;
    }
    case '%': {
      if (item == ' ') {
        // The background page's name; its id indexes the name table.
        const uint32_t id = context.background_page_id;
        if (id != 0 && id < session.names.size() && !session.names[id].empty()) {
          text = session.names[id];
        } else if (text_cp == kCodePageShiftJis || text_cp == kCodePageGbk) {
          text = CjkText(text_cp == kCodePageGbk ? "no_background_zh" : "no_background_ja", text_cp);
        } else {
          text = "<no background>";
        }
      } else if (item == '!') {
        text = context.page_name;
      } else if (item == 0x22) {
        text = DecimalText(context.page_count);
        letters = false;
      } else if (item == '#') {
        text = DecimalText(context.page_number);
        letters = false;
      }
      break;
    }
    default:
      return 0;
  }
  if (letters) ApplyFormatLetter(&text, format, text_cp);
  *value = std::move(text);
  return 0;
}

}  // namespace glyphane
