// Tests of the Win32 kernel-service stand-ins.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testsupport/testdata.h"
#include "win32/directory_search.h"
#include "win32/module.h"
#include "win32/named_mutex.h"
#include "win32/ordinals.h"
#include "win32/temp_folder.h"
#include "win32/utf16.h"

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(TempFolder, FollowsTmpdirAndAlwaysEndsInSlash) {
  std::string folder = win32::TempFolder();
  EXPECT_EQ(folder, TempDir().string() + "/");
  const std::string saved = TempDir().string();
  testsupport::ScopedEnv slash("TMPDIR", (saved + "/").c_str());
  EXPECT_EQ(win32::TempFolder(), saved + "/");
}

TEST(TempFolder, PrivateFolderIsMadeSafeOrRefused) {
  fs::path parent = TempDir();
  std::string fresh = (parent / "fresh").string();
  ASSERT_TRUE(win32::EnsurePrivateFolder(fresh));
  EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all, fs::perms::owner_all);

  std::string wide = (parent / "wide").string();
  ASSERT_EQ(mkdir(wide.c_str(), 0777), 0);
  chmod(wide.c_str(), 0777);
  ASSERT_TRUE(win32::EnsurePrivateFolder(wide));
  EXPECT_EQ(fs::status(wide).permissions() & fs::perms::all, fs::perms::owner_all);

  // A planted link to somebody's folder is refused, not followed.
  std::string link = (parent / "planted").string();
  ASSERT_EQ(symlink(fresh.c_str(), link.c_str()), 0);
  EXPECT_FALSE(win32::EnsurePrivateFolder(link));

  std::string file = (parent / "file").string();
  ASSERT_TRUE(WriteFile(file, "x"));
  EXPECT_FALSE(win32::EnsurePrivateFolder(file));
}

TEST(TempFolder, UniqueFilesAreCreatedAndDistinct) {
  std::string folder = win32::TempFolder();
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string path = win32::CreateUniqueFile(folder, "kvb", ".tmp");
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(path.rfind(folder + "kvb", 0), 0u);
    EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
    names.insert(path);
  }
  EXPECT_EQ(names.size(), 50u);
  EXPECT_TRUE(win32::CreateUniqueFile(folder + "missing/", "kvb", ".tmp").empty());
}

TEST(DirectorySearch, PatternsOrderAndDotEntries) {
  fs::path dir = TempDir() / "listing";
  fs::create_directory(dir);
  for (const char* name : {"b.TXT", "a.txt", "c.dat", "ab.txt"}) ASSERT_TRUE(WriteFile(dir / name, ""));
  fs::create_directory(dir / "sub");

  auto names = [&](const std::string& pattern) {
    std::vector<std::string> out;
    auto search = win32::DirectorySearch::Open((dir / pattern).string());
    if (!search) return out;
    while (const auto* e = search->Next()) out.push_back(e->name);
    return out;
  };
  EXPECT_EQ(names("*"), (std::vector<std::string>{".", "..", "a.txt", "ab.txt", "b.TXT", "c.dat", "sub"}));
  EXPECT_EQ(names("*.txt"), (std::vector<std::string>{"a.txt", "ab.txt", "b.TXT"}));
  EXPECT_EQ(names("?.txt"), (std::vector<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(names("C.DAT"), (std::vector<std::string>{"c.dat"}));
  EXPECT_TRUE(names("*.none").empty());
  EXPECT_EQ(win32::DirectorySearch::Open((dir / "nofolder" / "*").string()), nullptr);

  auto search = win32::DirectorySearch::Open((dir / "sub").string());
  ASSERT_NE(search, nullptr);
  EXPECT_TRUE(search->Next()->is_directory);
}

TEST(DirectorySearch, WildcardMatching) {
  EXPECT_TRUE(win32::WildcardMatch("*", ""));
  EXPECT_TRUE(win32::WildcardMatch("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(win32::WildcardMatch("a*b*c", "aXXbYY"));
  EXPECT_TRUE(win32::WildcardMatch("*.*", "name.ext"));
  EXPECT_FALSE(win32::WildcardMatch("?", ""));
  // Non-ASCII bytes are compared as they are.
  EXPECT_FALSE(win32::WildcardMatch("\xC3\xA9", "\xC3\x89"));
}

TEST(NamedMutex, ExcludesThreadsAndIsRecursive) {
  auto a = win32::NamedMutex::Open("TestMutex");
  auto b = win32::NamedMutex::Open("TestMutex");
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->Lock());
  ASSERT_TRUE(b->Lock());  // same thread, same name: recursion
  EXPECT_TRUE(b->Unlock());

  std::atomic<bool> entered{false};
  std::thread other([&] {
    auto c = win32::NamedMutex::Open("TestMutex");
    c->Lock();
    entered = true;
    c->Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered);
  std::thread([&] { EXPECT_FALSE(a->Unlock()); }).join();  // only the owner unlocks
  EXPECT_TRUE(a->Unlock());
  other.join();
  EXPECT_TRUE(entered);
  EXPECT_FALSE(a->Unlock());  // not owned any more
}

namespace {

// Runs `body` in a forked child and returns its pid; the child exits 0.
template <typename Body>
pid_t Fork(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(NamedMutex, ExcludesAForkedChildAndIsReleasedWhenTheOwnerDies) {
  auto m = win32::NamedMutex::Open("ForkMutex");
  ASSERT_TRUE(m && m->Lock());
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t child = Fork([&] {
    auto own = win32::NamedMutex::Open("ForkMutex");
    own->Lock();  // waits for the parent
    char c = 'x';
    (void)!write(pipe_fds[1], &c, 1);
    own->Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  char c;
  fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
  EXPECT_EQ(read(pipe_fds[0], &c, 1), -1);  // the child is still waiting
  ASSERT_TRUE(m->Unlock());
  EXPECT_EQ(WaitExit(child), 0);
  EXPECT_EQ(read(pipe_fds[0], &c, 1), 1);
  close(pipe_fds[0]);
  close(pipe_fds[1]);

  // A child that dies holding the mutex does not keep it.
  pid_t holder = Fork([&] {
    auto own = win32::NamedMutex::Open("ForkMutex");
    own->Lock();
    pause();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(m->Lock());
  EXPECT_TRUE(m->Unlock());
}

TEST(Module, PathOfTheModuleHoldingAnAddress) {
  std::string file, folder;
  ASSERT_TRUE(win32::ModulePath(reinterpret_cast<const void*>(&WaitExit), &file, &folder));
  EXPECT_EQ(fs::path(file).filename(), "win32_tests");
  EXPECT_EQ(folder, fs::path(file).parent_path().string() + "/");
  EXPECT_FALSE(win32::ModulePath(nullptr, &file, &folder));
  EXPECT_EQ(win32::LoadLibraryBeside(reinterpret_cast<const void*>(&WaitExit), "libnothing.so"), nullptr);
}

// Started by its own name relative to its folder, the program still finds
// itself and the libraries beside it after leaving that folder.
TEST(Module, WholePathAfterTheCurrentFolderChanges) {
  if (std::getenv("MODULE_PATH_CHILD") != nullptr) {
    ASSERT_EQ(chdir("/"), 0);
    std::string file, folder;
    ASSERT_TRUE(win32::ModulePath(reinterpret_cast<const void*>(&WaitExit), &file, &folder));
    EXPECT_EQ(file, std::getenv("MODULE_PATH_CHILD"));
    void* beside = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&WaitExit), "libdalvex.so");
    EXPECT_NE(beside, nullptr);
    if (beside) dlclose(beside);
    return;
  }
  const fs::path self = fs::read_symlink("/proc/self/exe");
  ASSERT_TRUE(fs::exists(self.parent_path() / "libdalvex.so"));
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    setenv("MODULE_PATH_CHILD", self.c_str(), 1);
    if (chdir(self.parent_path().c_str()) == 0) {
      const std::string relative = "./" + self.filename().string();
      execl(relative.c_str(), relative.c_str(), "--gtest_filter=Module.WholePathAfterTheCurrentFolderChanges",
            static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  EXPECT_EQ(WaitExit(child), 0);
}

TEST(Ordinals, LookupByOrdinal) {
  const win32::OrdinalEntry table[] = {{1, "dlopen"}, {2, "no_such_export_here"}};
  EXPECT_STREQ(win32::OrdinalName(table, 2), "no_such_export_here");
  EXPECT_EQ(win32::OrdinalName(table, 3), nullptr);
  void* self = dlopen(nullptr, RTLD_NOW);
  EXPECT_NE(win32::ProcByOrdinal(self, table, 1), nullptr);
  EXPECT_EQ(win32::ProcByOrdinal(self, table, 2), nullptr);
  EXPECT_EQ(win32::ProcByOrdinal(self, table, 3), nullptr);
  dlclose(self);
}

TEST(Utf16, RoundTripAndIllFormedInput) {
  std::u16string text = u"a\u00e9\u65e5\U0001F600";
  auto utf8 = win32::Utf16ToUtf8(text);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*utf8, "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(win32::Utf8ToUtf16(*utf8), text);

  EXPECT_FALSE(win32::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
  EXPECT_FALSE(win32::Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}));
  for (const char* bad : {"\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\x80"})
    EXPECT_FALSE(win32::Utf8ToUtf16(bad)) << bad;
}
