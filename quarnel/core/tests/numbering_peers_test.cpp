// List numbers and Japanese numerals side by side with two peers that share
// no code with them: ICU's rule-based formats and numbering systems, and
// libxslt's xsl:number (the xsltproc program).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unicode/numsys.h>
#include <unicode/rbnf.h>

#include "quarnel/name.h"
#include "quarnel/util.h"
#include "quarnel/zel_lang.h"
#include "support.h"
#include "testsupport/testdata.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelLang;
using ObraCommon::ZelName;
using ObraCommon::ZelUtil;
using quarnel_test::RunCommand;
using quarnel_test::Utf8;

UnicodeString Format(int number, const UnicodeString& format) {
  return ZelUtil::formatNumber(number, format, ZelLang());
}

std::unique_ptr<icu::RuleBasedNumberFormat> Rules(icu::URBNFRuleSetTag tag, const icu::Locale& locale,
                                                  const char16_t* ruleSet) {
  UErrorCode status = U_ZERO_ERROR;
  auto rules = std::make_unique<icu::RuleBasedNumberFormat>(tag, locale, status);
  if (ruleSet != nullptr) rules->setDefaultRuleSet(UnicodeString(ruleSet), status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  return rules;
}

UnicodeString Spell(icu::NumberFormat& rules, int64_t number) {
  UnicodeString out;
  return rules.format(number, out);
}

UnicodeString FullWidth(const UnicodeString& text) {
  UnicodeString out;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text[i];
    out.append(c >= u'A' && c <= u'z' ? static_cast<char16_t>(c + 0xFEE0) : c);
  }
  return out;
}

TEST(NumberingPeers, RomanNumeralsAsIcuWritesThem) {
  struct Case {
    const char16_t* ruleSet;
    const char16_t* token;
    bool fullWidth;
    int largest;
  } cases[] = {
      {u"%roman-upper", u"I", false, 39999},
      {u"%roman-lower", u"i", false, 3999},
      {u"%roman-upper", u"Ｉ", true, 39999},
      {u"%roman-lower", u"ｉ", true, 3999},
  };
  for (const Case& c : cases) {
    auto rules = Rules(icu::URBNF_NUMBERING_SYSTEM, icu::Locale::getRoot(), c.ruleSet);
    int differences = 0;
    for (int n = 1; n <= c.largest; ++n) {
      UnicodeString expected = Spell(*rules, n);
      if (c.fullWidth) expected = FullWidth(expected);
      if (Format(n, c.token) != expected && ++differences <= 5)
        ADD_FAILURE() << Utf8(c.token) << " " << n << ": " << Utf8(Format(n, c.token)) << " vs " << Utf8(expected);
    }
    EXPECT_EQ(differences, 0) << Utf8(c.token);
    EXPECT_EQ(Format(c.largest + 1, c.token), ZelUtil::toString(c.largest + 1));
  }
}

UnicodeString Readable(const std::string& digits) {
  return ZelUtil::convertKansuji(UnicodeString(digits.c_str()), ZelName(ObraCommon::NAME_READABLE),
                                 ZelName(ObraCommon::NAME_KANJI), UnicodeString(), UnicodeString());
}

TEST(NumberingPeers, ReadableKanjiAsIcuSpellsJapanese) {
  auto rules = Rules(icu::URBNF_SPELLOUT, icu::Locale("ja"), nullptr);
  std::vector<int64_t> numbers;
  for (int64_t n = 0; n <= 200000; ++n) numbers.push_back(n);
  // Up to 18 digits (ICU spells below 10^18), most of them zeros, so that
  // whole groups of zeros come often.
  std::mt19937_64 random(1018);
  for (int i = 0; i < 200000; ++i) {
    const int length = 1 + static_cast<int>(random() % 18);
    const int zeros = static_cast<int>(random() % 10);
    std::string digits(1, static_cast<char>('1' + random() % 9));
    for (int k = 1; k < length; ++k)
      digits += static_cast<int>(random() % 10) < zeros ? '0' : static_cast<char>('0' + random() % 10);
    numbers.push_back(std::stoll(digits));
  }
  int differences = 0;
  for (int64_t n : numbers) {
    const UnicodeString ours = Readable(std::to_string(n));
    const UnicodeString icu = Spell(*rules, n);
    if (ours != icu && ++differences <= 5) ADD_FAILURE() << n << ": " << Utf8(ours) << " vs " << Utf8(icu);
  }
  EXPECT_EQ(differences, 0) << "of " << numbers.size();
}

UnicodeString InDigits(int n, const UnicodeString& digits, int width) {
  std::string decimal = std::to_string(n);
  if (static_cast<int>(decimal.size()) < width) decimal.insert(0, static_cast<size_t>(width) - decimal.size(), '0');
  UnicodeString out;
  for (char c : decimal) out.append(digits.char32At(digits.moveIndex32(0, c - '0')));
  return out;
}

TEST(NumberingPeers, DigitBlocksAsIcuNumberingSystems) {
  const char* systems[] = {"arab", "arabext", "deva", "beng", "guru", "gujr", "orya", "telu", "knda",
                           "mlym", "thai",    "laoo", "tibt", "mymr", "khmr", "mong", "fullwide", "hanidec"};
  for (const char* name : systems) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberingSystem> system(icu::NumberingSystem::createInstanceByName(name, status));
    ASSERT_TRUE(U_SUCCESS(status)) << name;
    const UnicodeString digits = system->getDescription();
    ASSERT_EQ(digits.countChar32(), 10) << name;
    const UnicodeString one(digits.char32At(digits.moveIndex32(0, 1)));
    const UnicodeString zeroOne = UnicodeString(digits.char32At(0)) + one;
    int differences = 0;
    for (int n = 0; n <= 10000; ++n) {
      differences += Format(n, one) != InDigits(n, digits, 1);
      differences += Format(n, zeroOne) != InDigits(n, digits, 2);
    }
    EXPECT_EQ(differences, 0) << name;
  }
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::NumberingSystem> hanidec(icu::NumberingSystem::createInstanceByName("hanidec", status));
  ASSERT_TRUE(U_SUCCESS(status));
  EXPECT_EQ(ZelUtil::convertKansuji(UnicodeString(u"0123456789"), ZelName(UnicodeString(u"plain")),
                                    ZelName(ObraCommon::NAME_KANJI), UnicodeString(), UnicodeString()),
            hanidec->getDescription());
}

TEST(NumberingPeers, SameTextsAsXslNumberOfLibxslt) {
  std::string probe;
  if (!RunCommand("xsltproc --version 2>&1", probe)) GTEST_SKIP() << "xsltproc is not installed";
  struct Case {
    const char* format;
    int first;
    int last;
    const char* separator;
    int size;
  } cases[] = {
      {"1", 0, 20000, "", 0},    {"001", 0, 20000, "", 0}, {"a", 0, 20000, "", 0},
      {"A", 0, 20000, "", 0},    {"(1)", 0, 20000, "", 0}, {"[01]", 0, 20000, "", 0},
      {"١", 0, 20000, "", 0},    {"٠١", 0, 20000, "", 0},  {"१", 0, 20000, "", 0},
      {"๑", 0, 20000, "", 0},    {"i", 1, 3999, "", 0},    {"I", 1, 3999, "", 0},
      {"1", 0, 20000, ",", 3},   {"001", 0, 20000, ",", 2},
  };
  const std::string folder = testsupport::TempDir().string();
  int index = 0;
  for (const Case& c : cases) {
    const std::string input = folder + "/numbers-" + std::to_string(index) + ".xml";
    const std::string sheet = folder + "/number-" + std::to_string(index) + ".xsl";
    ++index;
    std::ostringstream numbers;
    numbers << "<r>";
    for (int n = c.first; n <= c.last; ++n) numbers << "<n>" << n << "</n>";
    numbers << "</r>\n";
    ASSERT_TRUE(testsupport::WriteFile(input, numbers.str()));
    std::string grouping;
    if (c.size != 0)
      grouping = std::string(" grouping-separator=\"") + c.separator + "\" grouping-size=\"" +
                 std::to_string(c.size) + "\"";
    ASSERT_TRUE(testsupport::WriteFile(
        sheet, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n"
                           "<xsl:output method=\"text\" encoding=\"UTF-8\"/>\n"
                           "<xsl:template match=\"/\"><xsl:for-each select=\"r/n\"><xsl:number value=\".\" format=\"") +
                   c.format + "\"" + grouping +
                   "/><xsl:text>&#10;</xsl:text></xsl:for-each></xsl:template>\n</xsl:stylesheet>\n"));
    std::string output;
    ASSERT_TRUE(RunCommand("xsltproc '" + sheet + "' '" + input + "'", output)) << c.format;
    std::istringstream lines(output);
    std::string line;
    int n = c.first, differences = 0;
    for (; std::getline(lines, line) && n <= c.last; ++n) {
      const std::string ours = Utf8(ZelUtil::formatNumber(n, UnicodeString::fromUTF8(c.format),
                                                          UnicodeString(c.separator), c.size, ZelLang(),
                                                          ObraCommon::NAME_AUTO));
      if (ours != line && ++differences <= 5) ADD_FAILURE() << c.format << " " << n << ": " << ours << " vs " << line;
    }
    EXPECT_EQ(n, c.last + 1) << c.format;
    EXPECT_EQ(differences, 0) << c.format;
  }
}

}  // namespace
