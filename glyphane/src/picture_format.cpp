// Date serials and the picture language (see picture_format.h).
//
// A picture is scanned token by token: quoted text is copied, a run of one
// letter is a field of the date, a few letter groups name markers and CJK
// texts, a digit (or a '<' other than "<210") replaces the whole picture by
// the default date and starts again. Double-byte characters of the
// picture's code page are copied whole, so their second bytes are never
// read as letters.
#include "picture_format.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "cjk_texts.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr const char* kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                         "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kWeekdays[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};

// The latest serial a date is taken to (31 December 9999); larger values,
// and NaN, would only make the calendar walk long.
constexpr double kLastSerial = 2958465;

bool IsLeap(int64_t year) { return year == 1900 || (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)); }

// The code page whose form the fixed CJK texts take for an output: GBK for
// 936, code page 932 otherwise.
uint32_t CjkForm(uint32_t output_code_page) { return output_code_page == 936 ? 936 : 932; }

std::string Weekday(const SerialDate& d, bool chinese, uint32_t code_page) {
  std::string name = std::string(chinese ? "weekday_zh_" : "weekday_") + kWeekdays[d.weekday];
  return std::string(CjkText(name, code_page));
}

// The first character of the Japanese weekday name (one double-byte
// character in both forms).
std::string WeekdayInitial(const SerialDate& d, uint32_t output_code_page) {
  return Weekday(d, false, CjkForm(output_code_page)).substr(0, 2);
}

// The era of a serial: start serials of Meiji, Taisho, Showa and Heisei,
// and the offset that makes its first year 1.
struct Era {
  double start;
  const char* name;
  int offset;
};
constexpr Era kEras[] = {{0, "era_meiji", -33}, {4595, "era_taisho", 11}, {9856, "era_showa", 25},
                         {32516, "era_heisei", 88}};

}  // namespace

std::string DecimalText(int64_t value, int min_digits) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value).ptr;
  std::string text;
  if (value < 0) text.push_back('-');
  for (int64_t n = end - digits; n < min_digits; ++n) text.push_back('0');
  text.append(digits, end);
  return text;
}

std::string FixedText(double value, int decimals) {
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return std::string();
  return std::string(buffer, result.ptr);
}

int32_t TruncatedInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

std::string_view CjkText(std::string_view name, uint32_t code_page) {
  for (size_t i = 0; i < kCjkTextEntryCount; ++i) {
    const CjkTextEntry& e = kCjkTextEntries[i];
    if (name != e.name) continue;
    return code_page == 932 ? e.cp932 : code_page == 936 ? e.gbk : e.utf8;
  }
  return std::string_view();
}

SerialDate DateOfSerial(double serial) {
  SerialDate d;
  double v = std::fabs(serial);
  if (!(v <= kLastSerial)) v = std::isnan(v) ? 0 : kLastSerial;
  int64_t days = static_cast<int64_t>(v);
  double fraction = v - static_cast<double>(days);
  d.weekday = static_cast<int>((days + 6) % 7);
  double hours = fraction * 24;
  d.hour = static_cast<int>(hours);
  double minutes = (hours - d.hour) * 60;
  d.minute = static_cast<int>(minutes);
  d.second = static_cast<int>((minutes - d.minute) * 60);
  while (days > (IsLeap(d.year) ? 366 : 365)) {
    days -= IsLeap(d.year) ? 366 : 365;
    ++d.year;
  }
  static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  while (d.month < 12) {
    int length = kMonthDays[d.month - 1] + (d.month == 2 && IsLeap(d.year) ? 1 : 0);
    if (days <= length) break;
    days -= length;
    ++d.month;
  }
  d.day = days;
  return d;
}

Picture ShortDatePicture(uint32_t output_code_page) {
  if (output_code_page == 936) return {"yyyy'-'M'-'D", 1252};
  return {"yyyy'/'MM'/'D", 1252};
}

Picture LongDatePicture(uint32_t output_code_page) {
  if (output_code_page == 932 || output_code_page == 936)
    return {std::string(CjkText("long_date", output_code_page)), output_code_page};
  return {"yyyy'/'MM'/'D", 1252};
}

Picture DefaultDatePicture(uint32_t output_code_page) {
  if (output_code_page == 932 || output_code_page == 936) return LongDatePicture(output_code_page);
  return {"yyyy'-'M'-'D", 1252};
}

Picture PictureOfFormatByte(uint8_t format, uint32_t output_code_page, uint32_t text_code_page) {
  auto ascii = [](const char* text) { return Picture{text, 1252}; };
  const bool cjk_out = output_code_page == 932 || output_code_page == 936;
  const bool cjk_text = text_code_page == 932 || text_code_page == 936;
  switch (format) {
    case '4':
      if (!cjk_out) return {};
      return output_code_page == 936 ? ascii("yyyy'-'M'-'D") : ascii("yyyy'/'MM'/'D");
    case '5': return cjk_out ? LongDatePicture(output_code_page) : Picture{};
    case '6': return ascii("M-d-yy");
    case '7': return ascii("MM-dd-yy");
    case '8': return ascii("MMM d, yyyy");
    case '9': return ascii("MMMM d, yyyy");
    case ':': return ascii("d-M-yy");
    case ';': return ascii("dd-MM-yy");
    case '<': return ascii("d MMM, yyyy");
    case '=': return ascii("d MMMM, yyyy");
    case '>': return ascii("HH:mm:ss");
    case '?': return ascii("h:mm");
    case 0x40: return ascii("hh:mm");
    case 'A': return ascii("H:mm");
    case 'B': return ascii("HH:mm");
    case 'C': return ascii("h:mm AMPM");
    case 'D': return ascii("hh:mm AMPM");
    case 'E': case 'F': case 'G': case 'H': case 'I': case 'J': case 'K': {
      std::string text = "h:mm";
      text.push_back(static_cast<char>('1' + (format - 'E')));
      return {text, 1252};
    }
    case 'L': return ascii("yyyy-M-d");
    case 'M': return ascii("yy-MM-dd");
    case 'N': return ascii("AMPM h:mm");
    case 'V': return {std::string(CjkText("era_date_weekday", 932)), 932};
    case 'W': return {std::string(CjkText("long_date_weekday", 932)), 932};
    case 'm': return ascii("yyyy MM dd");
    case 'n':
      if (!cjk_text) return {};
      return text_code_page == 936 ? ascii("w_s yyyy MM dd") : ascii("ww_j yyyy MM dd");
    case 'o':
      if (!cjk_text) return {};
      return {(text_code_page == 936 ? "w_s " : "ww_j ") + std::string(CjkText("long_date", text_code_page)),
              text_code_page};
    case 'p': return ascii("AMPM h:mm");
    default: return {};
  }
}

std::string FormatPicture(double serial, const Picture& start, uint32_t output_code_page) {
  const SerialDate d = DateOfSerial(serial);
  const uint32_t form = CjkForm(output_code_page);
  const bool morning = d.hour < 13;
  Picture picture = start;
  // A picture is replaced at most by the default or the long date, neither
  // of which restarts again; the bound only makes that plain.
  for (int turn = 0; turn < 4; ++turn) {
    const std::string& p = picture.text;
    const size_t n = p.size();
    std::string out;
    bool restart = false;
    size_t i = 0;
    auto run_of = [&](char c) {
      size_t k = i;
      while (k < n && p[k] == c) ++k;
      return k - i;
    };
    auto at = [&](size_t k, std::string_view s) { return p.compare(k, s.size(), s) == 0; };
    while (i < n && !restart) {
      const char c = p[i];
      if (IsLeadByte(picture.code_page, static_cast<uint8_t>(c)) && i + 1 < n) {
        out.append(p, i, 2);
        i += 2;
        continue;
      }
      size_t run = 1;
      switch (c) {
        case '\'': {
          size_t k = i + 1;
          while (k < n && p[k] != '\'') k += IsLeadByte(picture.code_page, static_cast<uint8_t>(p[k])) ? 2 : 1;
          out.append(p, i + 1, std::min(k, n) - i - 1);
          run = std::min(k, n) + 1 - i;
          break;
        }
        case 'y': case 'Y':
          run = run_of(c);
          out += run <= 2 ? DecimalText(d.year % 100, 2) : DecimalText(d.year, 4);
          break;
        case 'E':
          run = run_of(c);
          out += DecimalText(d.year, 4);
          break;
        case 'M':
          run = run_of(c);
          if (run == 1) out += DecimalText(d.month);
          else if (run == 2) out += DecimalText(d.month, 2);
          else if (run == 3) out += std::string_view(kMonthNames[d.month - 1]).substr(0, 3);
          else out += kMonthNames[d.month - 1];
          break;
        case 'O': out += DecimalText(d.month); break;
        case 'd': case 'D':
          run = run_of(c);
          if (run == 1) out += DecimalText(d.day);
          else if (run == 2) out += DecimalText(d.day, 2);
          else if (run == 3) out += WeekdayInitial(d, output_code_page);
          break;
        case 'a':
          run = run_of(c);
          out += WeekdayInitial(d, output_code_page);
          break;
        case 'A':
          if (at(i, "AMPM")) {
            run = 4;
            if (output_code_page == 932 || output_code_page == 936)
              out += CjkText(output_code_page == 936 ? (morning ? "am_zh" : "pm_zh") : (morning ? "am_ja" : "pm_ja"),
                             output_code_page);
            else
              out += morning ? "AM" : "PM";
          } else {
            out += DecimalText(d.day);
          }
          break;
        case 'H': case 'h': {
          run = run_of(c);
          int hour = c == 'h' && d.hour > 12 ? d.hour - 12 : d.hour;
          out += DecimalText(hour, run >= 2 ? 2 : 1);
          break;
        }
        case 'm': case 's':
          run = run_of(c);
          out += DecimalText(c == 'm' ? d.minute : d.second, run >= 2 ? 2 : 1);
          break;
        case 'g': case 'G': {
          const Era* era = &kEras[0];
          for (const Era& e : kEras)
            if (e.start <= std::fabs(serial)) era = &e;
          out += CjkText(era->name, 932);
          out += DecimalText(d.year - 1900 - era->offset);
          size_t k = i + 1;
          while (k < n && (p[k] == 'e' || p[k] == 'g' || p[k] == 'j' || p[k] == '_')) ++k;
          run = k - i;
          break;
        }
        case 'T': case 't':
          if (at(i + 1, "_s")) {
            out += CjkText(morning ? "am_zh" : "pm_zh", form);
            run = 3;
          } else if (at(i + 1, "_j") || (c == 't' && at(i + 1, "t") && i + 2 == n)) {
            out += CjkText(morning ? "am_ja" : "pm_ja", form);
            run = at(i + 1, "_j") ? 3 : 2;
          } else if (c == 't' && at(i + 1, "t")) {
            out += morning ? "AM" : "PM";
            run = 2;
          } else {
            out.push_back(c);
          }
          break;
        case 'w':
          if (at(i, "w_s")) {
            out += Weekday(d, true, 936);
            run = 3;
          } else if (at(i, "ww_j")) {
            out += Weekday(d, false, 932);
            run = 4;
          } else {
            out.push_back(c);
          }
          break;
        case '<':
          if (at(i, "<210")) {
            picture = LongDatePicture(932);
            restart = true;
            break;
          }
          [[fallthrough]];
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
          picture = DefaultDatePicture(output_code_page);
          restart = true;
          break;
        case '{': case '}': break;
        default: out.push_back(c); break;
      }
      i += run;
    }
    if (!restart) return out;
  }
  return std::string();
}

}  // namespace glyphane
