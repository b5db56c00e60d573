// Code-set tables and their .cmp cache: the text format, blocks, the cache's
// soundness checks, folders without a cache, loads from two processes, and
// every generated table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cconv_internal.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using cconv::CconvTable;

std::string Ucs2(const std::string& ascii, bool big = false) {
  std::string out;
  for (char c : ascii) {
    if (big) out.push_back('\0');
    out.push_back(c);
    if (!big) out.push_back('\0');
  }
  return out;
}

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::TempDir().string() + "/";
    cconv::TheEngine().folder = folder_;
  }
  void Write(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(testsupport::WriteFile(folder_ + name, bytes));
  }
  std::string folder_;
};

TEST_F(Tables, TextFormatAndCache) {
  struct Case {
    const char* text;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
  } cases[] = {
      {"8140 3000 8141 3001\r\n", {{0x8140, 0x3000}, {0x8141, 0x3001}}},
      {"<comment 1234>41 0041\n", {{0x41, 0x41}}},
      {"41 0041 42 0042", {{0x41, 0x41}}},          // a final number needs a separator
      {"0x41 0x0041\n", {{0x0, 0x41}, {0x0, 0x41}}},  // "0x" splits: 0, 41, 0, 41
      {"123456789 41 42 43\n", {{0x41, 0x42}}},     // nine digits are no number
      {"<unclosed 41 41\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    ASSERT_TRUE(cconv::ParseTableText(Ucs2(c.text), cconv::kUcs2, 0, &pairs));
    EXPECT_EQ(pairs, c.pairs);
  }
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  ASSERT_TRUE(cconv::ParseTableText(Ucs2("8140 3000\n", true), cconv::kUcs2, 1, &pairs));
  EXPECT_EQ(pairs.size(), 1u);
  EXPECT_FALSE(cconv::ParseTableText("41 41\n", 7, 0, &pairs));

  Write("t.tbl", Ucs2("8140 3000 8141 3001\r\n"));
  CconvTable to_unicode(1, 4, "T.TBL", cconv::kUcs2, 0);
  to_unicode.LoadFrom(folder_, 4096);
  EXPECT_EQ(to_unicode.state(), CconvTable::State::kLoaded);
  EXPECT_EQ(to_unicode.Lookup(0x8141), 0x3001u);
  EXPECT_EQ(to_unicode.Lookup(0x8142), 0u);
  EXPECT_EQ(fs::file_size(folder_ + "t.cmp"), 16u);
  // The second direction reads the cache and agrees.
  fs::remove(folder_ + "t.tbl");
  CconvTable to_code(0, 2, "t.tbl", cconv::kUcs2, 0);
  to_code.LoadFrom(folder_, 4096);
  EXPECT_EQ(to_code.Lookup(0x3000), 0x8140u);
}

TEST_F(Tables, BlocksEndWhereTheNextBegins) {
  CconvTable table(1, 4, "x", cconv::kUcs2, 0);
  ASSERT_TRUE(table.Store(0x20, 1, 16));
  ASSERT_TRUE(table.Store(0x10000, 2, 16));
  ASSERT_TRUE(table.Store(0x28, 3, 16));   // inside the first block
  ASSERT_TRUE(table.Store(0x18, 4, 16));   // a block of 8 keys, up to 0x20
  ASSERT_TRUE(table.Store(0xFFFFFFF8, 5, 16));
  EXPECT_EQ(table.block_count(), 4u);
}

TEST_F(Tables, UnsoundCacheIsRebuilt) {
  Write("t.tbl", Ucs2("41 0041 42 0042\n"));
  const char* bad[] = {"", "1234567", "\x41\0\0\0\0\0\x11\0"};  // empty, odd, U+110000
  for (size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(i);
    Write("t.cmp", std::string(bad[i], i == 2 ? 8 : std::strlen(bad[i])));
    CconvTable table(1, 4, "t.tbl", cconv::kUcs2, 0);
    table.LoadFrom(folder_, 4096);
    EXPECT_EQ(table.Lookup(0x42), 0x42u);
    EXPECT_EQ(fs::file_size(folder_ + "t.cmp"), 16u);
  }
}

TEST_F(Tables, MissingTextFailsWithoutCacheAndMapsNothing) {
  CconvTable table(1, 4, "none.tbl", cconv::kUcs2, 0);
  table.LoadFrom(folder_, 4096);
  EXPECT_EQ(table.state(), CconvTable::State::kFailed);
  EXPECT_EQ(table.Lookup(0x41), 0u);
  EXPECT_FALSE(fs::exists(folder_ + "none.cmp"));
  table.Ensure();  // settled: no second attempt, no busy wait
  EXPECT_EQ(table.state(), CconvTable::State::kFailed);
  CconvTable no_file(1, 4, "", cconv::kUcs2, 0);
  EXPECT_EQ(no_file.Lookup(0x41), 0x41u);
}

TEST_F(Tables, ReadOnlyFolderLoadsWithoutCache) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  Write("t.tbl", Ucs2("41 0041\n"));
  chmod(folder_.c_str(), 0500);
  CconvTable table(1, 4, "t.tbl", cconv::kUcs2, 0);
  table.LoadFrom(folder_, 4096);
  chmod(folder_.c_str(), 0700);
  EXPECT_EQ(table.Lookup(0x41), 0x41u);
  EXPECT_FALSE(fs::exists(folder_ + "t.cmp"));
}

TEST_F(Tables, CacheThatCannotBeCreatedLeavesTheTableLoaded) {
  Write("t.tbl", Ucs2("41 0041\n"));
  fs::create_directory(folder_ + "t.cmp." + std::to_string(getpid()) + ".tmp");
  fs::create_directory(folder_ + "t.cmp");  // nothing can be renamed onto it
  CconvTable table(1, 4, "t.tbl", cconv::kUcs2, 0);
  table.LoadFrom(folder_, 4096);
  EXPECT_EQ(table.Lookup(0x41), 0x41u);
}

TEST_F(Tables, TwoProcessesLeaveOneIdenticalCache) {
  std::string text;
  for (uint32_t i = 0; i < 20000; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%X %X\n", 0x8000 + i, 0x4E00 + i);
    text += line;
  }
  Write("big.tbl", Ucs2(text));
  ASSERT_EQ(startProcess(), 1);
  cconv::TheEngine().folder = folder_;
  pid_t children[2];
  for (pid_t& child : children) {
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CconvTable table(1, 4, "big.tbl", cconv::kUcs2, 0);
      table.Ensure();
      _exit(table.Lookup(0x8000 + 19999) == 0x4E00 + 19999 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  endProcess();
  EXPECT_EQ(fs::file_size(folder_ + "big.cmp"), 20000u * 8);
  int leftovers = 0;
  for (const auto& entry : fs::directory_iterator(folder_))
    leftovers += entry.path().extension() == ".tmp";
  EXPECT_EQ(leftovers, 0);
}

// Every generated table loads, with the generator's pair count.
TEST(GeneratedTables, EveryTableLoads) {
  fs::path build = std::getenv("PROJECT_BUILD_DIR");
  fs::copy(build / "etc", testsupport::TempDir() / "etc", fs::copy_options::recursive);
  ASSERT_EQ(startProcess(), 1);
  ASSERT_EQ(cconvLoadRule(), 1);
  std::map<std::string, size_t> pairs;  // table file -> pairs
  std::ifstream manifest(build / "charsetgen" / "manifest.txt");
  std::string kind, name, table;
  int32_t id;
  size_t width, count;
  while (manifest >> kind) {
    if (kind == "set" && manifest >> name >> id >> width >> count >> table) {
      if (table != "-") pairs[table] = count;
      const cconv::CconvCodeSet* set = cconv::FindCodeSet(id);
      ASSERT_NE(set, nullptr) << name;
      EXPECT_EQ(set->unit_width, width) << name;
    } else if (kind == "extra" && manifest >> name >> width >> count) {
      pairs[name] = count;
    } else {
      manifest >> name;
    }
  }
  ASSERT_FALSE(pairs.empty());
  for (const auto& charset : cconv::TheEngine().charsets) {
    CconvSession session{};
    ASSERT_EQ(cconvInitConvert(&session, nullptr, charset->name.c_str()), 0);
    ASSERT_EQ(cconvChgCharset(&session, nullptr, charset->name.c_str()), 0);
    for (size_t i = 0; i < charset->sets.size(); ++i) {
      const cconv::CconvCodeSet* set = charset->sets[i];
      for (const CconvTable* t : {set->to_unicode.get(), set->to_code.get()}) {
        if (!t->has_file()) continue;
        EXPECT_EQ(t->state(), CconvTable::State::kLoaded) << set->name;
      }
      for (const auto& extra : charset->dstables[i]) {
        extra->Ensure();
        EXPECT_EQ(extra->state(), CconvTable::State::kLoaded) << extra->file_name();
      }
    }
  }
  std::string folder = cconv::TheEngine().folder;
  for (const auto& [file, count] : pairs)
    EXPECT_EQ(fs::file_size(cconv::CachePath(folder, file)), count * 8) << file;
  endProcess();
}

}  // namespace
