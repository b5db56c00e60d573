// Cindral's "Charsetpath": the fit rule, the folders it refuses, and the
// unpacking of etc.dll through a stand-in DecodeRar that records its
// arguments, and through the real RAR extractor.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <dlfcn.h>
#include <unistd.h>

#include "cindral/key_value.h"
#include "key_value_internal.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

int StubCalls() {
  void* stub = dlopen(STUB_DECODER_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (stub == nullptr) return 0;
  auto calls = reinterpret_cast<int (*)()>(dlsym(stub, "stub_decode_calls"));
  int n = calls ? calls() : -1;
  dlclose(stub);
  return n;
}

std::string StubArgument(int which) {
  void* stub = dlopen(STUB_DECODER_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (stub == nullptr) return "";
  auto last = reinterpret_cast<const char* (*)(int)>(dlsym(stub, "stub_last"));
  std::string value = last(which);
  dlclose(stub);
  return value;
}

class KeyValue : public ::testing::Test {
 protected:
  void SetUp() override {
    cindral::SetDecoderLibraryForTesting(STUB_DECODER_PATH);
    temp_ = testsupport::TempDir().string() + "/";
    saved_cwd_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(saved_cwd_);
    cindral::SetDecoderLibraryForTesting("");
  }
  std::string temp_;
  fs::path saved_cwd_;
};

TEST_F(KeyValue, UnknownKeysAnswerZeroAndLeaveTheBuffer) {
  char out[8];
  for (const char* key : {"charsetpath", "Charsetpath ", "", static_cast<const char*>(nullptr)}) {
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(kvb_GetKeyValue(key, out, sizeof out), 0);
    EXPECT_EQ(out[0], 'x');
  }
}

TEST_F(KeyValue, ValueMustFitWithItsTerminator) {
  fs::create_directory(temp_ + "etc");
  std::string value = temp_ + "etc/";
  int length = static_cast<int>(value.size());
  std::vector<char> out(value.size() + 8, 'x');
  EXPECT_EQ(kvb_GetKeyValue("Charsetpath", out.data(), length), 0);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(kvb_GetKeyValue("Charsetpath", out.data(), length + 1), length);
  EXPECT_EQ(std::string(out.data()), value);
  std::fill(out.begin(), out.end(), 'x');
  EXPECT_EQ(kvb_GetKeyValue("Charsetpath", out.data(), length + 8), length);
  EXPECT_EQ(std::string(out.data()), value);
  EXPECT_EQ(out[length + 7], '\0');
}

TEST_F(KeyValue, ExistingFolderLoadsNoLibrary) {
  fs::create_directory(temp_ + "etc");
  int before = StubCalls();
  char out[260];
  EXPECT_GT(kvb_GetKeyValue("Charsetpath", out, sizeof out), 0);
  EXPECT_EQ(StubCalls(), before);
}

// The archive is unpacked into a private folder and renamed into place; it
// is found in the current directory, else beside the library.
TEST_F(KeyValue, MissingFolderIsUnpackedFromTheArchive) {
  fs::path archive = fs::path(std::getenv("PROJECT_BUILD_DIR")) / "bin" / "etc.dll";
  ASSERT_TRUE(fs::exists(archive));
  for (bool in_cwd : {true, false}) {
    SCOPED_TRACE(in_cwd);
    fs::remove_all(temp_ + "etc");
    fs::path cwd = temp_ + (in_cwd ? "with" : "without");
    fs::create_directories(cwd);
    if (in_cwd) fs::copy_file(archive, cwd / "etc.dll");
    fs::current_path(cwd);
    char out[260];
    ASSERT_EQ(kvb_GetKeyValue("Charsetpath", out, sizeof out), static_cast<int>(temp_.size() + 4));
    EXPECT_EQ(StubArgument(0), in_cwd ? std::string("etc.dll") : archive.string());
    EXPECT_EQ(StubArgument(2), "brasken407");
    EXPECT_TRUE(fs::exists(temp_ + "etc/shift_jis.xml"));
    EXPECT_EQ(testsupport::ReadFile(temp_ + "etc/utf-8.xml"),
              testsupport::ReadFile(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc" / "utf-8.xml"));
    for (const auto& entry : fs::directory_iterator(temp_))
      EXPECT_EQ(entry.path().filename().string().rfind("etc.unpack", 0), std::string::npos);
  }
}

// Beside Cindral lies the real RAR extractor: its DecodeRar makes etc/ from
// a copy of the archive in a current directory of the test's own.
TEST_F(KeyValue, RealDecoderUnpacksTheArchive) {
  cindral::SetDecoderLibraryForTesting("");
  fs::path build = std::getenv("PROJECT_BUILD_DIR");
  fs::create_directory(temp_ + "cwd");
  fs::copy_file(build / "bin" / "etc.dll", temp_ + "cwd/etc.dll");
  fs::current_path(temp_ + "cwd");
  char out[260];
  ASSERT_EQ(kvb_GetKeyValue("Charsetpath", out, sizeof out), static_cast<int>(temp_.size() + 4));
  for (const auto& entry : fs::directory_iterator(build / "etc"))
    EXPECT_EQ(testsupport::ReadFile(temp_ + "etc/" + entry.path().filename().string()),
              testsupport::ReadFile(entry.path()))
        << entry.path();
}

TEST_F(KeyValue, FoldersOthersCouldPlantAreRefused) {
  fs::create_directory(temp_ + "elsewhere");
  struct Case {
    const char* what;
    void (*make)(const std::string& etc);
  } cases[] = {
      {"symbolic link", [](const std::string& etc) { fs::create_directory_symlink("elsewhere", etc); }},
      {"group-writable", [](const std::string& etc) {
         fs::create_directory(etc);
         fs::permissions(etc, fs::perms::group_write, fs::perm_options::add);
       }},
      {"world-writable", [](const std::string& etc) {
         fs::create_directory(etc);
         fs::permissions(etc, fs::perms::others_write, fs::perm_options::add);
       }},
      {"plain file", [](const std::string& etc) { testsupport::WriteFile(etc, "x"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(temp_ + "etc");
    c.make(temp_ + "etc");
    char out[260];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(kvb_GetKeyValue("Charsetpath", out, sizeof out), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[259], '\0');
  }
}

// A temporary folder of 255 characters gives a 259-character value, which a
// 260-byte buffer just holds; one character more does not fit.
TEST_F(KeyValue, LongTemporaryFolders) {
  cindral::SetDecoderLibraryForTesting("/nonexistent/libvombril.so");
  testsupport::ScopedEnv tmpdir("TMPDIR", temp_.c_str());
  for (size_t length : {255u, 256u, 300u}) {
    SCOPED_TRACE(length);
    std::string folder = temp_;
    while (folder.size() < length - 1) {
      folder += std::string(std::min<size_t>(100, length - 1 - folder.size()), 'd');
      if (folder.size() < length - 1) folder += "/";
    }
    ASSERT_EQ(folder.size(), length - 1);
    fs::create_directories(folder);
    tmpdir.Set(folder.c_str());
    char out[260];
    std::memset(out, 'x', sizeof out);
    int answer = kvb_GetKeyValue("Charsetpath", out, sizeof out);
    if (length == 255) {
      EXPECT_EQ(answer, 259);
      EXPECT_EQ(out[259], '\0');
    } else {
      EXPECT_EQ(answer, 0);
      EXPECT_EQ(out[0], 'x');
    }
  }
}

TEST(CindralExports, OrdinalTableNamesTheExport) {
  size_t count = 0;
  const win32::OrdinalEntry* table = cindral_OrdinalTable(&count);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(table[0].ordinal, 100u);
  EXPECT_STREQ(table[0].name, "kvb_GetKeyValue");
  void* library = dlopen("libcindral.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_NE(win32::ProcByOrdinal(library, std::span(table, count), 100), nullptr);
  dlclose(library);
}

}  // namespace
