// A test fixture that starts the conversion engine with the configuration
// the build generates (copied into the test's private folder, where the
// configuration lookup finds it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "dalvex/cconv.h"
#include "testsupport/testdata.h"

namespace glyphane_test {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", testsupport::TempDir() / "etc",
             fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    started_ = true;
    ASSERT_EQ(cconvLoadRule(), 1);
  }
  void TearDown() override {
    if (started_) endProcess();
  }

 private:
  bool started_ = false;
};

}  // namespace glyphane_test
