// Start-up: the language chosen by the setting and the locale, the string
// table lookup, and the deletion of the engine's configuration folder.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app.h"
#include "testsupport/testdata.h"

namespace shapeglean {
namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(StartupLanguage, SettingAndLocale) {
  struct Case {
    const char* setting;
    uint32_t locale;
    int number;
    const char* archive;
  } cases[] = {
      {"english", 0, 2, "QuandelSkin+icon_en.zip"},   {"ENGLISH", 1031, 2, "QuandelSkin+icon_en.zip"},
      {"Chinese", 0, 1, "QuandelSkin+icon_cn.zip"},   {"japanese", 0, 3, "QuandelSkin+icon_jp.zip"},
      {"english", 1041, 3, "QuandelSkin+icon_jp.zip"}, {"English", 2052, 1, "QuandelSkin+icon_cn.zip"},
      {"Japanese", 1033, 2, "QuandelSkin+icon_en.zip"}, {"NO", 1041, 3, "QuandelSkin+icon_jp.zip"},
      // Neither chooses: English rather than no language at all.
      {"NO", 1031, 2, "QuandelSkin+icon_en.zip"},      {"Klingon", 0, 2, "QuandelSkin+icon_en.zip"},
  };
  for (const Case& c : cases) {
    StartupLanguage got = ResolveStartupLanguage(c.setting, c.locale);
    EXPECT_EQ(got.number, c.number) << c.setting << " " << c.locale;
    EXPECT_STREQ(got.archive, c.archive) << c.setting << " " << c.locale;
  }
  EXPECT_EQ(SystemStringLanguage(1031), kLangEnglish);
  EXPECT_EQ(SystemStringLanguage(0), kLangEnglish);
  EXPECT_EQ(SystemStringLanguage(2052), kLangChinese);
}

TEST(StringTable, LookupCutsAndLeavesBufferOnMissingIds) {
  SetStringLanguage(kLanguageJapanese);
  MapLanguageToStringLanguage();
  EXPECT_EQ(LangString(164), QString::fromUtf8("変換待ち"));
  SetStringLanguage(0);  // an unknown number leaves the string language as it was
  MapLanguageToStringLanguage();
  EXPECT_EQ(StringLanguageId(), kLangJapanese);

  SetStringLanguage(kLanguageEnglish);
  MapLanguageToStringLanguage();
  char16_t buffer[8] = u"xxxxxxx";
  EXPECT_EQ(LoadLangString(buffer, 8, 9999), 0);
  EXPECT_EQ(std::u16string(buffer), u"xxxxxxx");
  EXPECT_EQ(LoadLangString(buffer, 8, 166), 1);
  EXPECT_EQ(std::u16string(buffer), u"Success");  // cut so the zero fits
  EXPECT_EQ(LangString(302), "doc/Shapeglean_en.doc");
  EXPECT_TRUE(LangString(232).contains('\n'));
  for (uint16_t lang : {kLangEnglish, kLangJapanese, kLangChinese})
    for (int id : {135, 136, 137, 159, 164, 190, 217, 247, 250, 251, 269, 301, 303})
      EXPECT_NE(FindString(lang, id), nullptr) << lang << " " << id;
}

TEST(DeleteFolderTree, NestedFoldersLinksAndMissingFolder) {
  fs::path etc = TempDir() / "etc";
  fs::create_directories(etc / "a" / "b");
  ASSERT_TRUE(WriteFile(etc / "top.txt", "1"));
  ASSERT_TRUE(WriteFile(etc / "a" / "b" / "deep.txt", "2"));
  fs::path outside = TempDir() / "outside";
  fs::create_directories(outside);
  ASSERT_TRUE(WriteFile(outside / "keep.txt", "3"));
  fs::create_directory_symlink(outside, etc / "a" / "link");
  fs::create_symlink(outside / "keep.txt", etc / "filelink");

  EXPECT_EQ(DeleteFolderTree(etc.string()), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(etc)));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));  // the link went, not its target

  EXPECT_EQ(DeleteFolderTree((TempDir() / "missing").string()), 0);
  // A link to a folder is not a folder to empty.
  fs::create_directory_symlink(outside, TempDir() / "etclink");
  EXPECT_EQ(DeleteFolderTree((TempDir() / "etclink").string()), 0);
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST(WideToAnsi, Utf8OfUtf16) {
  EXPECT_EQ(WideToAnsiString(u"変換/x.vsd"), "変換/x.vsd");
}

}  // namespace
}  // namespace shapeglean
