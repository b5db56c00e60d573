// The date and time section formatter: serial days of either date system,
// clock and elapsed fields, names, kanji weekdays and Japanese eras.
#include <charconv>
#include <cmath>
#include <string>

#include "number_text.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace {

constexpr const char16_t* kShortDays[7] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
constexpr const char16_t* kLongDays[7] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                          u"Thursday", u"Friday", u"Saturday"};
constexpr const char16_t* kLongMonths[13] = {u"",     u"January", u"February",  u"March",   u"April",
                                             u"May",  u"June",    u"July",      u"August",  u"September",
                                             u"October", u"November", u"December"};
constexpr const char16_t* kShortMonths[13] = {u"",    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                              u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr char16_t kMonthLetters[13] = {0, u'J', u'F', u'M', u'A', u'M', u'J', u'J', u'A', u'S', u'O', u'N', u'D'};
constexpr char16_t kKanjiDays[7] = {0x65E5, 0x6708, 0x706B, 0x6C34, 0x6728, 0x91D1, 0x571F};
constexpr char16_t kWeekdaySuffix[2] = {0x66DC, 0x65E5};

constexpr int kEras = 5;
constexpr char16_t kEraNames[kEras][2] = {
    {0x660E, 0x6CBB}, {0x5927, 0x6B63}, {0x662D, 0x548C}, {0x5E73, 0x6210}, {0x4EE4, 0x548C}};
constexpr char16_t kEraInitials[kEras] = {u'M', u'T', u'S', u'H', u'R'};
constexpr int kEraBase[kEras] = {1867, 1911, 1925, 1988, 2018};
// The last day of each era but the current one, per date system.
constexpr unsigned long kEraEnd1900[kEras - 1] = {4594, 9855, 32515, 43585};
constexpr unsigned long kEraEnd1904[kEras - 1] = {3132, 8393, 31053, 42123};

constexpr unsigned short kMonthDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

std::u16string number(int64_t n, int minDigits) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, n < 0 ? -n : n);
  std::u16string text;
  if (n < 0) text += u'-';
  for (int k = static_cast<int>(r.ptr - buffer); k < minDigits; ++k) text += u'0';
  for (const char* p = buffer; p < r.ptr; ++p) text += static_cast<char16_t>(*p);
  return text;
}

// The seconds of the day rounded to `decimals` (units of 10^-decimals s)
// and the whole days, a rounding to midnight counting on the next day.
struct Clock {
  double days = 0;       // whole days, after the rounding
  int64_t ticks = 0;     // units of the day, 0 .. 86400 × scale − 1
  int64_t scale = 1;
};

Clock clockOf(double value, unsigned char decimals) {
  Clock c;
  c.scale = decimals == 1 ? 10 : decimals == 2 ? 100 : decimals >= 3 ? 1000 : 1;
  const double whole = std::floor(value);
  c.days = whole;
  c.ticks = static_cast<int64_t>(std::floor((value - whole) * static_cast<double>(c.scale) * 86400.0 + 0.5));
  if (c.ticks >= 86400 * c.scale) {
    c.ticks -= 86400 * c.scale;
    c.days += 1;
  }
  return c;
}

}  // namespace

unsigned short XlsFormatString::DateOfYear(short year) {
  const bool leap = year < 2080 ? year % 4 == 0 : (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return leap ? 366 : 365;
}

unsigned short XlsFormatString::DateOfMonth(short year, short month) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && DateOfYear(year) == 366) return 29;
  return kMonthDays[month];
}

short XlsFormatString::WeekOfNum(unsigned long serial, short yearBase) {
  return static_cast<short>(yearBase == 1900 ? serial % 7 : (serial + 5) % 7);
}

short XlsFormatString::RekiOfNum(unsigned long serial, short yearBase) {
  const unsigned long* limits = yearBase == 1900 ? kEraEnd1900 : kEraEnd1904;
  short era = 0;
  while (era < kEras - 1 && serial > limits[era]) ++era;
  return era;
}

short XlsFormatString::fmtdate(double value, short* year, short* month, short* day, short* weekday, short* era) {
  const short base = (year != nullptr && *year == 1904) ? 1904 : 1900;
  if (!(value >= 0) || value >= (base == 1900 ? 2958466.0 : 2957004.0)) return 0;
  unsigned long serial = static_cast<unsigned long>(value);
  const short wd = base == 1900 ? WeekOfNum(serial + 6, base) : WeekOfNum(serial, base);
  const short er = RekiOfNum(serial, base);
  bool dayZero = false;
  if (base == 1900) {
    if (serial == 0) dayZero = true;
    else --serial;
  }
  short y = base;
  while (serial >= DateOfYear(y)) {
    serial -= DateOfYear(y);
    if (++y > 9999) return 0;
  }
  short m = 1;
  while (m < 12 && serial >= DateOfMonth(y, m)) serial -= DateOfMonth(y, m++);
  if (year != nullptr) *year = y;
  if (month != nullptr) *month = m;
  if (day != nullptr) *day = dayZero ? 0 : static_cast<short>(serial + 1);
  if (weekday != nullptr) *weekday = wd;
  if (era != nullptr) *era = er;
  return y;
}

int64_t XlsFormatString::fmttime(double value, short what, unsigned char decimals) {
  if (!std::isfinite(value)) return -1;
  if (what == 6) {
    const double fraction = value - std::floor(value);
    return static_cast<int64_t>(std::floor(fraction * 8.64e7 + 0.5)) % 1000;
  }
  const Clock c = clockOf(value, decimals);
  const int64_t s = c.ticks / c.scale;
  if (what <= 2) {
    if (what == 0) return s / 3600;
    return what == 1 ? (s / 60) % 60 : s % 60;
  }
  // Elapsed fields beyond 64 bits cannot be written: -1.
  const double perDay = what == 3 ? 24.0 : what == 4 ? 1440.0 : 86400.0;
  if (what > 5 || !(std::fabs(c.days * perDay) < 9.0e18)) return -1;
  const auto days = static_cast<int64_t>(c.days);
  switch (what) {
    case 3: return days * 24 + s / 3600;
    case 4: return days * 1440 + s / 60;
    case 5: return days * 86400 + s;
    default: return -1;
  }
}

short XlsFormatString::fmtnumD(FMT* section, double value, const ZelValue& widthInChars, icu::UnicodeString& out,
                               XlsWidthCallback callback, ZelLength cellWidth, int arg1, int arg2, void* context) {
  out.remove();
  const short w = numtext::widthOf(widthInChars);
  const auto hashes = [&] {
    out.remove();
    for (short i = 0; i < w; ++i) out.append(u'#');
    return short{-3};
  };
  if (section == nullptr) return 0;
  if (!std::isfinite(value)) return hashes();
  const FMT& f = *section;
  int columns = 0;
  if (value < 0) {
    if (dateSystem != 1) return hashes();
    out.append(u'-');
    columns = 1;
    value = -value;
  }
  const unsigned char decimals = f.decDigits;
  // The date is that of the day the rounded time falls on, reckoned once.
  bool dateKnown = false;
  short year = 0, month = 0, day = 0, weekday = 0, era = 0;
  const auto knowDate = [&] {
    if (dateKnown) return year != 0;
    dateKnown = true;
    year = static_cast<short>(dateSystem == 1 ? 1904 : 1900);
    const Clock c = clockOf(value, decimals);
    if (fmtdate(c.days, &year, &month, &day, &weekday, &era) == 0) year = 0;
    return year != 0;
  };

  const auto write = [&](const std::u16string& text) {
    out.append(text.data(), static_cast<int32_t>(text.size()));
    columns += static_cast<int>(text.size());
  };
  const auto writeEraName = [&] { write(std::u16string(kEraNames[era], 2)); };
  const auto eraYear = [&] { return static_cast<int64_t>(year - kEraBase[era]); };

  const icu::UnicodeString& t = f.tokens;
  const int32_t n = t.length();
  int32_t fillAt = -1;
  char16_t fillChar = 0;
  short status = 0;
  for (int32_t i = 0; i < n && status == 0;) {
    const char16_t c = t.charAt(i);
    const char16_t next = i + 1 < n ? t.charAt(i + 1) : char16_t{0};
    if (c == u'"') {
      int32_t j = i + 1;
      while (j < n && t.charAt(j) != u'"') ++j;
      out.append(t, i + 1, j - i - 1);
      columns += j - i - 1;
      i = j + 1;
    } else if (c == u'\\' && i + 1 < n) {
      write(std::u16string(1, next));
      i += 2;
    } else if (c == u'%' || c == u'/') {
      write(std::u16string(1, c));
      ++i;
    } else if (c == u'.') {
      write(u".");
      ++i;
      int zeros = 0;
      while (i + zeros < n && t.charAt(i + zeros) == u'0') ++zeros;
      if (zeros > 0) {
        const int64_t ms = fmttime(value, 6, decimals);
        if (zeros == 1) write(number(static_cast<int64_t>(std::floor(static_cast<double>(ms) * 0.01 + 0.5)) % 10, 1));
        else if (zeros == 2) write(number(static_cast<int64_t>(std::floor(static_cast<double>(ms) * 0.1 + 0.5)) % 100, 2));
        else write(number(ms, 3) + std::u16string(static_cast<size_t>(zeros - 3), u'0'));
        i += zeros;
      }
    } else if (c == u'*' && i + 1 < n) {
      if (fill == 0) {
        write(std::u16string(1, next));
      } else {
        fillAt = out.length();
        fillChar = next;
      }
      i += 2;
    } else if ((c == u'h' || c == u'm' || c == u's') && next >= u'1' && next <= u'4') {
      const bool elapsed = next == u'3' || next == u'4';
      const short what = static_cast<short>((c == u'h' ? 0 : c == u'm' ? 1 : 2) + (elapsed ? 3 : 0));
      int64_t field = fmttime(value, what, decimals);
      if (field < 0) return hashes();
      if (!elapsed) {
        if (c == u'h') {
          field %= 24;
          if (f.hasAmPm != 0) {
            field %= 12;
            if (field == 0) field = 12;
          }
        } else {
          field %= 60;
        }
      }
      write(number(field, next == u'2' || next == u'4' ? 2 : 1));
      i += 2;
    } else if (numtext::amPmLength(t, i) > 0) {
      const int32_t half = next == u'/' ? 1 : 2;
      const bool morning = fmttime(value, 0, 0) % 24 < 12;
      out.append(t, morning ? i : i + half + 1, half);
      columns += half;
      i += 2 * half + 1;
    } else if ((c == u'D' || c == u'M' || c == u'Y' || c == u'R') && next >= u'1' && next <= u'7') {
      if (!knowDate()) return hashes();
      switch (c * 16 + (next - u'0')) {
        case u'D' * 16 + 1: write(number(day, 1)); break;
        case u'D' * 16 + 2: write(number(day, 2)); break;
        case u'D' * 16 + 3: write(kShortDays[weekday]); break;
        case u'D' * 16 + 4:
          if (GetBookVersion() == 0x0800) write(kLongDays[weekday]);
          else write(std::u16string(1, kKanjiDays[weekday]));
          break;
        case u'D' * 16 + 5: write(std::u16string(1, kKanjiDays[weekday])); break;
        case u'D' * 16 + 6: write(std::u16string(1, kKanjiDays[weekday]) + std::u16string(kWeekdaySuffix, 2)); break;
        case u'M' * 16 + 1: write(number(month, 1)); break;
        case u'M' * 16 + 2: write(number(month, 2)); break;
        case u'M' * 16 + 3: write(kShortMonths[month]); break;
        case u'M' * 16 + 4: write(kLongMonths[month]); break;
        case u'M' * 16 + 5: write(std::u16string(1, kMonthLetters[month])); break;
        case u'Y' * 16 + 2: write(number(year % 100, 2)); break;
        case u'Y' * 16 + 4: write(number(year, 4)); break;
        case u'R' * 16 + 1:
          if (era >= 3) {
            write(number(eraYear(), 1));
          } else {
            writeEraName();
            write(number(eraYear(), 2));
          }
          break;
        case u'R' * 16 + 2:
          writeEraName();
          write(number(eraYear(), 2));
          break;
        case u'R' * 16 + 3: write(std::u16string(1, kEraInitials[era])); break;
        case u'R' * 16 + 4: write(std::u16string(1, kEraNames[era][0])); break;
        case u'R' * 16 + 5: writeEraName(); break;
        case u'R' * 16 + 6: write(number(eraYear(), 1)); break;
        case u'R' * 16 + 7: write(number(eraYear(), 2)); break;
        default: break;
      }
      i += 2;
    } else {
      ++i;
    }
    if (callback == nullptr && columns > w) status = -3;
  }
  if (status == 0 && callback != nullptr && callback(context, out, cellWidth, arg1, arg2)) status = -3;
  if (status == 0) numtext::insertFill(out, fillAt, fillChar, w);
  return status;
}

}  // namespace ObraCommon
