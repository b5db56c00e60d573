// The RAR block-header reader: its bounded cursor, hand-made RAR 1.5-4
// headers with the large-file flag, and every archive of the shared data
// read from its file and from memory alike.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "block_headers.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;

TEST(Cursor, ReadsNothingPastItsBytes) {
  const std::string header(31, '\x5A');
  struct Case {
    size_t start;
    int width;  // 1, 2, 4 for a number; else Bytes of that count
    bool fits;
  } cases[] = {
      {27, 4, true},       {28, 4, false},  {30, 1, true},      {31, 1, false},
      {32, 4, false},      {33, 2, false},  {SIZE_MAX, 1, false}, {31, 0, true},
      {32, 0, false},      {20, 11, true},  {20, 12, false},    {40, 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " width " << c.width);
    unrar::Cursor cursor(header, c.start);
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    std::string bytes;
    bool read = c.width == 1   ? cursor.U8(&u8)
                : c.width == 2 ? cursor.U16(&u16)
                : c.width == 4 ? cursor.U32(&u32)
                               : cursor.Bytes(static_cast<size_t>(c.width), &bytes);
    EXPECT_EQ(read, c.fits);
    uint64_t varint = 0;
    if (c.start >= header.size()) {
      EXPECT_FALSE(cursor.VarInt(&varint));
    }
  }
}

// One RAR 1.5-4 block: CRC (not judged), type, flags, size, body.
std::string Block(uint8_t type, uint16_t flags, const std::string& body) {
  size_t size = 7 + body.size();
  std::string out = {'\0', '\0', static_cast<char>(type), static_cast<char>(flags & 0xFF),
                     static_cast<char>(flags >> 8), static_cast<char>(size & 0xFF), static_cast<char>(size >> 8)};
  return out + body;
}

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

// The fixed 25 bytes of a file header: packed and unpacked sizes, host,
// CRC, time, version, method, name size, attributes.
std::string FileFields(uint32_t unpacked, uint16_t name_size) {
  return Le32(0) + Le32(unpacked) + '\x02' + Le32(0) + Le32(0) + '\x14' + '\x30' +
         std::string{static_cast<char>(name_size), '\0'} + Le32(0x20);
}

unrar::ArchiveLayout ReadInMemory(const std::string& bytes) {
  unrar::MemorySource source(bytes);
  unrar::ArchiveLayout layout = unrar::ReadSignature(source);
  unrar::ReadMembers(1, [&](size_t) { return std::make_unique<unrar::MemorySource>(bytes); }, &layout);
  return layout;
}

TEST(BlockHeaders, LargeFileFlagNeedsTheHighHalves) {
  const std::string start = std::string("Rar!\x1A\x07\x00", 7) + Block(0x73, 0, std::string(6, '\0'));
  const std::string end = Block(0x7B, 0x4000, "");
  const std::string name = "big.txt";
  struct Case {
    const char* what;
    std::string archive;
    size_t members;
    uint64_t size;
    bool complete;
  } cases[] = {
      {"the header ends before the high halves",
       start + Block(0x74, 0x8100, FileFields(5, 0).substr(0, 24)) + end, 0, 0, false},
      {"the high halves start at the header's end",
       start + Block(0x74, 0x8100, FileFields(5, 0)) + end, 0, 0, false},
      {"the high halves and the name",
       start + Block(0x74, 0x8100, FileFields(5, 7) + Le32(0) + Le32(1) + name) + end, 1, (1ull << 32) | 5, true},
      {"a sub-block with the flag and no room",
       start + Block(0x7A, 0x8100, Le32(0) + "xy") + end, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unrar::ArchiveLayout layout = ReadInMemory(c.archive);
    EXPECT_EQ(layout.format, unrar::Format::kRar4);
    ASSERT_EQ(layout.members.size(), c.members);
    if (c.members > 0) {
      EXPECT_EQ(layout.members[0].name, name);
      EXPECT_EQ(layout.members[0].size, c.size);
    }
    EXPECT_EQ(layout.complete, c.complete);
  }
}

// Every archive of the shared RAR data and every RAR fuzzing finding, read
// as one volume from its file and from memory: the same layout.
TEST(BlockHeadersCorpus, MemoryAndFileAgree) {
  TESTDATA_OR_SKIP(data, "");
  int read = 0;
  const struct {
    const char* folder;
    const char* prefix;
  } sources[] = {{"rar", ""}, {"fuzz-findings", "rar-"}};
  for (const auto& source : sources) {
    if (!fs::is_directory(data / source.folder)) continue;
    for (const auto& entry : fs::directory_iterator(data / source.folder)) {
      const std::string file = entry.path().string();
      const std::string name = entry.path().filename().string();
      if (!entry.is_regular_file() || !name.starts_with(source.prefix) || name == "INDEX.tsv") continue;
      SCOPED_TRACE(file);
      unrar::ArchiveLayout from_file = unrar::ReadSignature(file);
      unrar::ReadMembers({file}, &from_file);
      unrar::ArchiveLayout from_memory = ReadInMemory(testsupport::ReadFile(entry.path()));
      EXPECT_EQ(from_file.format, from_memory.format);
      EXPECT_EQ(from_file.volume, from_memory.volume);
      EXPECT_EQ(from_file.complete, from_memory.complete);
      ASSERT_EQ(from_file.members.size(), from_memory.members.size());
      for (size_t i = 0; i < from_file.members.size(); ++i) {
        EXPECT_EQ(from_file.members[i].name, from_memory.members[i].name);
        EXPECT_EQ(from_file.members[i].size, from_memory.members[i].size);
        EXPECT_EQ(from_file.members[i].encrypted, from_memory.members[i].encrypted);
      }
      ++read;
    }
  }
  if (read == 0) GTEST_SKIP() << "no RAR archive in " << data;
}

}  // namespace
