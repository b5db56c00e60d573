// The conversion engine through its exports: start and end, the rules of
// the generated configuration folder, sessions for every charset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "dalvex/cconv.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

const std::set<std::string> kCharsets = {
    "shift_jis",       "windows31j",  "euc-jp",          "euc-jp-fix",      "iso-2022-jp",
    "shift_jis-2004",  "euc-jis-2004", "iso-2022-jp-2004", "iso-10646-ucs-2", "utf-16",
    "iso-10646-ucs-4", "utf-8",       "chinesegbk",      "chinesebig5",     "koreanksc",
    "gb18030",         "iso-8859-1",  "iso-646irv"};

// Puts the generated etc/ where the engine looks for it: <TMPDIR>/etc/.
void InstallConfiguration() {
  fs::path from = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc";
  fs::copy(from, testsupport::TempDir() / "etc", fs::copy_options::recursive);
}

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallConfiguration();
    ASSERT_EQ(startProcess(), 1);
  }
  void TearDown() override { endProcess(); }
};

TEST_F(Engine, LoadsEveryGeneratedCharset) {
  ASSERT_EQ(cconvLoadRule(), 1);
  std::set<std::string> names;
  char name[260];
  for (int i = 0; cconvEnumGroup(i, name); ++i) names.insert(name);
  EXPECT_EQ(names, kCharsets);
  EXPECT_EQ(cconvEnumGroup(-1, name), 0);
  EXPECT_EQ(cconvEnumGroup(0, nullptr), 0);
}

TEST_F(Engine, SessionsStartForEveryCharsetAndRefuseUnknownOnes) {
  ASSERT_EQ(cconvLoadRule(), 1);
  std::set<std::string> names = kCharsets;
  names.insert("SHIFT_JIS");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    CconvSession session{};
    EXPECT_EQ(cconvInitConvert(&session, nullptr, name.c_str()), 0);
    EXPECT_EQ(cconvChgCharset(&session, nullptr, name.c_str()), 0);
    EXPECT_EQ(session.status, 0);
  }
  for (const char* pre : {"UTF-7", "HZ-GB-2312"}) {
    CconvSession session{};
    CconvCharsetOptions options{1, 0, 0};
    ASSERT_EQ(cconvInitConvert(&session, nullptr, "UTF-8"), 0);
    EXPECT_EQ(cconvChgCharset(&session, &options, pre), 0) << pre;
  }
  CconvSession session{};
  EXPECT_EQ(cconvInitConvert(&session, nullptr, "KOI8-R"), 1);
  EXPECT_EQ(session.status, 1);
  EXPECT_EQ(cconvChgCharset(&session, nullptr, "utf-7"), 1);  // the pre-step names are exact
  // No codec yet behind the names, and none at all after a failed start.
  EXPECT_EQ(cconvConvert(&session), 1);
}

TEST_F(Engine, SessionRecordsOptionsAndLanguages) {
  ASSERT_EQ(cconvLoadRule(), 1);
  CconvOptions options{};
  options.substitute = 1;
  std::snprintf(options.language, sizeof options.language, "Japanese");
  CconvSession session{};
  session.status = 77;
  ASSERT_EQ(cconvInitConvert(&session, &options, "utf-16"), 0);
  EXPECT_EQ(session.target_id, 1005);
  EXPECT_STREQ(session.current_language, "Japanese");
  EXPECT_EQ(session.options.substitute, 1);
  ASSERT_EQ(cconvChgCharset(&session, nullptr, "Shift_JIS"), 0);
  EXPECT_EQ(session.decode_shift, 2001);
  EXPECT_EQ(cconvChgCharset(&session, nullptr, "no-such"), 1);
  EXPECT_EQ(session.source_id, 1001);  // the source in force stays
  EXPECT_EQ(cconvChgLang(&session, "Korean"), 0);
  EXPECT_STREQ(session.current_language, "Korean");
  EXPECT_STREQ(session.base_language, "Japanese");
}

TEST(EngineStart, UnmatchedEndIsHarmlessAndMutexFollowsTheCount) {
  endProcess();
  endProcess();
  EXPECT_EQ(lockMutex(), 0);  // no engine, no mutex
  InstallConfiguration();
  ASSERT_EQ(startProcess(), 1);
  ASSERT_EQ(startProcess(), 1);
  EXPECT_EQ(cconvLoadRule(), 1);
  EXPECT_EQ(lockMutex(), 1);
  EXPECT_NE(unlockMutex(), 0);
  endProcess();
  char name[260];
  EXPECT_EQ(cconvEnumGroup(0, name), 1);  // still started once
  endProcess();
  EXPECT_EQ(cconvEnumGroup(0, name), 0);
  EXPECT_EQ(lockMutex(), 0);
  endProcess();  // one too many
  ASSERT_EQ(startProcess(), 1);
  EXPECT_EQ(cconvLoadRule(), 1);
  endProcess();
  EXPECT_EQ(setBlockSize(0x12345), 0x2345);
}

TEST(EngineStart, NoConfigurationGivesNoCharset) {
  // An etc/ that others may write is refused: there is no configuration,
  // and the current directory is not read in its place.
  fs::create_directory(testsupport::TempDir() / "etc");
  fs::permissions(testsupport::TempDir() / "etc", fs::perms::group_write, fs::perm_options::add);
  ASSERT_EQ(startProcess(), 1);
  EXPECT_EQ(cconvLoadRule(), 0);
  CconvSession session{};
  EXPECT_EQ(cconvInitConvert(&session, nullptr, "UTF-8"), 1);
  endProcess();
}

// Rule files found by fuzzing that define a charset whose codec stalls: the
// configuration holds the damaged rule file beside the generated UCS-2 sets
// it names, and every conversion from and to each charset it defines must
// end (a stall ends as an invalid character).
TEST(EngineStart, DamagedRuleFilesCannotStallAConversion) {
  TESTDATA_OR_SKIP(findings, "fuzz-findings");
  const fs::path generated = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc";
  const fs::path etc = testsupport::TempDir() / "etc";
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(findings)) {
    // The first byte is the harness's selector; 0 replaces the rule file.
    if (!entry.path().filename().string().starts_with("rule_files-")) continue;
    std::string bytes = testsupport::ReadFile(entry.path());
    if (bytes.empty() || bytes[0] != '\0') continue;
    SCOPED_TRACE(entry.path().filename().string());
    fs::remove_all(etc);
    fs::create_directory(etc);
    for (const char* name : {"iso-10646-ucs-2.xml", "ucs2-units.set"}) fs::copy(generated / name, etc / name);
    ASSERT_TRUE(testsupport::WriteFile(etc / "damaged.xml", std::string_view(bytes).substr(1)));
    ASSERT_EQ(startProcess(), 1);
    cconvLoadRule();
    const std::string native("a\x81\x40\xA4\x40z\r\n", 8);
    const std::string wide("a\0\0\x30\0\x4E\x98\x9F\n\0", 10);
    CconvOptions substitute{};
    substitute.substitute = 1;
    CconvCharsetOptions skip{0, 0, 1};
    char name[260];
    for (int i = 0; cconvEnumGroup(i, name); ++i) {
      const struct {
        const char* from;
        const char* to;
        const std::string& text;
      } runs[] = {{name, "ISO-10646-UCS-2", native}, {"ISO-10646-UCS-2", name, wide}};
      for (const auto& run : runs) {
        CconvSession session{};
        uint8_t output[256];
        if (cconvInitConvert(&session, &substitute, run.to) == 0 &&
            cconvChgCharset(&session, &skip, run.from) == 0) {
          session.input = reinterpret_cast<const uint8_t*>(run.text.data());
          session.input_length = static_cast<int32_t>(run.text.size());
          session.output = output;
          session.output_capacity = sizeof output;
          cconvConvert(&session);  // ends, whatever it answers
          EXPECT_LE(session.output_length, session.output_capacity);
        }
        cconvTermConvert(&session);
      }
    }
    endProcess();
    ++replayed;
  }
  if (replayed == 0) GTEST_SKIP() << "no rule-file finding in " << findings;
}

}  // namespace
