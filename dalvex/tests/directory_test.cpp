// Directory searches through the caller's search record, and folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "dalvex/portability.h"
#include "testsupport/testdata.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::vector<std::string> List(const std::string& pattern) {
  std::vector<std::string> names;
  KVB_DirHandle dir;
  KVB_DirEntry entry;
  if (!KVB_ASC_opendir(pattern.c_str(), &dir)) return names;
  EXPECT_EQ(dir.first_pending, 1);
  while (KVB_ASC_readdir(&dir, &entry)) names.push_back(entry.name);
  EXPECT_EQ(KVB_ASC_closedir(&dir), 0);
  return names;
}

}  // namespace

TEST(Directories, SearchReturnsTheOpensEntryThenTheRest) {
  fs::path dir = TempDir() / "d";
  fs::create_directory(dir);
  for (const char* name : {"z.vsd", "a.vsd", "m.txt"}) ASSERT_TRUE(WriteFile(dir / name, ""));
  EXPECT_EQ(List((dir / "*").string()), (std::vector<std::string>{".", "..", "a.vsd", "m.txt", "z.vsd"}));
  EXPECT_EQ(List((dir / "*.VSD").string()), (std::vector<std::string>{"a.vsd", "z.vsd"}));

  KVB_DirHandle search;
  KVB_DirEntry entry;
  std::u16string pattern = dir.u16string() + u"/*.txt";
  ASSERT_EQ(KVB_opendir(pattern.c_str(), &search), 1);
  ASSERT_EQ(KVB_readdir(&search, &entry), 1);
  EXPECT_EQ(std::u16string(entry.wide_name), u"m.txt");
  EXPECT_EQ(KVB_readdir(&search, &entry), 0);
  EXPECT_EQ(KVB_closedir(&search), 0);
}

TEST(Directories, FailedOpenAndClose) {
  KVB_DirHandle dir;
  KVB_DirEntry entry;
  EXPECT_EQ(KVB_ASC_opendir((TempDir() / "none" / "*").c_str(), &dir), 0);
  EXPECT_EQ(KVB_ASC_readdir(&dir, &entry), 0);
  EXPECT_EQ(KVB_ASC_closedir(&dir), -1);
  EXPECT_EQ(KVB_ASC_opendir((TempDir() / "*.nothing").c_str(), &dir), 0);
  EXPECT_EQ(KVB_closedir(&dir), -1);
  EXPECT_EQ(KVB_closedir(nullptr), -1);
  EXPECT_EQ(KVB_FindFile((TempDir() / "*.nothing").c_str()), -1);
  ASSERT_TRUE(WriteFile(TempDir() / "one.dat", ""));
  EXPECT_EQ(KVB_FindFile((TempDir() / "*.dat").c_str()), 0);
}

TEST(Directories, MakeChangeAndRemove) {
  std::string sub = (TempDir() / "made").string();
  EXPECT_EQ(KVB_MkDir(sub.c_str()), 0);
  EXPECT_EQ(KVB_MkDir(sub.c_str()), -1);
  EXPECT_EQ(KVB_MkDir((sub + "/a/b").c_str()), -1);  // one level only
  struct stat st {};
  ASSERT_EQ(KVB_STAT(sub.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  ASSERT_TRUE(WriteFile(sub + "/f", ""));
  EXPECT_EQ(KVB_RmDir(sub.c_str()), -1);  // not empty
  char cwd[4096];
  ASSERT_NE(KVB_GetCwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(KVB_ChDir(sub.c_str()), 0);
  char here[4096];
  ASSERT_NE(KVB_GetCwd(here, sizeof here), nullptr);
  EXPECT_EQ(fs::path(here), fs::canonical(sub));
  EXPECT_EQ(KVB_GetCwd(here, 2), nullptr);
  EXPECT_EQ(KVB_ChDir(cwd), 0);
  EXPECT_EQ(KVB_ASC_remove((sub + "/f").c_str()), 0);
  EXPECT_EQ(KVB_ASC_remove((sub + "/f").c_str()), -1);
  EXPECT_EQ(KVB_RmDir(sub.c_str()), 0);
}
