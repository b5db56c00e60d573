// Temporary files: names, exclusive creation past planted names and links,
// ownership, errors, raw inflation, and distinct names across threads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "quarnel/error.h"
#include "quarnel/temp_file.h"
#include "quarnel/uri.h"
#include "support.h"
#include "testsupport/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::ZelTempFile;
using quarnel_test::Utf8;

std::string Make(const std::string& dir, const char* prefix = "xml", const char* ext = "xml") {
  return Utf8(ZelTempFile::getTempFile(dir.empty() ? nullptr : dir.c_str(), prefix, ext));
}

unsigned CounterOf(const std::string& name) {
  std::smatch m;
  std::regex_search(name, m, std::regex("_([0-9a-f]+)xml$"));
  return static_cast<unsigned>(std::stoul(m[1], nullptr, 16));
}

std::string NameWith(const std::string& dir, unsigned counter) {
  char number[32];
  std::snprintf(number, sizeof number, "%03x_%04x", static_cast<unsigned>(getpid()), counter);
  return dir + "xml" + number + "xml";
}

TEST(TempFile, NamesAndCounters) {
  std::string dir = Utf8(ZelTempFile::getTempDirectory());
  ASSERT_EQ(dir.back(), '/');
  std::string first = Make("");
  std::string second = Make("");
  EXPECT_TRUE(std::regex_match(first, std::regex(dir + "xml[0-9a-f]{3,}_[0-9a-f]{4,}xml")));
  EXPECT_EQ(CounterOf(second), CounterOf(first) + 1);
  EXPECT_TRUE(fs::is_regular_file(first));
  EXPECT_EQ(fs::file_size(first), 0u);
  EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(ObraCommon::ZelUri::isFileExists(first.c_str()));
  std::u16string wide = u"/nonexistent-path";
  EXPECT_FALSE(ObraCommon::ZelUri::isFileExists(reinterpret_cast<const unsigned short*>(wide.c_str())));
}

TEST(TempFile, PlantedNamesAndLinksAreSkipped) {
  std::string dir = (fs::temp_directory_path() / "planted").string() + "/";
  fs::create_directories(dir);
  unsigned c = CounterOf(Make(dir));
  std::string target = dir + "target";
  std::ofstream(target) << "keep";
  std::ofstream(NameWith(dir, c + 1)) << "existing";
  fs::create_symlink(dir + "nowhere", NameWith(dir, c + 2));
  fs::create_symlink(target, NameWith(dir, c + 3));
  std::string made = Make(dir);
  EXPECT_EQ(CounterOf(made), c + 4);
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_FALSE(fs::exists(dir + "nowhere"));
}

TEST(TempFile, AMissingFolderFailsAfterItsAttempts) {
  try {
    Make("/nonexistent-folder/");
    FAIL() << "no error";
  } catch (const ObraCommon::ZelError& e) {
    EXPECT_EQ(e.getErrorCode(), 4110);
    EXPECT_NE(Utf8(e.getMessage()).find("(cannot create)"), std::string::npos);
  }
}

TEST(TempFile, Ownership) {
  std::string kept, removed, replaced;
  {
    ZelTempFile a("", "xml", "xml");
    ZelTempFile b(icu::UnicodeString(), u"p", u".tmp");
    EXPECT_TRUE(a.isTempFile());
    kept = Utf8(a.releaseFileName());
    EXPECT_FALSE(a.isTempFile());
    removed = Utf8(b.getFileName());
    replaced = removed;
    EXPECT_NE(Utf8(b.setFileName(nullptr, "q", "")), replaced);
    EXPECT_FALSE(fs::exists(replaced));
    removed = Utf8(b.getFileName());
    EXPECT_TRUE(fs::exists(removed));
    b.remove();
    EXPECT_FALSE(fs::exists(removed));
    EXPECT_TRUE(b.isTempFile());  // the name stays; the destructor finds nothing
  }
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_TRUE(ZelTempFile::removeTempFile(kept.c_str()));
  EXPECT_FALSE(fs::exists(kept));
  EXPECT_TRUE(ZelTempFile::removeTempFile(kept.c_str()));  // already gone
  {
    ZelTempFile owner;
    owner.setFileName(icu::UnicodeString::fromUTF8(kept));
    std::ofstream(kept) << "x";
  }
  EXPECT_FALSE(fs::exists(kept));
  // A file that cannot be removed: 4109 from remove(), nothing from the
  // destructor.
  std::string dir = (fs::temp_directory_path() / "locked").string();
  fs::create_directories(dir + "/sub");
  if (geteuid() != 0) {
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    ZelTempFile stuck;
    stuck.setFileName((dir + "/sub").c_str());
    EXPECT_THROW(stuck.remove(), ObraCommon::ZelError);
    fs::permissions(dir, fs::perms::owner_all);
  }
}

TEST(TempFile, Inflate) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += static_cast<char>('a' + (i * 31 + i / 17) % 26);
  std::string deflated = testsupport::RawDeflate(data);
  struct Row {
    const char* name;
    size_t keep;
    bool ok;
  } rows[] = {{"whole", deflated.size(), true}, {"truncated", deflated.size() / 2, false}, {"empty", 0, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::ostringstream out;
    EXPECT_EQ(ZelTempFile::inflate(out, reinterpret_cast<const unsigned char*>(deflated.data()),
                                   static_cast<unsigned>(r.keep)),
              r.ok);
    EXPECT_EQ(out.str(), data.substr(0, out.str().size()));
    EXPECT_EQ(out.str().size() == data.size(), r.ok);
    EXPECT_EQ(out.str().empty(), r.keep == 0);
  }
  ZelTempFile file("", "z", "");
  EXPECT_TRUE(file.inflate(reinterpret_cast<const unsigned char*>(deflated.data()),
                           static_cast<unsigned>(deflated.size())));
  std::ifstream in(Utf8(file.getFileName()), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), data);
}

TEST(TempFileThreads, EightThreadsGetDistinctNames) {
  std::vector<std::vector<std::string>> names(8);
  std::vector<std::thread> threads;
  for (auto& list : names)
    threads.emplace_back([&list] {
      for (int i = 0; i < 1000; ++i) list.push_back(Make(""));
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (const auto& list : names) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), 8000u);
  for (const auto& n : all) ZelTempFile::removeTempFile(n.c_str());
}

}  // namespace
