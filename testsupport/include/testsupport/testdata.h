// Access to the shared test data (real files nobody on this project wrote),
// to the private temporary folder each test runs in, and environment
// variables set for one test.
//
// TESTDATA_DIR names the data folder; CTest sets it for every test. A test
// that needs a subfolder asks for it with TESTDATA_OR_SKIP, which skips the
// test with a message naming what is missing.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// The data subfolder `sub` (empty: the data folder itself), or nothing with
// `why` saying what is missing.
std::optional<std::filesystem::path> TestDataDir(std::string_view sub, std::string* why);

// The private temporary folder of the running test ($TMPDIR).
std::filesystem::path TempDir();

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Writes a whole file; false when it cannot be written.
bool WriteFile(const std::filesystem::path& path, std::string_view bytes);

// An environment variable set (or, with null, removed) for as long as the
// object lives, then put back as it was.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) {
    if (value != nullptr) setenv(name_.c_str(), value, 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The rows of `dir`/INDEX.tsv (tab-separated, one header line), each cell
// under its column's name; no rows when the index is missing.
using IndexRow = std::map<std::string, std::string>;
std::vector<IndexRow> ReadIndex(const std::filesystem::path& dir);

}  // namespace testsupport

#define TESTDATA_OR_SKIP(var, sub)                                   \
  std::filesystem::path var;                                         \
  do {                                                               \
    std::string why_missing_;                                        \
    auto found_ = ::testsupport::TestDataDir((sub), &why_missing_);  \
    if (!found_) GTEST_SKIP() << why_missing_;                       \
    var = *found_;                                                   \
  } while (0)
