// Temporary names: private folder, uniqueness across threads and processes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dalvex/portability.h"
#include "temp_name_format.h"
#include "testsupport/testdata.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(TempNames, NumberedNameText) {
  EXPECT_EQ(dalvex::TempNameText(1000, 0), "sv8.");
  EXPECT_EQ(dalvex::TempNameText(1000, 1), "sv8.1");
  EXPECT_EQ(dalvex::TempNameText(1000, 2), "sv8.2");
  EXPECT_EQ(dalvex::TempNameText(1000, 32), "sv8.10");
  EXPECT_EQ(dalvex::TempNameText(0, 31), "s0.v");
}

TEST(TempNames, RandomNamesLieInTheTemporaryFolderAndAreFree) {
  char out[260];
  ASSERT_EQ(KVB_ASC_tmpnam(out), out);
  fs::path name(out);
  EXPECT_EQ(name.parent_path(), TempDir());
  EXPECT_EQ(name.filename().string().substr(0, 3), "kvb");
  EXPECT_EQ(name.extension(), ".tmp");
  EXPECT_EQ(name.filename().string().size(), 3u + 6 + 4);
  EXPECT_FALSE(fs::exists(name));

  char16_t wide[260];
  ASSERT_EQ(KVB_tmpnam(wide), wide);
  EXPECT_EQ(fs::path(std::u16string(wide)).parent_path(), TempDir());
}

TEST(TempNames, PrivateFolderWhenNoTmpdir) {
  // With TMPDIR unset the names go to /tmp/shapeglean-<uid>/, made private.
  std::string saved = TempDir().string();
  const fs::path private_folder = "/tmp/shapeglean-" + std::to_string(geteuid());
  const bool existed = fs::exists(private_folder);
  unsetenv("TMPDIR");
  char out[260];
  char* got = KVB_ASC_tmpnam(out);
  setenv("TMPDIR", saved.c_str(), 1);
  ASSERT_EQ(got, out);
  fs::path folder = fs::path(out).parent_path();
  EXPECT_EQ(folder, fs::path("/tmp/shapeglean-" + std::to_string(geteuid())));
  struct stat st {};
  ASSERT_EQ(lstat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  if (!existed) fs::remove(private_folder);  // leave /tmp as it was
}

TEST(TempNames, NumberedNamesInTheCallersFolder) {
  std::string folder = TempDir().string() + "/";
  char out[260];
  ASSERT_NE(KVB_ASC_tmpnam1((folder + "x.dat").c_str(), out), nullptr);
  std::string first = out;
  EXPECT_EQ(first.rfind(folder + "s", 0), 0u);
  // A name that exists is passed over.
  ASSERT_TRUE(WriteFile(first, ""));
  ASSERT_NE(KVB_ASC_tmpnam1((folder + "x.dat").c_str(), out), nullptr);
  EXPECT_NE(std::string(out), first);
  // Without a folder part the bare name comes back, not one in the root.
  ASSERT_NE(KVB_ASC_tmpnam1("x.dat", out), nullptr);
  EXPECT_EQ(std::strchr(out, '/'), nullptr);
  EXPECT_EQ(out[0], 's');
  EXPECT_EQ(KVB_ASC_tmpnam1("", out), nullptr);
  EXPECT_EQ(KVB_ASC_tmpnam1("x", nullptr), nullptr);
  // A folder too long for 260 bytes gives null.
  std::string deep = "/" + std::string(255, 'd') + "/x";
  EXPECT_EQ(KVB_ASC_tmpnam1(deep.c_str(), out), nullptr);
  std::string huge = "/" + std::string(5000, 'd') + "/x";
  EXPECT_EQ(KVB_ASC_tmpnam1(huge.c_str(), out), nullptr);
}

TEST(TempNames, DistinctAcrossThreadsAndProcesses) {
  std::string base = (TempDir() / "x").string();
  std::mutex guard;
  std::set<std::string> names;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      std::vector<std::string> mine;
      char out[260];
      for (int i = 0; i < 1250; ++i) mine.push_back(KVB_ASC_tmpnam1(base.c_str(), out));
      std::lock_guard<std::mutex> lock(guard);
      names.insert(mine.begin(), mine.end());
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(names.size(), 10000u);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  if (child == 0) {
    char out[260];
    KVB_ASC_tmpnam1(base.c_str(), out);
    (void)!write(fds[1], out, std::strlen(out) + 1);
    _exit(0);
  }
  char theirs[260] = {};
  ASSERT_GT(read(fds[0], theirs, sizeof theirs), 0);
  waitpid(child, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  char mine[260];
  KVB_ASC_tmpnam1(base.c_str(), mine);
  EXPECT_STRNE(theirs, mine);
  EXPECT_EQ(names.count(theirs), 0u);
}
