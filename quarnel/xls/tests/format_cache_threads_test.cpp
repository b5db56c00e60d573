// Parsed formats are shared by every object and thread: what a call renders
// must be what a record parsed for that call alone renders, while many
// threads fill the shared table past its bounds (texts and their units)
// and it starts afresh.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "format_test_util.h"
#include "number_text.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::CELLV;
using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelLength;
using ObraCommon::ZelValue;

struct Result {
  short status = 0;
  std::string text;
  unsigned char color = 0;
  bool operator==(const Result&) const = default;
};

// The record parsed for this call only, then rendered.
Result ParsedAlone(const XlsFormatString& book, const icu::UnicodeString& format, double value) {
  XlsFormatString object = book;
  FMT2 parsed;
  Result r;
  if (object.fmtget(format, &parsed) != 1) return r;
  CELLV cell;
  cell.type = 1;
  cell.value = value;
  icu::UnicodeString out;
  r.status = ObraCommon::numtext::renderNumber(object, &parsed, &cell, ZelValue(14), out, &r.color, nullptr,
                                               ZelLength(0.0f), 0, 0, nullptr);
  r.text = xlstest::Utf8(out);
  return r;
}

Result Shared(XlsFormatString& object, const icu::UnicodeString& format, double value) {
  CELLV cell;
  cell.type = 1;
  cell.value = value;
  icu::UnicodeString out;
  Result r;
  r.status = object.fmtnum(&cell, ZelValue(14), format, out, &r.color, nullptr, ZelLength(0.0f), 0, 0, nullptr);
  r.text = xlstest::Utf8(out);
  return r;
}

TEST(FormatCacheThreads, EveryCallRendersAsItsOwnParse) {
  std::vector<icu::UnicodeString> formats;
  for (const char* f : {"#,##0.00", "0.0%", "# ?/?", "# ?\?/?????????", "[Red]-0.00;[Blue]0.00;\"zero\"",
                        "0.00E+00", "[>100]0;[<-5]0.0;0.00", "yyyy-mm-dd hh:mm", "[DBNum1]0", "0,,", "\"x\"@", "[",
                        "General"}) {
    formats.push_back(xlstest::U(f));
  }
  // Distinct texts enough to fill the shared table more than once.
  for (int i = 0; i < 3000; ++i) formats.push_back(xlstest::U("0." + std::string(i % 7 + 1, '0') + "\"" +
                                                                std::to_string(i) + "\""));
  // Long texts enough to pass the table's bound on the units it holds.
  for (int i = 0; i < 12; ++i) formats.push_back(xlstest::U("0\"" + std::string(100000, char('a' + i)) + "\""));
  const double values[] = {0.0, -1.5, 1234.5678, 0.333, 1e10, 45000.25};
  const XlsFormatString books[] = {XlsFormatString(0x0800), XlsFormatString(0x0500)};
  std::vector<Result> expected;
  for (const XlsFormatString& book : books)
    for (const auto& format : formats)
      for (double v : values) expected.push_back(ParsedAlone(book, format, v));

  constexpr int kThreads = 8;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      XlsFormatString objects[] = {books[0], books[1]};
      const size_t perBook = formats.size() * std::size(values);
      // Each thread starts elsewhere, so that texts meet in the table.
      for (size_t n = 0; n < expected.size(); ++n) {
        const size_t k = (n + static_cast<size_t>(t) * 977) % expected.size();
        const size_t book = k / perBook;
        const size_t rest = k % perBook;
        const Result got = Shared(objects[book], formats[rest / std::size(values)], values[rest % std::size(values)]);
        if (!(got == expected[k])) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
