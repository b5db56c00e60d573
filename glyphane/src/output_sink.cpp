// The reader's sink over the text output (see output_sink.h).
#include "output_sink.h"

#include <charconv>
#include <cmath>

#include "code_pages.h"
#include "ostrand/stream_output.h"

namespace glyphane {

namespace {

// Days since 1 March of year 0 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

void AppendNumber(std::string* out, int64_t value, int min_digits) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value);
  (void)ec;
  if (value < 0) out->push_back('-');
  for (int pad = min_digits - static_cast<int>(end - digits); pad > 0; --pad) out->push_back('0');
  out->append(digits, end);
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string AnnotationDate(double serial) {
  double magnitude = std::fabs(serial);
  if (!std::isfinite(magnitude) || magnitude > 2958465.0) magnitude = 0;  // beyond 9999-12-31
  int64_t days = static_cast<int64_t>(magnitude);
  int64_t year = 1900;
  unsigned month = 2, day = 29;  // day 60, the 29 February 1900 that never was
  // Day 0 of the count is 30 December 1899 from day 61 on, and one day
  // later before day 60 (the false leap day).
  constexpr int64_t kDay0 = -25569;  // 30 December 1899 counted from 1 January 1970
  if (days != 60) CivilFromDays(kDay0 + days + (days < 60 ? 1 : 0), &year, &month, &day);
  std::string out;
  AppendNumber(&out, year, 4);
  out.push_back('-');
  AppendNumber(&out, month, 1);
  out.push_back('-');
  AppendNumber(&out, day, 1);
  return out;
}

int32_t OutputSink::PageReached(int32_t page_number) {
  (void)page_number;
  return 0;
}

int32_t OutputSink::PageName(TextRef name) {
  int32_t rc = out_.WriteItem(name.bytes, name.code_page);
  // A page reached counts as text written, even with an empty name.
  out_.MarkTextWritten();
  return rc;
}

int32_t OutputSink::HeaderFooter(const VsdSession& session, TextRef page_name) {
  return WriteHeaderFooter(out_, session, page_name, path_);
}

int32_t OutputSink::Annotation(double date, std::string_view utf16_text) {
  std::string date_text;
  if (annotation_date_) {
    if (int32_t rc = annotation_date_(date, &date_text)) return rc;
  } else {
    date_text = AnnotationDate(date);
  }
  std::string date_utf16;
  if (IsAscii(date_text)) {
    for (char c : date_text) {
      date_utf16.push_back(c);
      date_utf16.push_back('\0');
    }
  } else if (int32_t rc = ConvertBetweenCodePages(session_.text_code_page, kCodePageUcs2, date_text, &date_utf16)) {
    return rc;
  }
  std::string item = author_utf16_;
  item += date_utf16;
  item.append(utf16_text);
  return out_.WriteItem(item, kCodePageUcs2);
}

int32_t OutputSink::ExtractObject(KVB_OleStorage* storage) {
  ExtractOutputTarget own_target{};
  ExtractOutputTarget* target = target_ != nullptr ? target_ : &own_target;
  if (out_.stream() != nullptr) {
    const int64_t before = KVB_StreamTell(out_.stream());
    int32_t rc = port_.GetInsertFileTextStream(storage, out_.stream(), &options_, target, callback_);
    last_nested_ = rc;
    const int64_t after = KVB_StreamTell(out_.stream());
    return rc == 0 && after == before ? OleCantDetectFile : rc;
  }
  const bool shared = (options_.flags_a & kFlagACallerOutput) != 0;
  const int64_t before = out_.count();
  if (shared) target->count = static_cast<int32_t>(std::min<int64_t>(before, INT32_MAX));
  int32_t rc = port_.GetInsertFileText(storage, out_.file(), &options_, target, callback_);
  last_nested_ = rc;
  if (!shared) return rc;
  // The nested extraction advanced the shared count by what it wrote.
  out_.set_count(target->count);
  return rc == 0 && target->count == before ? OleCantDetectFile : rc;
}

int32_t OutputSink::EmbeddedObject(const std::string& path, bool* taken) {
  *taken = true;
  KVB_OleStorage* storage = KVB_2OLEopen(path.c_str());
  if (storage == nullptr) {
    KVB_ASC_remove(path.c_str());
    return 0;
  }
  int32_t rc = ExtractObject(storage);
  KVB_2OLEclose(storage);
  KVB_ASC_remove(path.c_str());
  if (rc == 0) return LineBreak();
  if (!(options_.flags_a & kFlagAGoOnAfterEmbeddedError)) return rc;
  embedded_error_ = rc;
  has_embedded_error_ = true;
  return 0;
}

}  // namespace glyphane
