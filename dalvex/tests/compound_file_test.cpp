// The compound-file reader over self-made fixtures: what it refuses, what
// it reads byte for byte (both sector sizes, mini and regular streams,
// DIFAT sectors), how reads and seeks behave at buffer and sector edges,
// the close rules, the name rules, and damaged files (loops in chains and
// trees, free entries, long names, hostile header counts).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/testdata.h"

using testsupport::CompoundFile;
using testsupport::CompoundFileWriter;
using testsupport::SiblingTree;
namespace hdr = testsupport::cfb_header;
namespace ent = testsupport::cfb_entry;

namespace {

std::string Pattern(size_t size, unsigned seed) {
  std::string out(size, '\0');
  std::mt19937 random(seed);
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

std::string SavedPath(const CompoundFile& file, const std::string& name = "fixture.cfb") {
  std::string path = (testsupport::TempDir() / name).string();
  EXPECT_TRUE(file.Save(path));
  return path;
}

// A root that is closed at the end of the test.
struct Root {
  explicit Root(const std::string& path) : handle(KVB_2OLEopen(path.c_str())) {}
  explicit Root(const CompoundFile& file) : Root(SavedPath(file)) {}
  ~Root() {
    if (handle) {
      EXPECT_EQ(KVB_2OLEclose(handle), 1);
    }
  }
  KVB_OleStorage* handle;
};

std::string ReadAll(KVB_OleStream* stream, int request) {
  std::string out;
  std::vector<char> buffer(static_cast<size_t>(request));
  int n;
  while ((n = KVB_2OLEreadStream(stream, buffer.data(), request)) > 0) out.append(buffer.data(), size_t(n));
  return out;
}

// Opens storage/…/stream and reads it whole; "<refused>" when it does not open.
std::string ReadPath(KVB_OleStorage* root, const std::vector<std::string>& path, int request = 4096) {
  std::vector<KVB_OleStorage*> open{root};
  std::string result = "<refused>";
  bool found = true;
  for (size_t i = 0; i + 1 < path.size() && found; ++i) {
    KVB_OleStorage* next = KVB_2OLEopenStorage(open.back(), path[i].c_str());
    found = next != nullptr;
    if (found) open.push_back(next);
  }
  if (found) {
    if (KVB_OleStream* stream = KVB_2OLEopenStream(open.back(), path.back().c_str())) {
      result = ReadAll(stream, request);
      EXPECT_EQ(KVB_2OLEcloseStream(stream), 1);
    }
  }
  for (size_t i = open.size() - 1; i > 0; --i) EXPECT_EQ(KVB_2OLEcloseStorage(open[i]), 1);
  return result;
}

// A file with one regular and one mini stream at the root.
CompoundFile Simple(int version = 3, std::string regular = Pattern(5000, 1), std::string mini = Pattern(100, 2)) {
  CompoundFileWriter::Layout layout;
  layout.version = version;
  CompoundFileWriter w(layout);
  w.AddStream(w.Root(), "Big", std::move(regular));
  w.AddStream(w.Root(), "Small", std::move(mini));
  return w.Build();
}

}  // namespace

// ---------------------------------------------------------------- refusal

TEST(CompoundFileOpen, RefusesDamagedHeadersAtOnce) {
  struct Case {
    const char* what;
    void (*damage)(CompoundFile&);
  };
  const Case cases[] = {
      {"wrong signature", [](CompoundFile& f) { f.bytes[0] = 'X'; }},
      {"shorter than a header", [](CompoundFile& f) { f.Truncate(511); }},
      {"sector shift 8", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 8); }},
      {"sector shift 10", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 10); }},
      {"sector shift 32", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 32); }},
      {"sector shift 0xFFFF", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 0xFFFF); }},
      {"mini-sector shift 5", [](CompoundFile& f) { f.SetHeaderU16(hdr::kMiniSectorShift, 5); }},
      {"mini-sector shift 12", [](CompoundFile& f) { f.SetHeaderU16(hdr::kMiniSectorShift, 12); }},
      {"FAT count beyond the file", [](CompoundFile& f) { f.SetHeaderU32(hdr::kFatSectors, 0x7FFFFFFF); }},
      {"FAT count of file size", [](CompoundFile& f) { f.SetHeaderU32(hdr::kFatSectors, uint32_t(f.bytes.size())); }},
      {"mini-FAT count beyond the file", [](CompoundFile& f) { f.SetHeaderU32(hdr::kMiniFatSectors, 0x10000000); }},
      {"DIFAT count beyond the file", [](CompoundFile& f) { f.SetHeaderU32(hdr::kDifatSectors, 0xFFFFFFFF); }},
      {"FAT sector -1 in the header", [](CompoundFile& f) { f.SetHeaderU32(hdr::kDifat, 0xFFFFFFFF); }},
      {"FAT sector past the end", [](CompoundFile& f) { f.SetHeaderU32(hdr::kDifat, 100000); }},
      {"directory sector -2", [](CompoundFile& f) { f.SetHeaderU32(hdr::kFirstDirectorySector, 0xFFFFFFFE); }},
      {"directory chain loop",
       [](CompoundFile& f) { f.SetFatEntry(f.DirectorySectors()[0], int32_t(f.DirectorySectors()[0])); }},
      {"mini-FAT sector -1", [](CompoundFile& f) { f.SetHeaderU32(hdr::kFirstMiniFatSector, 0xFFFFFFFF); }},
      {"root without child", [](CompoundFile& f) { f.SetEntryU32(0, ent::kChild, 0xFFFFFFFF); }},
      {"name length 128", [](CompoundFile& f) { f.SetEntryU16(1, ent::kNameLength, 128); }},
      {"no root entry", [](CompoundFile& f) {
         f.SetEntryName(0, u"Not the root");
         f.SetEntryByte(0, ent::kType, 1);
       }},
  };
  for (int version : {3, 4}) {
    for (const Case& c : cases) {
      CompoundFile file = Simple(version);
      c.damage(file);
      KVB_OleStorage* root = KVB_2OLEopen(SavedPath(file).c_str());
      EXPECT_EQ(root, nullptr) << c.what << ", version " << version;
      if (root) KVB_2OLEclose(root);
    }
  }
  EXPECT_EQ(KVB_2OLEopen(nullptr), nullptr);
  EXPECT_EQ(KVB_2OLEopen((testsupport::TempDir() / "missing.cfb").c_str()), nullptr);
}

TEST(CompoundFileOpen, RefusesADifatChainThatBreaksOrLoops) {
  CompoundFileWriter::Layout layout;
  layout.min_fat_sectors = 300;  // 109 in the header, 191 through two DIFAT sectors
  CompoundFileWriter w(layout);
  w.AddStream(w.Root(), "Big", Pattern(5000, 3));
  CompoundFile good = w.Build();
  ASSERT_EQ(good.DifatSectors().size(), 2u);
  {
    Root root(good);
    EXPECT_NE(root.handle, nullptr);
  }
  auto second_link = good.SectorOffset(good.DifatSectors()[0]) + 127 * 4;
  for (uint32_t link : {0xFFFFFFFEu, 0xFFFFFFFFu, good.DifatSectors()[0]}) {
    CompoundFile bad = good;
    for (int i = 0; i < 4; ++i) bad.bytes[second_link + i] = static_cast<char>(link >> (8 * i));
    Root root(bad);
    EXPECT_EQ(root.handle, nullptr) << std::hex << link;
  }
  CompoundFile no_first = good;
  no_first.SetHeaderU32(hdr::kFirstDifatSector, 0xFFFFFFFE);
  EXPECT_EQ(Root(no_first).handle, nullptr);
}

// ------------------------------------------------------- reading fixtures

class CompoundFileVersions : public ::testing::TestWithParam<std::tuple<int, SiblingTree>> {};

TEST_P(CompoundFileVersions, ReadsEveryStreamByteForByte) {
  auto [version, tree] = GetParam();
  CompoundFileWriter::Layout layout;
  layout.version = version;
  layout.tree = tree;
  CompoundFileWriter w(layout);
  const auto clsid = testsupport::ParseClassId("{78597001-1D84-11CF-9713-0020AFD806F4}");
  struct Stream {
    std::vector<std::string> path;
    std::string bytes;
  };
  std::vector<Stream> streams = {
      {{"VisioDocument"}, Pattern(70000, 10)},
      {{"\x05SummaryInformation"}, Pattern(4095, 11)},
      {{"\x05DocumentSummaryInformation"}, Pattern(4096, 12)},
      {{"Empty"}, ""},
      {{"ObjectPool", "_1", "\x01Ole10Native"}, Pattern(1, 13)},
      {{"ObjectPool", "_1", "CONTENTS"}, Pattern(9000, 14)},
      {{"ObjectPool", "Unicode\xE6\x97\xA5\xE6\x9C\xAC"}, Pattern(64, 15)},
  };
  w.AddStream(w.Root(), "VisioDocument", streams[0].bytes);
  w.AddStream(w.Root(), streams[1].path[0], streams[1].bytes);
  w.AddStream(w.Root(), streams[2].path[0], streams[2].bytes);
  w.AddStream(w.Root(), "Empty", "");
  int pool = w.AddStorage(w.Root(), "ObjectPool");
  int one = w.AddStorage(pool, "_1", clsid);
  w.AddStream(one, "\x01Ole10Native", streams[4].bytes);
  w.AddStream(one, "CONTENTS", streams[5].bytes);
  w.AddStream(pool, streams[6].path[1], streams[6].bytes);
  for (int i = 0; i < 20; ++i) w.AddStream(pool, "filler" + std::to_string(i), Pattern(size_t(i) * 50, 100 + i));

  Root root(w.Build());
  ASSERT_NE(root.handle, nullptr);
  for (const Stream& s : streams) {
    for (int request : {1, 100, 1024, 5000}) EXPECT_EQ(ReadPath(root.handle, s.path, request), s.bytes) << s.path.back();
  }
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(ReadPath(root.handle, {"ObjectPool", "filler" + std::to_string(i)}), Pattern(size_t(i) * 50, 100 + i));

  KVB_OleHeaderInfo info{};
  ASSERT_EQ(KVB_2OLEGetHeaderInfo(root.handle, &info), 1);
  EXPECT_EQ(info.sector_shift, version == 4 ? 12 : 9);
  EXPECT_EQ(info.mini_sector_shift, 6);
  EXPECT_EQ(info.mini_stream_cutoff, 4096u);
  EXPECT_EQ(KVB_2OLEGetHeaderInfo(nullptr, &info), 0);
  EXPECT_EQ(KVB_2OLEGetHeaderInfo(root.handle, nullptr), 0);

  KVB_OleStorage* pool_storage = KVB_2OLEopenStorage(root.handle, "ObjectPool");
  ASSERT_NE(pool_storage, nullptr);
  KVB_OleStorage* one_storage = KVB_2OLEopenStorage(pool_storage, "_1");
  ASSERT_NE(one_storage, nullptr);
  unsigned char got[16];
  ASSERT_EQ(KVB_2OLEGetClassID(one_storage, got), 1);
  EXPECT_EQ(0, std::memcmp(got, clsid.data(), 16));
  ASSERT_EQ(KVB_2OLEGetClassID(pool_storage, got), 1);
  EXPECT_EQ(got[0] | got[5] | got[15], 0);
  EXPECT_EQ(KVB_2OLEGetClassID(nullptr, got), 0);
  EXPECT_EQ(KVB_2OLEcloseStorage(one_storage), 1);
  EXPECT_EQ(KVB_2OLEcloseStorage(pool_storage), 1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CompoundFileVersions,
                         ::testing::Combine(::testing::Values(3, 4),
                                            ::testing::Values(SiblingTree::kBalanced, SiblingTree::kRightOnly,
                                                              SiblingTree::kLeftOnly)));

TEST(CompoundFileDifat, PaddedFatNeedsDifatSectorsInBothVersions) {
  for (int version : {3, 4}) {
    CompoundFileWriter::Layout layout;
    layout.version = version;
    layout.min_fat_sectors = 240;  // 131 FAT sectors named by DIFAT sectors
    CompoundFileWriter w(layout);
    std::string bytes = Pattern(20000, 4);
    w.AddStream(w.Root(), "Data", bytes);
    CompoundFile file = w.Build();
    ASSERT_FALSE(file.DifatSectors().empty());
    Root root(file);
    ASSERT_NE(root.handle, nullptr) << version;
    EXPECT_EQ(ReadPath(root.handle, {"Data"}), bytes);
  }
}

TEST(CompoundFileDifat, StreamSpreadOverMoreThan109FatSectors) {
  // 512-byte sectors: 109 FAT sectors describe 13,952 sectors (about 7 MB).
  std::string bytes = Pattern(8 << 20, 5);
  CompoundFileWriter w;
  w.AddStream(w.Root(), "Huge", bytes);
  w.AddStream(w.Root(), "Tail", Pattern(3000, 6));
  CompoundFile file = w.Build();
  ASSERT_GT(file.FatSectors().size(), 109u);
  ASSERT_FALSE(file.DifatSectors().empty());
  Root root(file);
  ASSERT_NE(root.handle, nullptr);
  EXPECT_TRUE(ReadPath(root.handle, {"Huge"}, 65536) == bytes);
  EXPECT_EQ(ReadPath(root.handle, {"Tail"}), Pattern(3000, 6));
}

TEST(CompoundFileRead, MiniStreamCutoffDecidesWhereAStreamLives) {
  // Without the mini stream, only the stream below the cutoff is lost.
  for (int version : {3, 4}) {
    CompoundFileWriter::Layout layout;
    layout.version = version;
    CompoundFileWriter w(layout);
    int below = w.AddStream(w.Root(), "Below", Pattern(4095, 7));
    int at = w.AddStream(w.Root(), "At", Pattern(4096, 8));
    CompoundFile file = w.Build();
    EXPECT_TRUE(file.InMiniStream(below));
    EXPECT_FALSE(file.InMiniStream(at));
    {
      Root root(file);
      EXPECT_EQ(ReadPath(root.handle, {"Below"}), Pattern(4095, 7));
      EXPECT_EQ(ReadPath(root.handle, {"At"}), Pattern(4096, 8));
    }
    file.SetEntryU32(0, ent::kStartSector, 0xFFFFFFFF);
    Root root(file);
    ASSERT_NE(root.handle, nullptr);
    EXPECT_EQ(ReadPath(root.handle, {"Below"}), "<refused>");
    EXPECT_EQ(ReadPath(root.handle, {"At"}), Pattern(4096, 8));
  }
}

// --------------------------------------------------------- reads and seeks

TEST(CompoundFileRead, RandomReadsAndSeeksMatchTheSourceBytes) {
  for (int version : {3, 4}) {
    for (size_t size : {size_t(3000), size_t(50000)}) {  // mini and regular
      std::string bytes = Pattern(size, unsigned(size));
      Root root(Simple(version, bytes, bytes.substr(0, 3000)));
      KVB_OleStream* stream = KVB_2OLEopenStream(root.handle, size == 3000 ? "Small" : "Big");
      ASSERT_NE(stream, nullptr);
      ASSERT_EQ(KVB_2OLEGetStreamSize(stream), int(size));
      std::mt19937 random(42);
      long long pos = 0;
      std::vector<char> buffer(5000);
      for (int step = 0; step < 3000; ++step) {
        if (random() % 3 == 0) {
          int whence = int(random() % 3);
          int offset = int(random() % (size + 200)) - 100;
          long long base = whence == 0 ? 0 : whence == 1 ? pos : (long long)size;
          long long expect = std::clamp<long long>(base + offset, 0, (long long)size);
          ASSERT_EQ(KVB_2OLEseekStream(stream, offset, whence), expect) << step;
          pos = expect;
        } else {
          int n = int(random() % (random() % 2 ? 8 : 4500));
          int got = KVB_2OLEreadStream(stream, buffer.data(), n);
          long long expect = std::min<long long>(n, (long long)size - pos);
          ASSERT_EQ(got, expect) << step;
          ASSERT_EQ(std::string(buffer.data(), size_t(got)), bytes.substr(size_t(pos), size_t(got))) << step;
          pos += got;
        }
      }
      EXPECT_EQ(KVB_2OLEcloseStream(stream), 1);
    }
  }
}

TEST(CompoundFileRead, EndOfStreamAndSeekRules) {
  std::string bytes = Pattern(5000, 1);
  Root root(Simple(3, bytes));
  KVB_OleStream* s = KVB_2OLEopenStream(root.handle, "Big");
  ASSERT_NE(s, nullptr);
  char buffer[64];
  EXPECT_EQ(KVB_2OLEseekStream(s, 5000 - 4, 0), 4996);
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, 10), 4);
  EXPECT_EQ(std::string(buffer, 4), bytes.substr(4996));
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, 10), 0);
  EXPECT_EQ(KVB_2OLEseekStream(s, 0, 2), 5000);
  EXPECT_EQ(KVB_2OLEseekStream(s, -5, 0), 0);
  EXPECT_EQ(KVB_2OLEseekStream(s, 100000, 1), 5000);
  EXPECT_EQ(KVB_2OLEseekStream(s, 0, 3), -1);
  EXPECT_EQ(KVB_2OLEseekStream(s, 0, -1), -1);
  // Inside the buffered bytes (the first refill holds 0..1023) and back out.
  EXPECT_EQ(KVB_2OLEseekStream(s, 0, 0), 0);
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, 10), 10);
  EXPECT_EQ(KVB_2OLEseekStream(s, 1000, 0), 1000);
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, 40), 40);
  EXPECT_EQ(std::string(buffer, 40), bytes.substr(1000, 40));
  EXPECT_EQ(KVB_2OLEseekStream(s, -1040, 1), 0);
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), bytes.substr(0, 5));
  EXPECT_EQ(KVB_2OLEreadStream(s, nullptr, 5), 0);
  EXPECT_EQ(KVB_2OLEreadStream(s, buffer, -1), 0);
  EXPECT_EQ(KVB_2OLEcloseStream(s), 1);
  EXPECT_EQ(KVB_2OLEreadStream(nullptr, buffer, 5), 0);
  EXPECT_EQ(KVB_2OLEseekStream(nullptr, 0, 0), -1);
  EXPECT_EQ(KVB_2OLEGetStreamSize(nullptr), -1);
  EXPECT_EQ(KVB_2OLEcloseStream(nullptr), 0);
}

TEST(CompoundFileRead, StreamsOfOneFileReadInTurn) {
  std::string big = Pattern(20000, 1), small = Pattern(3000, 2);
  Root root(Simple(3, big, small));
  KVB_OleStream* a = KVB_2OLEopenStream(root.handle, "Big");
  KVB_OleStream* b = KVB_2OLEopenStream(root.handle, "Small");
  ASSERT_TRUE(a && b);
  std::string got_a, got_b;
  char buffer[700];
  for (int n; (n = KVB_2OLEreadStream(a, buffer, sizeof buffer)) > 0;) {
    got_a.append(buffer, size_t(n));
    if ((n = KVB_2OLEreadStream(b, buffer, 333)) > 0) got_b.append(buffer, size_t(n));
  }
  EXPECT_EQ(got_a, big);
  EXPECT_EQ(got_b, small);
  KVB_2OLEcloseStream(a);
  KVB_2OLEcloseStream(b);
}

TEST(CompoundFileRead, ChainEndingBeforeTheSizeReadsShort) {
  for (int version : {3, 4}) {
    std::string bytes = Pattern(version == 3 ? 5000 : 20000, 9);
    CompoundFileWriter::Layout layout;
    layout.version = version;
    CompoundFileWriter w(layout);
    int id = w.AddStream(w.Root(), "Cut", bytes);
    CompoundFile file = w.Build();
    ASSERT_FALSE(file.InMiniStream(id));
    file.SetFatEntry(file.Chain(id)[1], testsupport::kEndOfChain);
    Root root(file);
    KVB_OleStream* s = KVB_2OLEopenStream(root.handle, "Cut");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s, 100), bytes.substr(0, 2 * file.SectorSize()));
    EXPECT_EQ(KVB_2OLEseekStream(s, int(bytes.size()) - 1, 0), -1);  // beyond the chain
    KVB_2OLEcloseStream(s);
  }
}

TEST(CompoundFileRead, TruncatedFileReadsShort) {
  std::string bytes = Pattern(5000, 1);
  CompoundFile file = Simple(3, bytes);
  file.Truncate(file.bytes.size() - 700);  // into the last sector of "Big"
  Root root(file);
  ASSERT_NE(root.handle, nullptr);
  std::string got = ReadPath(root.handle, {"Big"});
  EXPECT_LT(got.size(), bytes.size());
  EXPECT_EQ(got, bytes.substr(0, got.size()));
}

TEST(CompoundFileRead, RefusesStreamsBeyond31Bits) {
  CompoundFile file = Simple(4);
  file.SetEntryU32(file.DirIndex(1), ent::kSize + 4, 1);  // 4 GiB + 5000 in a 4,096-byte-sector file
  Root root(file);
  EXPECT_EQ(ReadPath(root.handle, {"Big"}), "<refused>");
  CompoundFile file3 = Simple(3);
  file3.SetEntryU32(file3.DirIndex(1), ent::kSize, 0x80000000u);
  Root root3(file3);
  EXPECT_EQ(ReadPath(root3.handle, {"Big"}), "<refused>");
}

// ------------------------------------------------------------ close rules

TEST(CompoundFileClose, RefusedWhileChildrenAreOpen) {
  CompoundFileWriter w;
  int pool = w.AddStorage(w.Root(), "Pool");
  w.AddStream(pool, "Inner", Pattern(10, 1));
  KVB_OleStorage* root = KVB_2OLEopen(SavedPath(w.Build()).c_str());
  ASSERT_NE(root, nullptr);
  KVB_OleStorage* storage = KVB_2OLEopenStorage(root, "Pool");
  ASSERT_NE(storage, nullptr);
  KVB_OleStream* stream = KVB_2OLEopenStream(storage, "Inner");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(KVB_2OLEclose(root), 4096);
  EXPECT_EQ(KVB_2OLEcloseStorage(storage), 0);
  EXPECT_EQ(KVB_2OLEclose(storage), 0);        // a child is no root
  EXPECT_EQ(KVB_2OLEcloseStorage(root), 0);    // the root closes with KVB_2OLEclose
  char c;
  EXPECT_EQ(KVB_2OLEreadStream(stream, &c, 1), 1);  // still usable
  EXPECT_EQ(KVB_2OLEcloseStream(stream), 1);
  EXPECT_EQ(KVB_2OLEclose(root), 4096);
  EXPECT_EQ(KVB_2OLEcloseStorage(storage), 1);
  EXPECT_EQ(KVB_2OLEclose(root), 1);
  EXPECT_EQ(KVB_2OLEclose(nullptr), 0);
  EXPECT_EQ(KVB_2OLEcloseStorage(nullptr), 0);
}

// ------------------------------------------------------------- name rules

TEST(CompoundFileNames, StreamsIgnoreAsciiCaseStoragesDoNot) {
  CompoundFileWriter w;
  w.AddStream(w.Root(), "VisioDocument", Pattern(10, 1));
  w.AddStream(w.Root(), "\x05SummaryInformation", Pattern(11, 2));
  int pool = w.AddStorage(w.Root(), "ObjectPool");
  w.AddStream(pool, "\xC3\x84rger", Pattern(12, 3));  // "Ärger"
  Root root(w.Build());
  struct Case {
    std::vector<std::string> path;
    bool found;
  };
  const Case cases[] = {
      {{"VisioDocument"}, true},
      {{"visiodocument"}, true},
      {{"VISIODOCUMENT"}, true},
      {{"VisioDocumen"}, false},
      {{"\x05summaryinformation"}, true},
      {{"SummaryInformation"}, false},
      {{"ObjectPool"}, false},  // a storage is no stream
      {{"ObjectPool", "\xC3\x84rger"}, true},
      {{"ObjectPool", "\xC3\x84RGER"}, true},   // ASCII letters fold
      {{"ObjectPool", "\xC3\xA4rger"}, false},  // "ä" is not "Ä"
      {{"objectpool", "\xC3\x84rger"}, false},  // storages by exact name
      {{"OBJECTPOOL", "\xC3\x84rger"}, false},
      {{"VisioDocument", "x"}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadPath(root.handle, c.path) != "<refused>", c.found) << c.path.front() << "/" << c.path.back();
  EXPECT_EQ(KVB_2OLEopenStream(root.handle, nullptr), nullptr);
  EXPECT_EQ(KVB_2OLEopenStorage(root.handle, nullptr), nullptr);
  EXPECT_EQ(KVB_2OLEopenStream(nullptr, "VisioDocument"), nullptr);
}

TEST(CompoundFileNames, LongNameLengthsStayInsideTheEntry) {
  // 32 units without a terminator, then name lengths up to the largest taken.
  std::u16string units(32, u'N');
  std::string expected(31, 'N');
  for (uint16_t length : {64, 65, 127}) {
    CompoundFile file = Simple();
    uint32_t at = file.DirIndex(1);
    file.SetEntryName(at, units);
    file.SetEntryU16(at, ent::kNameLength, length);
    Root root(file);
    ASSERT_NE(root.handle, nullptr) << length;
    EXPECT_EQ(ReadPath(root.handle, {expected}), Pattern(5000, 1)) << length;
  }
}

TEST(CompoundFileNames, UnpairedSurrogateBecomesReplacementCharacter) {
  CompoundFile file = Simple();
  file.SetEntryName(file.DirIndex(1), u"A\xD800" u"B");
  file.SetEntryU16(file.DirIndex(1), ent::kNameLength, 8);
  Root root(file);
  EXPECT_EQ(ReadPath(root.handle, {"A\xEF\xBF\xBD" "B"}), Pattern(5000, 1));
}

// --------------------------------------------------------- damaged trees

TEST(CompoundFileTrees, DiamondShapedSiblingsEndTheSearch) {
  // Every entry's left and right siblings both name the next one: a walk
  // without visited marks takes 2^n steps.
  CompoundFileWriter::Layout layout;
  layout.tree = SiblingTree::kRightOnly;
  CompoundFileWriter w(layout);
  for (int i = 0; i < 300; ++i) w.AddStream(w.Root(), "s" + std::to_string(i), Pattern(8, unsigned(i)));
  CompoundFile file = w.Build();
  for (int id = 1; id < 300; ++id) {
    uint32_t next = file.DirIndex(id + 1);
    file.SetEntryU32(file.DirIndex(id), ent::kLeft, next);
    file.SetEntryU32(file.DirIndex(id), ent::kRight, next);
  }
  Root root(file);
  ASSERT_NE(root.handle, nullptr);
  EXPECT_EQ(ReadPath(root.handle, {"missing"}), "<refused>");
  EXPECT_EQ(KVB_2OLEopenStorage(root.handle, "missing"), nullptr);
}

TEST(CompoundFileTrees, LoopsInTheTreeEndTheSearch) {
  CompoundFile file = Simple();
  // Both entries point back at each other and at the root.
  file.SetEntryU32(file.DirIndex(1), ent::kLeft, file.DirIndex(2));
  file.SetEntryU32(file.DirIndex(1), ent::kRight, 0);
  file.SetEntryU32(file.DirIndex(2), ent::kLeft, file.DirIndex(1));
  file.SetEntryU32(file.DirIndex(2), ent::kRight, 0x7FFFFFF0);
  Root root(file);
  ASSERT_NE(root.handle, nullptr);
  EXPECT_EQ(ReadPath(root.handle, {"nothing"}), "<refused>");
  EXPECT_EQ(KVB_2OLEopenStorage(root.handle, "nothing"), nullptr);
}

TEST(CompoundFileTrees, ThousandEntryOneSidedListsFindTheirLastStream) {
  for (SiblingTree tree : {SiblingTree::kRightOnly, SiblingTree::kLeftOnly}) {
    CompoundFileWriter::Layout layout;
    layout.tree = tree;
    CompoundFileWriter w(layout);
    int storage = w.AddStorage(w.Root(), "Deep");
    for (int i = 0; i < 1000; ++i) w.AddStream(storage, "n" + std::to_string(1000 + i), Pattern(20, unsigned(i)));
    w.AddStorage(storage, "zzzzzzzzzz");
    Root root(w.Build());
    ASSERT_NE(root.handle, nullptr);
    // The name order puts these at the far end of the list.
    EXPECT_EQ(ReadPath(root.handle, {"Deep", "n1000"}), Pattern(20, 0));
    EXPECT_EQ(ReadPath(root.handle, {"Deep", "n1999"}), Pattern(20, 999));
    KVB_OleStorage* deep = KVB_2OLEopenStorage(root.handle, "Deep");
    ASSERT_NE(deep, nullptr);
    KVB_OleStorage* last = KVB_2OLEopenStorage(deep, "zzzzzzzzzz");
    EXPECT_NE(last, nullptr);
    if (last) KVB_2OLEcloseStorage(last);
    KVB_2OLEcloseStorage(deep);
  }
}

TEST(CompoundFileTrees, EntriesAfterAFreeEntryAreFound) {
  for (int version : {3, 4}) {
    // Free slots at positions 1 and 2 put the live entries behind them in
    // the same sector, and past the count of live entries.
    CompoundFileWriter::Layout layout;
    layout.version = version;
    layout.empty_slots = {1, 2, 5};
    CompoundFileWriter w(layout);
    w.AddStream(w.Root(), "First", Pattern(300, 1));
    w.AddStream(w.Root(), "Second", Pattern(5000, 2));
    int storage = w.AddStorage(w.Root(), "Store");
    w.AddStream(storage, "Third", Pattern(30, 3));
    CompoundFile file = w.Build();
    ASSERT_EQ(file.DirIndex(4), 7u);
    Root root(file);
    ASSERT_NE(root.handle, nullptr);
    EXPECT_EQ(ReadPath(root.handle, {"First"}), Pattern(300, 1));
    EXPECT_EQ(ReadPath(root.handle, {"Second"}), Pattern(5000, 2));
    EXPECT_EQ(ReadPath(root.handle, {"Store", "Third"}), Pattern(30, 3));
  }
}

TEST(CompoundFileTrees, FreeEntriesMatchNothingAndLinkNowhere) {
  CompoundFile file = Simple();
  // A freed entry that still carries a name and links: it is no entry.
  uint32_t small = file.DirIndex(2);
  file.SetEntryU16(small, ent::kNameLength, 0);
  Root root(file);
  ASSERT_NE(root.handle, nullptr);
  EXPECT_EQ(ReadPath(root.handle, {"Small"}), "<refused>");
  EXPECT_EQ(ReadPath(root.handle, {""}), "<refused>");
}

// --------------------------------------------------------- damaged chains

TEST(CompoundFileChains, LoopsInStreamAndMiniChainsNeverHang) {
  for (int version : {3, 4}) {
    CompoundFileWriter::Layout layout;
    layout.version = version;
    CompoundFileWriter w(layout);
    int big = w.AddStream(w.Root(), "Big", Pattern(20000, 1));
    int small = w.AddStream(w.Root(), "Small", Pattern(1000, 2));
    w.AddStream(w.Root(), "Other", Pattern(3000, 3));
    CompoundFile good = w.Build();

    CompoundFile regular_loop = good;  // second sector leads back to the first
    regular_loop.SetFatEntry(good.Chain(big)[1], int32_t(good.Chain(big)[0]));
    CompoundFile mini_loop = good;
    mini_loop.SetMiniFatEntry(good.Chain(small)[3], int32_t(good.Chain(small)[1]));
    CompoundFile self_loop = good;
    self_loop.SetFatEntry(good.Chain(big)[0], int32_t(good.Chain(big)[0]));
    CompoundFile free_link = good;
    free_link.SetFatEntry(good.Chain(big)[0], testsupport::kFreeSector);
    for (const CompoundFile* f : {&regular_loop, &self_loop, &free_link}) {
      Root root(*f);
      ASSERT_NE(root.handle, nullptr);
      EXPECT_EQ(ReadPath(root.handle, {"Big"}), "<refused>");
      EXPECT_EQ(ReadPath(root.handle, {"Small"}), Pattern(1000, 2));
    }
    Root root(mini_loop);
    EXPECT_EQ(ReadPath(root.handle, {"Small"}), "<refused>");
    EXPECT_EQ(ReadPath(root.handle, {"Other"}), Pattern(3000, 3));
  }
}

TEST(CompoundFileChains, LoopInTheMiniStreamReadsShort) {
  for (int version : {3, 4}) {
    CompoundFileWriter::Layout layout;
    layout.version = version;
    CompoundFileWriter w(layout);
    // Enough mini streams to fill more than one regular sector of the mini stream.
    for (int i = 0; i < 12; ++i) w.AddStream(w.Root(), "m" + std::to_string(i), Pattern(4000, unsigned(i)));
    CompoundFile file = w.Build();
    const auto& chain = file.Chain(w.Root());
    ASSERT_GE(chain.size(), 3u);
    file.SetFatEntry(chain[1], int32_t(chain[0]));  // the mini stream loops after its second sector
    Root root(file);
    ASSERT_NE(root.handle, nullptr);
    uint32_t per_sector = file.SectorSize() / 64;
    EXPECT_EQ(ReadPath(root.handle, {"m0"}).size(), std::min<size_t>(4000, 2 * per_sector * 64));
    std::string last = ReadPath(root.handle, {"m11"});
    EXPECT_TRUE(last == "<refused>" || last.empty()) << last.size();
  }
}

// A stream is found without regard to case; its name is given back as the
// file stores it, and only into a buffer that holds it whole.
TEST(CompoundFileNames, StreamNameIsTheStoredOne) {
  CompoundFileWriter w;
  w.AddStream(w.Root(), "CONTENTS", "upper");
  int sub = w.AddStorage(w.Root(), "Objekt");
  w.AddStream(sub, "\x01" "Ole10Native", "x");
  w.AddStream(w.Root(), "Größe", "utf-8 name");
  Root root(w.Build());
  ASSERT_NE(root.handle, nullptr);
  struct Case {
    const char* open;
    const char* stored;
  } cases[] = {{"Contents", "CONTENTS"}, {"contents", "CONTENTS"}, {"Größe", "Größe"}};
  for (const Case& c : cases) {
    KVB_OleStream* s = KVB_2OLEopenStream(root.handle, c.open);
    ASSERT_NE(s, nullptr) << c.open;
    char name[64] = "junk";
    EXPECT_EQ(KVB_2OLEGetStreamName(s, name, sizeof name), 1);
    EXPECT_STREQ(name, c.stored);
    size_t length = std::strlen(c.stored);
    EXPECT_EQ(KVB_2OLEGetStreamName(s, name, int(length)), 0) << "no room for the NUL";
    EXPECT_STREQ(name, "");
    EXPECT_EQ(KVB_2OLEGetStreamName(s, name, int(length + 1)), 1);
    EXPECT_EQ(KVB_2OLEcloseStream(s), 1);
  }
  KVB_OleStorage* storage = KVB_2OLEopenStorage(root.handle, "Objekt");
  KVB_OleStream* s = KVB_2OLEopenStream(storage, "\x01" "OLE10NATIVE");
  char name[64];
  ASSERT_EQ(KVB_2OLEGetStreamName(s, name, sizeof name), 1);
  EXPECT_STREQ(name, "\x01" "Ole10Native");
  KVB_2OLEcloseStream(s);
  KVB_2OLEcloseStorage(storage);
  EXPECT_EQ(KVB_2OLEGetStreamName(nullptr, name, sizeof name), 0);
}
