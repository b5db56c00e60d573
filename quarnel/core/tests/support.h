// What Quarnel's tests share: a counted object that records its
// destructions, texts read back as UTF-8, peer programs run through a
// pipe, and the engine started for tests of converting streams.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "dalvex/cconv.h"
#include "testsupport/testdata.h"

#include "quarnel/object_base.h"

namespace quarnel_test {

// The engine started with its charsets (rule files copied from the build),
// so that converters open; ended after each test.
class EngineStarted : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::path from = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc";
    fs::path to = testsupport::TempDir() / "etc";
    if (!fs::exists(to)) fs::copy(from, to, fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    ASSERT_EQ(cconvLoadRule(), 1);
  }
  void TearDown() override { endProcess(); }
};

inline std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// Runs a command: its standard output in output, true when it exited with 0.
inline bool RunCommand(const std::string& command, std::string& output) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return false;
  output.clear();
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
  return pclose(pipe.release()) == 0;
}

// A command's standard output, whatever its exit.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  RunCommand(command, out);
  return out;
}

class Counted : public ObraCommon::ZelRCObject {
 public:
  explicit Counted(std::atomic<int>* destroyed) : m_destroyed(destroyed) {}
  ~Counted() override { m_destroyed->fetch_add(1); }
  unsigned int getTypeID() const override { return 0x12345678u; }
  bool isA(unsigned int id) const override { return id == 0x12345678u || ZelRCObject::isA(id); }
  ObraCommon::UnicodeString getTypeName() const override { return u"Counted"; }
  using ZelRCObject::decrementRefCount;

 private:
  std::atomic<int>* m_destroyed;
};

}  // namespace quarnel_test
