// Tests of the INI module, the locale id of the environment and the
// single-instance guard.
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "testsupport/testdata.h"
#include "win32/ini_file.h"
#include "win32/locale_id.h"
#include "win32/single_instance.h"
#include "win32/temp_folder.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(IniFile, ReadsIgnoringCaseWithDefaultsCommentsAndQuotes) {
  std::string path = (TempDir() / "setting.ini").string();
  ASSERT_TRUE(WriteFile(path,
                        "\xEF\xBB\xBF; a comment line\r\n"
                        "[Setting]\r\n"
                        "  pGroupName =  7  \r\n"
                        ";BigEndian=True\r\n"
                        "Quoted=\"  spaced  \"\r\n"
                        "Single='x'\r\n"
                        "Negative=-3\r\n"
                        "Words=abc\r\n"
                        "Empty=\r\n"
                        "[MoreSet]\r\n"
                        "AddTime=True\r\n"));
  struct Case {
    const char *section, *key, *expected;
  } cases[] = {
      {"setting", "PGROUPNAME", "7"},  {"Setting", "BigEndian", "dflt"},  // commented out
      {"Setting", "Quoted", "  spaced  "}, {"Setting", "Single", "x"},
      {"Setting", "Empty", ""},        {"MoreSet", "addtime", "True"},
      {"Missing", "AddTime", "dflt"},  {"Setting", "AddTime", "dflt"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(win32::IniReadString(path, c.section, c.key, "dflt"), c.expected) << c.section << "/" << c.key;

  EXPECT_EQ(win32::IniReadInt(path, "Setting", "pGroupName", 4), 7);
  EXPECT_EQ(win32::IniReadInt(path, "Setting", "Negative", 4), -3);
  EXPECT_EQ(win32::IniReadInt(path, "Setting", "Words", 4), 0);    // present, no digits
  EXPECT_EQ(win32::IniReadInt(path, "Setting", "Missing", 4), 4);  // missing key
  // A missing file gives the default, as a missing key does; callers that
  // must tell them apart look for the file.
  EXPECT_EQ(win32::IniReadInt((TempDir() / "none.ini").string(), "Setting", "pGroupName", 3), 3);
  EXPECT_EQ(win32::IniReadString((TempDir() / "none.ini").string(), "S", "K", "NO"), "NO");
}

TEST(IniFile, WritesKeepEveryOtherLine) {
  std::string path = (TempDir() / "setting.ini").string();
  const std::string original =
      "\xEF\xBB\xBF; keep me\n"
      "[Setting]\n"
      "pGroupName=1\n"
      "Other = x ; not a comment\n"
      "\n"
      "[MainWnd]\n"
      "FileOutPutPath=/a\n";
  ASSERT_TRUE(WriteFile(path, original));
  ASSERT_TRUE(win32::IniWriteString(path, "SETTING", "pgroupname", "5"));
  ASSERT_TRUE(win32::IniWriteString(path, "Setting", "BigEndian", "True"));
  ASSERT_TRUE(win32::IniWriteString(path, "MoreSet", "AddTime", "False"));
  EXPECT_EQ(ReadFile(path),
            "\xEF\xBB\xBF; keep me\n"
            "[Setting]\n"
            "pgroupname=5\n"
            "Other = x ; not a comment\n"
            "BigEndian=True\n"
            "\n"
            "[MainWnd]\n"
            "FileOutPutPath=/a\n"
            "\n"
            "[MoreSet]\n"
            "AddTime=False\n");
  EXPECT_EQ(win32::IniReadString(path, "setting", "other", ""), "x ; not a comment");

  // A missing file is created; a folder that does not exist is an error.
  std::string fresh = (TempDir() / "fresh.ini").string();
  ASSERT_TRUE(win32::IniWriteString(fresh, "Setting", "pDefLangName", "3"));
  EXPECT_EQ(ReadFile(fresh), "[Setting]\npDefLangName=3\n");
  EXPECT_FALSE(win32::IniWriteString((TempDir() / "no/such.ini").string(), "S", "K", "V"));
}

TEST(LocaleId, FromEnvironmentNames) {
  struct Case {
    const char* name;
    uint32_t lcid;
  } cases[] = {{"en_US.UTF-8", 1033}, {"ja_JP", 1041},  {"zh_CN.GB18030", 2052},
               {"de_DE", 1031},       {"C", 0},         {"POSIX", 0},
               {"", 0},               {"ja_JP.eucJP@x", 1041}};
  for (const Case& c : cases) EXPECT_EQ(win32::LocaleIdOfName(c.name), c.lcid) << c.name;
}

TEST(LocaleId, ToNamesAndBack) {
  for (uint32_t lcid : {1033u, 1041u, 2052u, 1031u}) {
    const std::string name = win32::LocaleNameOfId(lcid);
    EXPECT_FALSE(name.empty()) << lcid;
    EXPECT_EQ(win32::LocaleIdOfName(name), lcid) << name;
  }
  EXPECT_EQ(win32::LocaleNameOfId(0), "");
  EXPECT_EQ(win32::LocaleNameOfId(0x7FFF), "");
}

TEST(LocaleId, FirstSetVariableWins) {
  testsupport::ScopedEnv all("LC_ALL", ""), messages("LC_MESSAGES", "ja_JP.UTF-8"), lang("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(win32::SystemDefaultLocaleId(), 1041u);
  messages.Set(nullptr);
  EXPECT_EQ(win32::SystemDefaultLocaleId(), 2052u);
  all.Set("C");
  EXPECT_EQ(win32::SystemDefaultLocaleId(), 0u);
}

TEST(SingleInstance, SecondOpenIsRefusedUntilTheFirstEnds) {
  win32::InstanceCheck check;
  auto first = win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  ASSERT_TRUE(first);
  EXPECT_EQ(check, win32::InstanceCheck::kAlone);

  // Another open file description of the same lock file stands for another
  // process.
  auto second = win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  EXPECT_FALSE(second);
  EXPECT_EQ(check, win32::InstanceCheck::kRunning);

  first.reset();
  auto third = win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  EXPECT_TRUE(third);
  EXPECT_EQ(check, win32::InstanceCheck::kAlone);
}

TEST(SingleInstance, LockFileThatCannotBeCreated) {
  // A temporary folder below a plain file cannot hold the lock file, even
  // for root.
  std::string blocker = (TempDir() / "plain").string();
  ASSERT_TRUE(WriteFile(blocker, "x"));
  testsupport::ScopedEnv tmpdir("TMPDIR", (blocker + "/sub").c_str());
  win32::InstanceCheck check;
  auto guard = win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  EXPECT_FALSE(guard);
  EXPECT_EQ(check, win32::InstanceCheck::kCannotCreate);
}

}  // namespace
