#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unicode/rbnf.h>

#include "format_test_util.h"
#include "kanji_numerals.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::XlsFormatString;
using xlstest::U;
using xlstest::Utf8;

TEST(KanjiNumerals, Converters) {
  icu::UnicodeString out;
  EXPECT_EQ(2, XlsFormatString::sethanzenNumS(out, 1, '7'));
  EXPECT_EQ(2, XlsFormatString::sethanzenNumS(out, 2, '2'));
  EXPECT_EQ(2, XlsFormatString::sethanzenNumS(out, 3, '0'));
  EXPECT_EQ(1, XlsFormatString::sethanzenNumS(out, 1, '.'));
  EXPECT_EQ(1, XlsFormatString::sethanzenNumS(out, 0, '5'));
  EXPECT_EQ(1, XlsFormatString::sethanzenNumS(out, 4, '5'));
  EXPECT_EQ(1, XlsFormatString::sethanzenNumS(out, 2, 0xE9));
  EXPECT_EQ("七弐０.55é", Utf8(out));

  out.remove();
  for (long n : {0L, 9L, 10L, -1L}) XlsFormatString::setzenNum(out, 2, n);
  XlsFormatString::setzenNum(out, 0, 1);
  for (long unit : {0L, 2L, 3L, 5L, 6L, -1L}) XlsFormatString::setzenTani(out, 2, unit);
  XlsFormatString::setzenTani(out, 4, 1);
  EXPECT_EQ(icu::UnicodeString(u"〇九\uFFFF\uFFFF\uFFFF拾阡萬兆\uFFFF\uFFFF\uFFFF"), out);
}

std::string Kanji(unsigned char dbNum, double value, int* columns = nullptr) {
  icu::UnicodeString out;
  const int written = ObraCommon::appendKanjiGeneral(out, dbNum, value, 11);
  if (columns) *columns = written;
  return Utf8(out);
}

// The largest value and a negative one: the spell-out comparison below
// takes the rest.
TEST(KanjiNumerals, GeneralInEachStyle) {
  const struct {
    double value;
    const char *plain, *formal, *wide;
  } rows[] = {
      {9999999999999998, "九千九百九十九兆九千九百九十九億九千九百九十九万九千九百九十八",
       "九阡九百九拾九兆九阡九百九拾九億九阡九百九拾九萬九阡九百九拾八",
       "９千９百９十９兆９千９百９十９億９千９百９十９万９千９百９十８"},
      {-305, "-三百五", "-参百伍", "-３百５"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(row.plain, Kanji(1, row.value));
    EXPECT_EQ(row.formal, Kanji(2, row.value));
    EXPECT_EQ(row.wide, Kanji(3, row.value));
  }
  int columns = 0;
  Kanji(1, -12345, &columns);
  EXPECT_EQ(1 + 2 * 9, columns);
}

// ICU's Japanese spell-out is the oracle: plain kanji is its cardinal, the
// formal style its financial cardinal after three mechanical changes, and
// full-width digits the plain kanji with its digits widened.
class SpellOut {
 public:
  SpellOut() {
    UErrorCode status = U_ZERO_ERROR;
    format_ = std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT, icu::Locale("ja"), status);
    ok_ = U_SUCCESS(status);
  }
  bool ok() const { return ok_; }
  icu::UnicodeString Spell(int64_t n, const char16_t* ruleSet) {
    UErrorCode status = U_ZERO_ERROR;
    format_->setDefaultRuleSet(ruleSet, status);
    icu::UnicodeString out;
    format_->format(n, out);
    return U_SUCCESS(status) ? out : icu::UnicodeString(u"?");
  }
  static icu::UnicodeString Formal(const icu::UnicodeString& financial) {
    static const icu::UnicodeString kDigits(u"壱弐参四伍六七八九");
    icu::UnicodeString out;
    for (int32_t i = 0; i < financial.length(); ++i) {
      char16_t c = financial.charAt(i);
      if (c == u'千') c = u'阡';
      if (c == u'零') c = u'〇';
      if (c == u'拾' && (out.isEmpty() || kDigits.indexOf(out.charAt(out.length() - 1)) < 0)) out.append(u'壱');
      out.append(c);
    }
    return out;
  }
  static icu::UnicodeString Wide(const icu::UnicodeString& plain) {
    static const icu::UnicodeString kDigits(u"〇一二三四五六七八九");
    icu::UnicodeString out;
    for (int32_t i = 0; i < plain.length(); ++i) {
      const int32_t d = kDigits.indexOf(plain.charAt(i));
      out.append(d >= 0 ? static_cast<char16_t>(0xFF10 + d) : plain.charAt(i));
    }
    return out;
  }

 private:
  std::unique_ptr<icu::RuleBasedNumberFormat> format_;
  bool ok_ = false;
};

TEST(KanjiNumerals, AgreeWithSpellOut) {
  SpellOut icu;
  ASSERT_TRUE(icu.ok());
  std::mt19937_64 random(20261209);
  int mismatches = 0;
  const auto check = [&](double value) {
    const auto n = static_cast<int64_t>(value);  // exact: value is integral and below 2^63
    const icu::UnicodeString plain = icu.Spell(n, u"%spellout-cardinal");
    const icu::UnicodeString formal = SpellOut::Formal(icu.Spell(n, u"%spellout-cardinal-financial"));
    // Through the whole engine, as a cell of 100 characters would show it.
    const std::string ours1 = xlstest::Render("[DBNum1]General", value, 100, false, false);
    const std::string ours2 = xlstest::Render("[DBNum2]General", value, 100, false, false);
    const std::string ours3 = xlstest::Render("[DBNum3]General", value, 100, false, false);
    if (ours1 != Utf8(plain) || ours2 != Utf8(formal) || ours3 != Utf8(SpellOut::Wide(plain))) {
      if (++mismatches <= 5)
        ADD_FAILURE() << n << ": " << ours1 << " / " << Utf8(plain) << ", " << ours2 << " / " << Utf8(formal)
                      << ", " << ours3;
    }
  };
  for (int n = 0; n < 100000; ++n) check(n);
  for (int i = 0; i < 20000; ++i) {
    // Every magnitude alike: a digit count, then the digits.
    const int digits = 1 + static_cast<int>(random() % 16);
    uint64_t top = 1;
    for (int d = 0; d < digits; ++d) top *= 10;
    const double value = static_cast<double>(random() % top);
    if (value < 1e16) check(value);
  }
  EXPECT_EQ(0, mismatches);
}

}  // namespace
