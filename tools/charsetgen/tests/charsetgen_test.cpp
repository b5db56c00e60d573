// The generated configuration: every table, read back through the engine's
// own reader, holds exactly its source's mappings (every charmap line or ICU
// round trip, and nothing beyond the further tables' documented extras);
// etc.dll holds exactly the files of etc/ as stored entries; regenerating
// etc/ never shows a reader a missing or short file.
#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <thread>

#include "cconv_internal.h"
#include "charset_sources.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

fs::path Build() { return std::getenv("PROJECT_BUILD_DIR"); }

std::vector<std::pair<uint32_t, uint32_t>> ReadTable(const std::string& file) {
  std::string bytes = testsupport::ReadFile(Build() / "etc" / file);
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  EXPECT_TRUE(cconv::ParseTableText(bytes, cconv::kUtf16, 0, &pairs)) << file;
  return pairs;
}

TEST(Generator, TablesHoldExactlyTheirSources) {
  charsetgen::Installation inst;
  std::string error;
  ASSERT_TRUE(charsetgen::BuildInstallation("/usr/share/i18n/charmaps", &inst, &error)) << error;
  std::string folder = (Build() / "etc").string() + "/";
  for (const auto& [name, set] : inst.sets) {
    SCOPED_TRACE(name);
    if (set.table_file.empty()) {
      EXPECT_FALSE(fs::exists(folder + name + ".tbl"));
      continue;
    }
    std::vector<std::pair<uint32_t, uint32_t>> expected;
    for (const charsetgen::Pair& p : set.pairs) expected.emplace_back(p.code, p.unicode);
    EXPECT_EQ(ReadTable(set.table_file), expected);
    // Through the table the engine builds: every line decodes, every
    // reversible line encodes back.
    cconv::CconvTable decode(1, 4, set.table_file, cconv::kUtf16, 0);
    cconv::CconvTable encode(0, set.width, set.table_file, cconv::kUtf16, 0);
    fs::path scratch = testsupport::TempDir();
    fs::copy_file(folder + set.table_file, scratch / set.table_file, fs::copy_options::overwrite_existing);
    decode.LoadFrom(scratch.string() + "/", 4096);
    encode.LoadFrom(scratch.string() + "/", 4096);
    size_t misses = 0;
    for (const charsetgen::Pair& p : set.pairs) {
      misses += decode.Lookup(p.code) != p.unicode;
      misses += p.reversible && encode.Lookup(p.unicode) != p.code;
    }
    EXPECT_EQ(misses, 0u);
  }
  for (const auto& [file, extra] : inst.extras) {
    SCOPED_TRACE(file);
    auto pairs = ReadTable(file);
    EXPECT_FALSE(pairs.empty());
    EXPECT_EQ(pairs.size(), extra.pairs.size());
  }
  // The documented extras: the yen sign and overline, and JIS-style values
  // of the seven codes whose Windows value differs (as glibc's EUC-JP has
  // them).
  auto yen = ReadTable("jis_x0201latin-yen.tbl");
  EXPECT_EQ(yen, (std::vector<std::pair<uint32_t, uint32_t>>{{0x5C, 0xA5}, {0x7E, 0x203E}}));
  for (const auto& [code, unicode] : ReadTable("jis_x0208-1990-jis.tbl")) {
    EXPECT_TRUE(code == 0x2141 || code == 0x2142 || code == 0x215D || code == 0x2171 || code == 0x2172 ||
                code == 0x224C || code == 0x213D)
        << std::hex << code;
    EXPECT_TRUE(unicode < 0xFF00) << std::hex << unicode;
  }
}

TEST(Generator, ArchiveHoldsTheFolder) {
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  ASSERT_EQ(archive_read_open_filename(a, (Build() / "bin" / "etc.dll").c_str(), 1 << 16), ARCHIVE_OK);
  std::map<std::string, std::string> entries;
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
    std::string name = archive_entry_pathname(entry);
    std::string data(static_cast<size_t>(archive_entry_size(entry)), '\0');
    EXPECT_EQ(archive_read_data(a, data.data(), data.size()), static_cast<la_ssize_t>(data.size())) << name;
    EXPECT_EQ(archive_entry_filetype(entry), AE_IFREG) << name;
    entries[name] = data;
  }
  archive_read_free(a);
  std::map<std::string, std::string> files;
  for (const auto& file : fs::directory_iterator(Build() / "etc"))
    files["etc/" + file.path().filename().string()] = testsupport::ReadFile(file.path());
  EXPECT_EQ(entries.size(), files.size());
  EXPECT_TRUE(entries == files);
}

// A second run over an existing etc/ (as a rebuild does while other
// programs read it): every read of a rule file during the run finds it whole,
// a file the generator no longer makes is gone afterwards, and nothing is
// left beside the folder.
TEST(Generator, RegenerationKeepsTheFolderWhole) {
  const fs::path work = testsupport::TempDir();
  const fs::path etc = work / "etc";
  fs::copy(Build() / "etc", etc);
  ASSERT_TRUE(testsupport::WriteFile(etc / "retired.set", "x"));
  const std::string expected = testsupport::ReadFile(Build() / "etc" / "utf-8.xml");
  ASSERT_FALSE(expected.empty());

  std::atomic<bool> done{false};
  int status = -1;
  std::thread generator([&] {
    const std::string command = (Build() / "bin" / "charsetgen").string() + " /usr/share/i18n/charmaps " +
                                etc.string() + " " + (work / "manifest.txt").string() + " >/dev/null 2>&1";
    status = std::system(command.c_str());
    done = true;
  });
  int reads = 0, torn = 0;
  while (!done) {
    ++reads;
    torn += testsupport::ReadFile(etc / "utf-8.xml") != expected;
  }
  generator.join();
  ASSERT_EQ(status, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_FALSE(fs::exists(etc / "retired.set"));
  size_t files = 0;
  for (const auto& file : fs::directory_iterator(Build() / "etc")) {
    ++files;
    EXPECT_EQ(testsupport::ReadFile(etc / file.path().filename()), testsupport::ReadFile(file.path()))
        << file.path().filename();
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(etc), fs::directory_iterator())), files);
  EXPECT_EQ(testsupport::ReadFile(work / "manifest.txt"),
            testsupport::ReadFile(Build() / "charsetgen" / "manifest.txt"));
  for (const auto& entry : fs::directory_iterator(work))
    EXPECT_TRUE(entry.path().filename() == "etc" || entry.path().filename() == "manifest.txt") << entry.path();
}

}  // namespace
