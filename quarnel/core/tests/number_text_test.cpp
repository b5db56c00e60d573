// Number texts: "%g" without the locale, the extreme integers, rounding.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "quarnel/util.h"
#include "support.h"
#include "testsupport/testdata.h"

using ObraCommon::UnicodeString;
using ObraCommon::ZelUtil;

using quarnel_test::Utf8;

namespace {

std::string Printf(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

// Finite doubles from random bit patterns, so every exponent is covered.
std::vector<double> RandomDoubles(size_t count) {
  std::mt19937_64 random(20261209);
  std::vector<double> values;
  while (values.size() < count) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
  }
  return values;
}

int Mismatches(const std::vector<double>& values, const std::vector<std::string>& expected) {
  int mismatches = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (Utf8(ZelUtil::toString(values[i])) != expected[i] && ++mismatches < 10)
      ADD_FAILURE() << Utf8(ZelUtil::toString(values[i])) << " where printf in C gives " << expected[i];
  }
  return mismatches;
}

// The texts are printf's "%.6g" in the C locale, and stay so under a German
// locale, compiled into the test's private folder, in which printf writes
// a decimal comma.
TEST(NumberText, DoublesPrintAsPercentGInEveryLocale) {
  std::vector<double> values = RandomDoubles(100000);
  for (double value : {0.0, -0.0, 1.5, 100000.0, 1000000.0, 1e-5, 0.0001, 123456789.0, 5e-324})
    values.push_back(value);
  std::vector<std::string> expected;
  for (double value : values) expected.push_back(Printf(value));
  EXPECT_EQ(Mismatches(values, expected), 0);

  if (std::system("command -v localedef >/dev/null 2>&1") != 0) GTEST_SKIP() << "localedef is missing";
  std::string folder = testsupport::TempDir().string();
  std::string command = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
  // localedef reports warnings with a non-zero status while still writing
  // the locale; whether it can be used is what counts.
  (void)std::system(command.c_str());
  setenv("LOCPATH", folder.c_str(), 1);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "the German locale could not be built";
  EXPECT_EQ(Printf(1.5), "1,5");
  EXPECT_EQ(Mismatches(values, expected), 0);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

TEST(NumberText, SpecialValuesAndIntegers) {
  EXPECT_EQ(Utf8(ZelUtil::toString(ZelUtil::getNaN())), "nan");
  EXPECT_EQ(Utf8(ZelUtil::toString(-ZelUtil::getNaN())), "nan");
  EXPECT_EQ(Utf8(ZelUtil::toString(std::numeric_limits<double>::infinity())), "inf");
  EXPECT_EQ(Utf8(ZelUtil::toString(-std::numeric_limits<double>::infinity())), "-inf");
  EXPECT_EQ(Utf8(ZelUtil::toString(std::numeric_limits<long long>::min())), "-9223372036854775808");
  EXPECT_EQ(Utf8(ZelUtil::toString(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(Utf8(ZelUtil::toString(std::numeric_limits<int>::min())), "-2147483648");
  EXPECT_EQ(Utf8(ZelUtil::toString(0)), "0");
  EXPECT_TRUE(ZelUtil::isNaN(ZelUtil::getNaN()));
  EXPECT_TRUE(ZelUtil::isNaN(ZelUtil::getNaNf()));
  EXPECT_FALSE(ZelUtil::isNaN(0.0));
}

TEST(NumberText, RoundingHalvesAwayFromZero) {
  const struct {
    double value;
    int rounded;
  } cases[] = {{-0.5, -1}, {2.5, 3}, {-2.5, -3}, {std::nan(""), 0}, {1.49, 1}, {1e30, INT32_MAX}};
  for (const auto& c : cases) {
    EXPECT_EQ(ZelUtil::roundToInteger(c.value), c.rounded) << c.value;
    EXPECT_EQ(ZelUtil::roundToInteger(static_cast<float>(c.value)), c.rounded) << c.value;
  }
}

}  // namespace
