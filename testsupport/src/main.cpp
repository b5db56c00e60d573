// The main shared by every test executable.
//
// Each test runs with TMPDIR pointing at a folder of its own below the
// build's test-tmp folder, so no test touches
// the user's real temporary folder and tests running in parallel never see
// each other's files. The folder is removed after a passing test and kept
// after a failing one, for inspection. TESTDATA_DIR is filled from the build's
// default when the environment does not already name a data folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

std::string Sanitized(std::string name) {
  for (char& c : name)
    if (c == '/' || c == ' ') c = '_';
  return name;
}

class PrivateTempFolders : public ::testing::EmptyTestEventListener {
 public:
  explicit PrivateTempFolders(std::filesystem::path base) : base_(std::move(base)) {}

  void OnTestStart(const ::testing::TestInfo& info) override {
    std::string pattern =
        (base_ / Sanitized(std::string(info.test_suite_name()) + "." + info.name() + ".XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "cannot create a temporary folder below %s\n", base_.c_str());
      std::abort();
    }
    current_ = pattern;
    setenv("TMPDIR", current_.c_str(), 1);
  }

  void OnTestEnd(const ::testing::TestInfo& info) override {
    setenv("TMPDIR", base_.c_str(), 1);
    if (current_.empty()) return;
    if (!info.result()->Failed()) {
      std::error_code ec;
      std::filesystem::remove_all(current_, ec);
    } else {
      std::fprintf(stderr, "kept the test's temporary folder %s\n", current_.c_str());
    }
    current_.clear();
  }

 private:
  std::filesystem::path base_;
  std::filesystem::path current_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);

  const char* data = std::getenv("TESTDATA_DIR");
  if (data == nullptr || *data == '\0') setenv("TESTDATA_DIR", TESTDATA_DEFAULT, 1);
  setenv("PROJECT_BUILD_DIR", PROJECT_BUILD_DIR, 0);
  setenv("PROJECT_SOURCE_DIR", PROJECT_SOURCE_DIR, 0);

  std::filesystem::path base = TEST_TMP_FOLDER;
  std::error_code ec;
  std::filesystem::create_directories(base, ec);
  base = std::filesystem::absolute(base, ec);
  ::testing::UnitTest::GetInstance()->listeners().Append(new PrivateTempFolders(base));
  return RUN_ALL_TESTS();
}
