// The RAR block-header reader: its bounded cursor, hand-made RAR 1.5-4
// headers with the large-file flag, and every archive of the shared data
// read from its file and from memory alike.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "block_headers.h"
#include "rarstore/rar_writer.h"
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

// The layout of `bytes` read from a file.
unrar::ArchiveLayout ReadFromFile(const std::string& bytes) {
  const fs::path path = fs::temp_directory_path() / ("unrar-headers-" + std::to_string(getpid()) + ".rar");
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  unrar::ArchiveLayout layout = unrar::ReadSignature(path.string());
  unrar::ReadMembers({path.string()}, &layout);
  fs::remove(path);
  return layout;
}

std::vector<rarstore::Entry> Entries(size_t count, size_t large) {
  std::vector<rarstore::Entry> entries(count);
  for (size_t i = 0; i < count; ++i) {
    // Names of varying length: neighbouring headers differ in size.
    entries[i].name = "folder\\" + std::string(i % 13, 'n') + std::to_string(i) + ".txt";
    entries[i].data = std::string(i == count / 2 && large > 0 ? large : i * 7 % 61, 'x');
  }
  return entries;
}

// The signature is looked for first at the start of an archive, then
// through a self-extracting stub: found behind stubs of every length, with
// the RAR 5 main header read whole even where the signature ends the first
// look.
TEST(BlockHeaders, SignatureFoundBehindAnyStub) {
  // RAR 5: signature, CRC, size 3, type 1 (main), no header flags, archive
  // flags 1 (a volume).
  const std::string rar5 = std::string("Rar!\x1A\x07\x01\x00", 8) + Le32(0) + std::string("\x03\x01\x00\x01", 4);
  const std::string rar4 = rarstore::WriteArchive(Entries(3, 0));
  for (size_t stub : {0, 1000, 4000, 4050, 4088, 4090, 4095, 4096, 5000, 70000}) {
    for (bool five : {false, true}) {
      SCOPED_TRACE(testing::Message() << "stub " << stub << (five ? " RAR 5" : " RAR 4"));
      const std::string bytes = std::string(stub, 'M') + (five ? rar5 : rar4);
      for (const unrar::ArchiveLayout& layout : {ReadFromFile(bytes), ReadInMemory(bytes)}) {
        EXPECT_EQ(layout.format, five ? unrar::Format::kRar5 : unrar::Format::kRar4);
        EXPECT_EQ(layout.signature_offset, stub);
        EXPECT_EQ(layout.volume, five);
        if (!five) {
          EXPECT_EQ(layout.members.size(), 3u);
        }
      }
    }
  }
}

// An archive file is read a window at a time: headers that cross a
// window's end at every offset, and headers after data larger than a
// window, read as from memory.
TEST(BlockHeaders, FileReadInWindowsAgreesWithMemory) {
  for (size_t large : {0, 100000}) {
    std::vector<rarstore::Entry> entries = Entries(large > 0 ? 40 : 1500, large);
    // The first member's data moves every later header by one byte a case.
    for (size_t shift = 0; shift < 128; ++shift) {
      SCOPED_TRACE(testing::Message() << "shift " << shift << " large " << large);
      entries[0].data = std::string(shift, 'y');
      const std::string bytes = rarstore::WriteArchive(entries);
      unrar::ArchiveLayout from_file = ReadFromFile(bytes);
      unrar::ArchiveLayout from_memory = ReadInMemory(bytes);
      EXPECT_TRUE(from_file.complete);
      ASSERT_EQ(from_file.members.size(), from_memory.members.size());
      for (size_t i = 0; i < from_file.members.size(); ++i) {
        EXPECT_EQ(from_file.members[i].name, from_memory.members[i].name);
        EXPECT_EQ(from_file.members[i].offset, from_memory.members[i].offset);
        EXPECT_EQ(from_file.members[i].size, from_memory.members[i].size);
      }
    }
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
