// The rule by which a caller's error callback decides the final code.
#include <gtest/gtest.h>

#include <cstring>

#include "dalvex/extract_records.h"

namespace {

int calls = 0;
ExtractErrorInfo seen{};
int answer = 0;

int Callback(ExtractErrorInfo* info) {
  ++calls;
  seen = *info;
  return answer;
}

}  // namespace

TEST(CallbackRule, AnswerZeroTurnsACodeIntoSuccessExceptTheLimit) {
  calls = 0;
  answer = 0;
  EXPECT_EQ(ReportToCallback(Callback, 3, "vsd", InvalidFile, 0), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen.level, 3);
  EXPECT_STREQ(seen.engine, "vsd");
  EXPECT_EQ(seen.code, InvalidFile);
  EXPECT_EQ(ReportToCallback(Callback, 0, "vsd", FileLengthOver, 0), FileLengthOver);
  EXPECT_EQ(ReportToCallback(Callback, 0, "vsd", 0, 0), 0);
  EXPECT_EQ(calls, 3);  // success is reported too

  answer = 1;
  EXPECT_EQ(ReportToCallback(Callback, 0, "vsd", NoTextStringFound, 0), NoTextStringFound);
  EXPECT_EQ(ReportToCallback(nullptr, 0, "vsd", NoTextStringFound, 0), NoTextStringFound);
}

TEST(CallbackRule, ANestedResultIsNotReportedTwice) {
  calls = 0;
  answer = 0;
  EXPECT_EQ(ReportToCallback(Callback, 0, "vsd", OleInvalidFile, OleInvalidFile), OleInvalidFile);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ReportToCallback(Callback, 0, "vsd", InvalidFile, OleInvalidFile), 0);
  EXPECT_EQ(calls, 1);
}

TEST(CallbackRule, LineEndFormFromFlagWordA) {
  EXPECT_EQ(LineEndForm(0), 1);
  EXPECT_EQ(LineEndForm(0x20 | 0x80), 3);
  EXPECT_EQ(LineEndForm(0x10 | 0x1000), 2);
  EXPECT_EQ(LineEndForm(0x80), 5);
}
