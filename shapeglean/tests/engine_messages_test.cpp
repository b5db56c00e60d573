// The engine's result codes as the user sees them: every code with a
// message shows it in each language under the caption "Wrong"; other codes
// show nothing; the error callback keeps every failure and prints its
// three lines.
#include <gtest/gtest.h>

#include "app.h"
#include "bridge/engine_messages.h"
#include "palisk/scripted_services.h"
#include "palisk/testing.h"

namespace shapeglean {
namespace {

constexpr int32_t kCodes[] = {11,   12,   13,   21,   22,   23,   24,   25,   26,   27,   1001, 1002,
                              1003, 2001, 2002, 2003, 2004, 3000, 3001, 3002, 3003, 3004, 3005, 3006,
                              3007, 4000, 4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 5000, 5001,
                              5002, 5003, 6000, 6001, 6002, 6003, 6004, 6005, 6006};

class EngineMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    palisk::EnsureTestApplication();
    palisk::SetServices(&services_);
  }
  void TearDown() override {
    palisk::SetServices(nullptr);
    SetStringLanguageId(kLangEnglish);
  }
  palisk::ScriptedServices services_;
};

TEST_F(EngineMessages, EveryCodeSpeaksInEveryLanguage) {
  const std::pair<uint16_t, const char*> languages[] = {
      {kLangEnglish, "Wrong"}, {kLangJapanese, "エラー"}, {kLangChinese, "错误"}};
  for (const auto& [lang, caption] : languages) {
    SetStringLanguageId(lang);
    for (int32_t code : kCodes) {
      services_.ClearRecords();
      ShowEngineError(code);
      ASSERT_EQ(services_.Boxes().size(), 1u) << code << " in " << lang;
      const auto box = services_.Boxes()[0];
      EXPECT_FALSE(box.text.isEmpty()) << code << " in " << lang;
      EXPECT_EQ(box.caption, QString::fromUtf8(caption));
      EXPECT_EQ(box.flags, palisk::MB_OK);
    }
    services_.ClearRecords();
    for (int32_t code : {0, 9999, -1, 14, 3008}) ShowEngineError(code);
    EXPECT_TRUE(services_.Boxes().empty()) << lang;
  }
}

TEST_F(EngineMessages, TextsOfSomeCodes) {
  struct Case {
    uint16_t lang;
    int32_t code;
    const char* text;
  } cases[] = {{kLangEnglish, 3005, "FileLengthOver"},
               {kLangJapanese, 3005, "テキストの長さが長すぎます"},
               {kLangEnglish, 3002, "Invalid Visio file!"},
               {kLangEnglish, 3001, "Encrypted"},
               {kLangChinese, 5003, "加密(owner)"},
               {kLangEnglish, 27, "FilePathTooLong"}};
  for (const Case& c : cases) {
    SetStringLanguageId(c.lang);
    services_.ClearRecords();
    ShowEngineError(c.code);
    ASSERT_EQ(services_.Boxes().size(), 1u);
    EXPECT_EQ(services_.Boxes()[0].text, QString::fromUtf8(c.text)) << c.code;
  }
  // A detection failure without a message of its own.
  services_.ClearRecords();
  SetStringLanguageId(kLangEnglish);
  ShowDetectionError(9999);
  ShowDetectionError(0);
  ASSERT_EQ(services_.Boxes().size(), 1u);
  EXPECT_EQ(services_.Boxes()[0].text, "CantDetectFile");
}

TEST_F(EngineMessages, CallbackKeepsEveryFailureAndPrintsThreeLines) {
  ExtractErrorInfo info{};
  info.level = 2;
  info.code = 3003;
  std::snprintf(info.engine, sizeof info.engine, "vsd");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(OnExtractionError(&info), 1);
  info.code = 0;
  EXPECT_EQ(OnExtractionError(&info), 0);
  info.code = -5;
  std::memset(info.engine, 'x', sizeof info.engine);  // an unterminated name stops at its field's end
  EXPECT_EQ(OnExtractionError(&info), 1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string first = "This OleErr is level 2\nThis OleErr's code is 3003\nThis OleErr's Engine is vsd\n";
  EXPECT_EQ(out.substr(0, first.size()), first);
  EXPECT_NE(out.find("Engine is " + std::string(256, 'x') + "\n"), std::string::npos);
  EXPECT_EQ(OnExtractionError(nullptr), 0);
  EXPECT_EQ(RunGetTextV4(nullptr), -1);
}

}  // namespace
}  // namespace shapeglean
