// The conversion engine is started once and ended once however many
// operations a process makes. This program stands between the interface
// and Dalvex: its startProcess, cconvLoadRule and endProcess write a line
// to the file TRAVIX_ENGINE_LOG names and call Dalvex's own. The test runs
// the operations in a child process, so that the end at process exit is
// seen too.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testsupport/testdata.h"
#include "travix/travix.h"

extern char** environ;

namespace {

void Note(const char* what) {
  if (const char* log = std::getenv("TRAVIX_ENGINE_LOG")) {
    if (std::FILE* f = std::fopen(log, "a")) {
      std::fprintf(f, "%s\n", what);
      std::fclose(f);
    }
  }
}

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) int startProcess(void) {
  Note("start");
  return Next<int (*)()>("startProcess")();
}
__attribute__((visibility("default"))) int cconvLoadRule(void) {
  Note("rule");
  return Next<int (*)()>("cconvLoadRule")();
}
__attribute__((visibility("default"))) void endProcess(void) {
  Note("end");
  Next<void (*)()>("endProcess")();
}
}

namespace {

namespace fs = std::filesystem;

TEST(TravixEngine, StartedOnceAndEndedOnce) {
  const std::string log = (testsupport::TempDir() / "engine.log").string();
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=TravixEngineChild.ManyOperations";
  char* argv[] = {const_cast<char*>(self.c_str()), filter.data(), nullptr};
  std::string env_line = "TRAVIX_ENGINE_LOG=" + log;
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
  env.push_back(env_line.data());
  env.push_back(nullptr);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, env.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(testsupport::ReadFile(log), "start\nrule\nend\n");
}

TEST(TravixEngineChild, ManyOperations) {
  if (std::getenv("TRAVIX_ENGINE_LOG") == nullptr) GTEST_SKIP() << "run by TravixEngine.StartedOnceAndEndedOnce";
  fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
           fs::copy_options::recursive);
  const std::string missing = (testsupport::TempDir() / "missing.vsd").string();
  const std::string out = (testsupport::TempDir() / "out.txt").string();
  ExtractOptionsV4 options{};
  std::snprintf(options.charset, sizeof options.charset, "UTF-8");
  for (int i = 0; i < 20; ++i) {
    FormatInfo info{};
    EXPECT_EQ(DetectFormat(missing.c_str(), &info), CantDetectFile);
    EXPECT_EQ(GetText_V4(missing.c_str(), out.c_str(), &options, nullptr), CantDetectFile);
    DocPropertyRecord record{};
    EXPECT_EQ(GetProperty_V4(missing.c_str(), &options, &record), CantDetectFile);
  }
}

}  // namespace
