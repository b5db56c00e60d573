// The zip validity check over archives built byte by byte here (comments,
// disk numbers, entry counts, a program in front, offsets that wrap) and
// over the zip packages of the shared test data, compared with bsdtar.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "dalvex/zip_check.h"
#include "testsupport/testdata.h"

namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

struct ZipParts {
  std::string front;          // bytes before the first local header
  uint16_t this_disk = 0;
  uint16_t directory_disk = 0;
  uint16_t entries_here = 2;
  uint16_t entries_total = 2;
  int64_t offset_shift = 0;   // added to the central directory's offset
  uint32_t forced_offset = 0; // used instead when nonzero
  uint32_t forced_size = 0;
  std::string comment;
  std::string trailer;        // bytes after the comment
};

// Two stored entries, their central directory and the end record.
std::string Zip(const ZipParts& p) {
  std::string out = p.front, directory;
  for (const std::string name : {"a.txt", "b.txt"}) {
    std::string data = "contents of " + name;
    uint32_t local_offset = static_cast<uint32_t>(out.size() - p.front.size());
    Put32(out, 0x04034B50);
    Put16(out, 10), Put16(out, 0), Put16(out, 0), Put16(out, 0), Put16(out, 0);
    Put32(out, 0), Put32(out, uint32_t(data.size())), Put32(out, uint32_t(data.size()));
    Put16(out, uint16_t(name.size())), Put16(out, 0);
    out += name + data;
    Put32(directory, 0x02014B50);
    Put16(directory, 20), Put16(directory, 10), Put16(directory, 0), Put16(directory, 0);
    Put16(directory, 0), Put16(directory, 0), Put32(directory, 0);
    Put32(directory, uint32_t(data.size())), Put32(directory, uint32_t(data.size()));
    Put16(directory, uint16_t(name.size())), Put16(directory, 0), Put16(directory, 0);
    Put16(directory, 0), Put16(directory, 0), Put32(directory, 0), Put32(directory, local_offset);
    directory += name;
  }
  uint32_t offset = uint32_t(int64_t(out.size()) + p.offset_shift);
  out += directory;
  Put32(out, 0x06054B50);
  Put16(out, p.this_disk), Put16(out, p.directory_disk);
  Put16(out, p.entries_here), Put16(out, p.entries_total);
  Put32(out, p.forced_size ? p.forced_size : uint32_t(directory.size()));
  Put32(out, p.forced_offset ? p.forced_offset : offset);
  Put16(out, uint16_t(p.comment.size()));
  return out + p.comment + p.trailer;
}

int Check(const std::string& bytes, const std::string& name = "archive.zip") {
  std::string path = (testsupport::TempDir() / name).string();
  EXPECT_TRUE(testsupport::WriteFile(path, bytes));
  return isValidZipFile(path.c_str());
}

}  // namespace

TEST(ZipCheck, ArchivesBuiltByteByByte) {
  struct Case {
    const char* what;
    ZipParts parts;
    int expected;
  };
  ZipParts plain;
  auto with = [&](auto change) {
    ZipParts p = plain;
    change(p);
    return p;
  };
  const Case cases[] = {
      {"no comment", plain, 1},
      {"comment of 100 bytes", with([](ZipParts& p) { p.comment.assign(100, 'c'); }), 1},
      {"comment of 65,535 bytes", with([](ZipParts& p) { p.comment.assign(65535, 'c'); }), 1},
      {"record 65,540 bytes from the end", with([](ZipParts& p) { p.comment.assign(65518, 'c'); }), 1},
      {"record beyond 65,557 bytes from the end",
       with([](ZipParts& p) { p.trailer.assign(65536, 't'); }), 0},
      {"comment ending in a signature", with([](ZipParts& p) { p.comment = "note PK\x05\x06"; }), 1},
      {"2 entries here, 3 in total", with([](ZipParts& p) { p.entries_total = 3; }), 0},
      {"this disk 1", with([](ZipParts& p) { p.this_disk = 1; }), 0},
      {"directory on disk 1", with([](ZipParts& p) { p.directory_disk = 1; }), 0},
      {"program in front", with([](ZipParts& p) { p.front = std::string("MZ") + std::string(500, '\0'); }), 0},
      {"directory running into the end record", with([](ZipParts& p) { p.offset_shift = 1; }), 0},
      {"offset + size wrapping past 4 GiB",
       with([](ZipParts& p) {
         p.forced_offset = 0xFFFFFF00u;
         p.forced_size = 0x180u;  // the sum is 0x80 in 32 bits
       }),
       0},
  };
  for (const Case& c : cases) EXPECT_EQ(Check(Zip(c.parts)), c.expected) << c.what;

  std::string end_only;
  Put32(end_only, 0x06054B50);
  end_only.append(18, '\0');
  EXPECT_EQ(Check(end_only), 0) << "only an end record";
  EXPECT_EQ(Check("PK\x03"), 0) << "three bytes";
  EXPECT_EQ(Check(""), 0) << "empty file";
  EXPECT_EQ(Check(Zip(plain).substr(0, Zip(plain).size() - 5)), 0) << "end record cut short";
  EXPECT_EQ(isValidZipFile((testsupport::TempDir() / "missing.zip").c_str()), 0);
  EXPECT_EQ(isValidZipFile(nullptr), 0);
}

TEST(ZipCheckCorpus, PackagesPassWhereBsdtarListsThem) {
  TESTDATA_OR_SKIP(dir, "detect");
  if (std::system("bsdtar --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "bsdtar (package libarchive-tools) is missing";
  std::istringstream index(testsupport::ReadFile(dir / "INDEX.tsv"));
  std::string line;
  std::getline(index, line);
  int checked = 0;
  while (std::getline(index, line)) {
    std::string name = line.substr(0, line.find('\t'));
    auto path = dir / name;
    if (testsupport::ReadFile(path).rfind("PK\x03\x04", 0) != 0) continue;
    std::string command = "bsdtar -tf '" + path.string() + "' >/dev/null 2>&1";
    int lists = std::system(command.c_str()) == 0 ? 1 : 0;
    if (lists) {
      EXPECT_EQ(isValidZipFile(path.c_str()), 1) << name;
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}
