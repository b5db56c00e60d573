// The compound-file reader over files the test writer makes: layouts it must
// read back, the edge cases of its operations, and damaged files it must
// refuse or read short without hanging or reading outside the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/io_object.h"
#include "ole_support.h"
#include "quarnel/ole_comp_file.h"
#include "quarnel/uri.h"
#include "testsupport/compound_file_writer.h"
#include "testsupport/testdata.h"

namespace {

namespace fs = std::filesystem;
using ObraCommon::MekStreamIOobj;
using ObraCommon::OleCompFile;
using ObraCommon::OleDirPath;
using ObraCommon::OleStream;
using ObraCommon::ZelOleStream;
using testsupport::CompoundFile;
using testsupport::CompoundFileWriter;
namespace hdr = testsupport::cfb_header;
namespace ent = testsupport::cfb_entry;

std::string Pattern(size_t n, int seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + static_cast<size_t>(seed) * 7 + i / 251) & 0xFF);
  return s;
}

OleDirPath Path(std::initializer_list<const char*> names) {
  OleDirPath p;
  for (const char* n : names) p.names[p.count++] = n;
  return p;
}

// A compound file opened from memory.
struct Opened : quarnel_test::OpenedCompoundFile {
  using OpenedCompoundFile::OpenedCompoundFile;

  // The stream read whole, or "<none>".
  std::string Read(std::initializer_list<const char*> names) {
    OleDirPath p = Path(names);
    OleStream* s = file.OLEopenStream(&p);
    if (s == nullptr) return "<none>";
    std::string out(static_cast<size_t>(s->GetStreamSize()) + 16, '\0');
    int n = s->OLEread(reinterpret_cast<unsigned char*>(out.data()), static_cast<unsigned>(out.size()));
    file.OLEcloseStream(s);
    out.resize(static_cast<size_t>(std::max(n, 0)));
    return out;
  }
};

struct LayoutCase {
  const char* name;
  CompoundFileWriter::Layout layout;
};

// Every layout reads back what was written, streams in the mini stream and
// in sectors, at the root and two storages down.
TEST(OleCompFile, LayoutsReadBack) {
  auto shift = [](uint32_t s) {
    CompoundFileWriter::Layout l;
    l.sector_shift = s;
    l.mini_sector_shift = std::min<uint32_t>(6, s);
    return l;
  };
  CompoundFileWriter::Layout v4;
  v4.version = 4;
  CompoundFileWriter::Layout big;
  big.big_endian = true;
  CompoundFileWriter::Layout fat109, fat110;
  fat109.min_fat_sectors = 109;
  fat110.min_fat_sectors = 110;
  CompoundFileWriter::Layout mini3;
  mini3.mini_sector_shift = 3;
  const LayoutCase cases[] = {{"version 3", {}}, {"version 4", v4},      {"shift 7", shift(7)},
                              {"shift 8", shift(8)}, {"shift 10", shift(10)}, {"shift 12", shift(12)},
                              {"shift 16", shift(16)}, {"big-endian", big},  {"109 FAT sectors", fat109},
                              {"110 FAT sectors", fat110}, {"mini shift 3", mini3}};
  const size_t sizes[] = {0, 1, 100, 4095, 4096, 5000, 70000};
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    CompoundFileWriter w(c.layout);
    std::vector<std::string> names;
    for (size_t i = 0; i < std::size(sizes); ++i) {
      names.push_back("Stream" + std::to_string(i));
      w.AddStream(w.Root(), names.back(), Pattern(sizes[i], int(i)));
    }
    int a = w.AddStorage(w.Root(), "Outer");
    int b = w.AddStorage(a, "Inner");
    w.AddStream(b, "Deep", Pattern(300, 9));
    Opened f(w.Build().bytes);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.file.isLittleEndian(), !c.layout.big_endian);
    for (size_t i = 0; i < std::size(sizes); ++i) EXPECT_EQ(f.Read({names[i].c_str()}), Pattern(sizes[i], int(i))) << i;
    EXPECT_EQ(f.Read({"Outer", "Inner", "Deep"}), Pattern(300, 9));
    if (c.layout.min_fat_sectors) {
      EXPECT_EQ(f.file.getFatBlockCount(), int32_t(c.layout.min_fat_sectors));
      EXPECT_EQ(f.file.getIndirectFatBlockCount(), c.layout.min_fat_sectors > 109 ? 1 : 0);
    }
  }
}

TEST(OleCompFile, HeaderValuesAndSectorPlacement) {
  CompoundFileWriter::Layout v4;
  v4.version = 4;
  CompoundFileWriter w(v4);
  w.AddStream(w.Root(), "Data", Pattern(5000));
  CompoundFile built = w.Build();
  Opened f(built.bytes);
  ASSERT_TRUE(f.ok);
  EXPECT_STREQ(f.file.getVersion(), "04 00");
  EXPECT_EQ(f.file.getBytesPerBlock(), 4096);
  EXPECT_EQ(f.file.getLongsPerBlock(), 1024);
  EXPECT_EQ(f.file.getMinisPerBlock(), 64);
  EXPECT_EQ(f.file.getDirCount(), 32);  // one 4,096-byte directory sector
  // Sector 0 begins at byte 4096: the FAT sector's first entry marks itself.
  EXPECT_EQ(f.file.getNextBlock(built.FatSectors()[0], false), -3);
  EXPECT_EQ(f.file.getNextBlock(-1, false), -1);
  EXPECT_EQ(f.file.getNextBlock(1 << 20, false), -1);
  EXPECT_EQ(f.file.getDirInfo(f.file.getDirCount()), nullptr);
  EXPECT_EQ(f.file.getDirInfo(-1), nullptr);
  OleCompFile empty;
  EXPECT_STREQ(empty.getVersion(), "");
  EXPECT_EQ(empty.getDirStartBlock(), -1);
}

TEST(OleCompFile, StreamOperations) {
  CompoundFileWriter w;
  w.AddStream(w.Root(), "Workbook", Pattern(100));
  w.AddStream(w.Root(), "Cutoff", Pattern(4096, 2));
  w.AddStream(w.Root(), "Below", Pattern(4095, 3));
  w.AddStream(w.Root(), "Empty", "");
  w.AddStream(w.Root(), "Long", Pattern(10000, 4));
  Opened f(w.Build().bytes);
  ASSERT_TRUE(f.ok);

  OleDirPath p = Path({"workbook"});  // any case
  std::unique_ptr<OleStream> s(f.file.OLEopenStream(&p));
  ASSERT_NE(s, nullptr);
  struct {
    int32_t offset;
    int whence;
    int32_t want;
  } seeks[] = {{10, 2, 90}, {-10, 2, 100}, {-5, 0, 0}, {500, 0, 100}, {20, 0, 20}, {5, 1, 25}, {0, 3, -1}};
  for (const auto& k : seeks) EXPECT_EQ(s->OLEseek(k.offset, k.whence), k.want) << k.offset << "," << k.whence;

  p = Path({"Cutoff"});
  std::unique_ptr<OleStream> cutoff(f.file.OLEopenStream(&p));
  p = Path({"Below"});
  std::unique_ptr<OleStream> below(f.file.OLEopenStream(&p));
  ASSERT_TRUE(cutoff && below);
  EXPECT_FALSE(cutoff->isMini());
  EXPECT_TRUE(below->isMini());

  // Across a sector boundary in one call, and past the end.
  p = Path({"Long"});
  std::unique_ptr<OleStream> longer(f.file.OLEopenStream(&p));
  ASSERT_NE(longer, nullptr);
  unsigned char buf[1000];
  ASSERT_EQ(longer->OLEseek(500, 0), 500);
  ASSERT_EQ(longer->OLEread(buf, 100), 100);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 100), Pattern(10000, 4).substr(500, 100));
  ASSERT_EQ(longer->OLEseek(9950, 0), 9950);
  EXPECT_EQ(longer->OLEread(buf, 1000), 50);
  EXPECT_EQ(longer->OLEread(buf, 1000), 0);

  EXPECT_EQ(f.Read({"Empty"}), "");
  EXPECT_EQ(f.Read({"Nothing"}), "<none>");
  EXPECT_EQ(f.Read({}), "<none>");
}

TEST(OleCompFile, PathsAndObjects) {
  CompoundFileWriter::Layout right;
  right.tree = testsupport::SiblingTree::kRightOnly;
  CompoundFileWriter w(right);
  w.AddStream(w.Root(), "Second", "root-level");
  int three = w.AddStorage(w.Root(), "Three");
  w.AddStream(three, "A1", "first");
  w.AddStream(three, "\x02OlePres000", "presentation");
  w.AddStream(three, "ZZZZZZZZZZZZ", "last");
  int two = w.AddStorage(w.Root(), "Two");
  w.AddStream(two, "AA", "first of two");
  w.AddStream(two, "BBB", "second of two");
  int one = w.AddStorage(w.Root(), "One");
  w.AddStream(one, "Only", "single");
  Opened f(w.Build().bytes);
  ASSERT_TRUE(f.ok);

  // A second name under a storage that does not exist is not the root's.
  OleDirPath p = Path({"Missing", "Second"});
  EXPECT_LT(f.file.getDirIndex(&p), 0);
  EXPECT_EQ(f.Read({"three", "a1"}), "first");

  auto object = [&](const char* storage) -> std::string {
    OleDirPath q = Path({storage});
    std::unique_ptr<OleStream> s(f.file.OLEopenObject(&q));
    if (!s) return "<none>";
    std::string out(static_cast<size_t>(s->GetStreamSize()), '\0');
    s->OLEread(reinterpret_cast<unsigned char*>(out.data()), static_cast<unsigned>(out.size()));
    return out;
  };
  EXPECT_EQ(object("Three"), "presentation");
  EXPECT_EQ(object("Two"), "first of two");
  EXPECT_EQ(object("One"), "single");
  EXPECT_EQ(object("Second"), "<none>");  // no child
}

// The byte limit of the standard stream, and whole reads.
TEST(OleCompFile, StandardStreamLimit) {
  CompoundFileWriter w;
  w.AddStream(w.Root(), "Data", Pattern(12000));
  Opened f(w.Build().bytes);
  ASSERT_TRUE(f.ok);
  for (int limit : {5000, -1, 0, 4096}) {
    OleDirPath p = Path({"Data"});
    std::unique_ptr<OleStream> s(f.file.OLEopenStream(&p));
    ZelOleStream in(s.get(), limit);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, Pattern(12000).substr(0, limit < 0 ? 12000 : size_t(limit))) << limit;
  }
}

TEST(OleCompFile, CopyToFileWritesAfterTheHeaderIntoAFreshFile) {
  std::string data = Pattern(30000);
  data[0] = 6;
  data[1] = 0;
  CompoundFileWriter w;
  w.AddStream(w.Root(), "Ole10Native", data);
  Opened f(w.Build().bytes);
  ASSERT_TRUE(f.ok);
  OleDirPath p = Path({"Ole10Native"});
  std::unique_ptr<OleStream> s(f.file.OLEopenStream(&p));
  ASSERT_NE(s, nullptr);
  fs::path target = testsupport::TempDir() / "copy.bin";
  // An older, longer file loses its tail.
  ASSERT_TRUE(testsupport::WriteFile(target, std::string(40000, 'x')));
  std::string path = target.string();
  EXPECT_TRUE(s->CopyToFile(reinterpret_cast<unsigned char*>(path.data())));
  EXPECT_EQ(testsupport::ReadFile(target), data.substr(6));
  // A write that fails is a failed copy.
  if (fs::exists("/dev/full")) {
    std::string full = "/dev/full";
    EXPECT_FALSE(s->CopyToFile(reinterpret_cast<unsigned char*>(full.data())));
  }
  std::string folder = testsupport::TempDir().string();
  EXPECT_FALSE(s->CopyToFile(reinterpret_cast<unsigned char*>(folder.data())));
}

TEST(OleCompFile, DetectsDocumentKinds) {
  struct Case {
    std::vector<std::pair<std::string, size_t>> streams;  // "a/b" paths
    int want;
  } cases[] = {
      {{{"WordDocument", 10}, {"Workbook", 10}}, 1},
      {{{"Workbook", 10}}, 2},
      {{{"Book", 10}}, 0},
      {{{"Current User", 19}, {"PowerPoint Document", 10}}, 0},
      {{{"Current User", 20}, {"PowerPoint Document", 10}}, 3},
      {{{"PP97_DUALSTORAGE/Current User", 5}, {"PP97_DUALSTORAGE/PowerPoint Document", 10}}, 3},
      {{{"PP97_DUALSTORAGE/Current User", 5}, {"Current User", 30}, {"PowerPoint Document", 10}}, 0},
      {{{"DocumentViewStyles", 10}}, 4},
      {{{"Other", 10}}, 0},
  };
  for (const Case& c : cases) {
    CompoundFileWriter w;
    int dual = -1;
    for (const auto& [name, size] : c.streams) {
      size_t slash = name.find('/');
      if (slash == std::string::npos) {
        w.AddStream(w.Root(), name, Pattern(size));
      } else {
        if (dual < 0) dual = w.AddStorage(w.Root(), name.substr(0, slash));
        w.AddStream(dual, name.substr(slash + 1), Pattern(size));
      }
    }
    std::istringstream in(w.Build().bytes);
    EXPECT_EQ(OleCompFile::detectOLEDocument(in), c.want) << c.streams.front().first;
  }
  std::istringstream junk(std::string(600, 'x'));
  EXPECT_EQ(OleCompFile::detectOLEDocument(junk), 0);
  std::istringstream shortIn(CompoundFileWriter().Build().bytes.substr(0, 300));
  EXPECT_FALSE(OleCompFile::isOLEUri(shortIn));
  std::istringstream whole(CompoundFileWriter().Build().bytes);
  EXPECT_TRUE(OleCompFile::isOLEUri(whole));

  // Through a URI: a local file, and one that does not exist.
  CompoundFileWriter w;
  w.AddStream(w.Root(), "Workbook", Pattern(10));
  const fs::path file = testsupport::TempDir() / "book.xls";
  ASSERT_TRUE(w.Build().Save(file));
  const ObraCommon::ZelUri uri(icu::UnicodeString::fromUTF8(file.string()), ObraCommon::ZelUri::URISTR_AUTO);
  const ObraCommon::ZelUri missing(icu::UnicodeString::fromUTF8((testsupport::TempDir() / "none.xls").string()),
                                   ObraCommon::ZelUri::URISTR_AUTO);
  EXPECT_TRUE(OleCompFile::isOLEUri(uri));
  EXPECT_EQ(OleCompFile::detectOLEDocument(uri), 2);
  EXPECT_FALSE(OleCompFile::isOLEUri(missing));
  EXPECT_EQ(OleCompFile::detectOLEDocument(missing), 0);
}

// Damaged files: each damage either refuses the open or leaves a stream
// that reads short; none reads outside the file or runs for ever.
struct Damage {
  const char* name;
  void (*apply)(CompoundFile&);
  bool opens;
  const char* stream;   // read after the open; null: nothing to read
  bool readsWhole;      // the stream still reads back whole
};

constexpr int kBig = 1;    // 9,000 bytes in sectors
constexpr int kSmall = 2;  // 600 bytes in the mini stream

TEST(OleCompFile, DamagedFiles) {
  const Damage damages[] = {
      {"sector shift 6", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 6); }, false, nullptr, false},
      {"sector shift 31", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 31); }, false, nullptr, false},
      {"sector shift 32", [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 32); }, false, nullptr, false},
      {"sector larger than the file",
       [](CompoundFile& f) { f.SetHeaderU16(hdr::kSectorShift, 20); }, false, nullptr, false},
      {"mini shift above sector shift",
       [](CompoundFile& f) { f.SetHeaderU16(hdr::kMiniSectorShift, 10); }, false, nullptr, false},
      {"mini shift 32", [](CompoundFile& f) { f.SetHeaderU16(hdr::kMiniSectorShift, 32); }, false, nullptr, false},
      {"FAT count beyond the file",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kFatSectors, 0x7FFFFFFF); }, false, nullptr, false},
      {"FAT count negative",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kFatSectors, 0x80000001u); }, false, nullptr, false},
      {"mini FAT count beyond the file",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kMiniFatSectors, 0x00800000); }, false, nullptr, false},
      {"DIFAT count beyond the file",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kDifatSectors, 0x00800000); }, false, nullptr, false},
      {"directory start -1",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kFirstDirectorySector, 0xFFFFFFFFu); }, false, nullptr, false},
      {"directory start past the file",
       [](CompoundFile& f) { f.SetHeaderU32(hdr::kFirstDirectorySector, 100000); }, false, nullptr, false},
      {"directory chain loops",
       [](CompoundFile& f) { f.SetFatEntry(f.DirectorySectors()[0], int32_t(f.DirectorySectors()[0])); },
       false, nullptr, false},
      {"directory chain reaches a free sector",
       [](CompoundFile& f) { f.SetFatEntry(f.DirectorySectors()[0], -1); }, false, nullptr, false},
      {"name longer than 64 bytes",
       [](CompoundFile& f) { f.SetEntryU16(f.DirIndex(kSmall), ent::kNameLength, 70); }, false, nullptr, false},
      {"header cut short", [](CompoundFile& f) { f.Truncate(511); }, false, nullptr, false},
      // The count bounds the walk; the first sector holds the chains.
      {"mini FAT chain loops on itself",
       [](CompoundFile& f) {
         f.SetHeaderU32(hdr::kMiniFatSectors, 3);
         f.SetFatEntry(f.MiniFatSectors()[0], int32_t(f.MiniFatSectors()[0]));
       },
       true, "Small", true},
      {"mini FAT chain reaches -1",
       [](CompoundFile& f) {
         f.SetHeaderU32(hdr::kMiniFatSectors, 2);
         f.SetFatEntry(f.MiniFatSectors()[0], -1);
       },
       false, nullptr, false},
      {"a negative DIFAT entry ends the table",
       [](CompoundFile& f) {
         f.SetHeaderU32(hdr::kFatSectors, 3);
         f.SetHeaderU32(hdr::kDifat + 4, 0xFFFFFFFFu);
       },
       true, "Big", true},
      {"stream chain loops",
       [](CompoundFile& f) { f.SetFatEntry(f.Chain(kBig)[3], int32_t(f.Chain(kBig)[1])); }, true, "Big", false},
      {"stream chain reaches a free sector",
       [](CompoundFile& f) { f.SetFatEntry(f.Chain(kBig)[3], -1); }, true, "Big", false},
      {"stream starts past the table",
       [](CompoundFile& f) { f.SetEntryU32(f.DirIndex(kBig), ent::kStartSector, 0x7FFFFF00); }, true, "Big",
       false},
      {"stream starts at -1",
       [](CompoundFile& f) { f.SetEntryU32(f.DirIndex(kBig), ent::kStartSector, 0xFFFFFFFFu); }, true, "Big",
       false},
      {"stream of 2 GiB or more",
       [](CompoundFile& f) { f.SetEntryU32(f.DirIndex(kBig), ent::kSize, 0xF2FF4DC8u); }, true, "Big", false},
      {"mini chain loops",
       [](CompoundFile& f) { f.SetMiniFatEntry(f.Chain(kSmall)[2], int32_t(f.Chain(kSmall)[0])); }, true,
       "Small", false},
      {"mini stream chain loops",
       [](CompoundFile& f) { f.SetFatEntry(f.Chain(0)[0], int32_t(f.Chain(0)[0])); }, true, "Small", false},
      {"mini sector past the mini stream",
       [](CompoundFile& f) { f.SetMiniFatEntry(f.Chain(kSmall)[1], 5000); }, true, "Small", false},
      {"sibling loop",
       [](CompoundFile& f) {
         for (int e : {kBig, kSmall}) f.SetEntryU32(f.DirIndex(e), ent::kRight, f.DirIndex(kBig));
         for (int e : {kBig, kSmall}) f.SetEntryU32(f.DirIndex(e), ent::kLeft, f.DirIndex(kSmall));
       },
       true, "Missing", false},
      {"sibling beyond the directory",
       [](CompoundFile& f) { f.SetEntryU32(f.DirIndex(kBig), ent::kLeft, 0x7FFFFFFF); }, true, "Small", true},
      {"file cut inside a stream", [](CompoundFile& f) { f.Truncate(f.bytes.size() - 700); }, true, "Big",
       false},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    CompoundFileWriter w;
    ASSERT_EQ(w.AddStream(w.Root(), "Big", Pattern(9000)), kBig);
    ASSERT_EQ(w.AddStream(w.Root(), "Small", Pattern(600, 2)), kSmall);
    CompoundFile built = w.Build();
    d.apply(built);
    Opened f(built.bytes);
    ASSERT_EQ(f.ok, d.opens);
    if (!d.stream) continue;
    const std::string whole = std::string(d.stream) == "Big" ? Pattern(9000) : Pattern(600, 2);
    std::string got = f.Read({d.stream});
    if (d.readsWhole) {
      EXPECT_EQ(got, whole);
    } else {
      EXPECT_NE(got, whole);
    }
    // Every other operation ends too.
    OleDirPath p = Path({d.stream});
    std::unique_ptr<OleStream> s(f.file.OLEopenObject(&p));
    EXPECT_LT(f.file.getDirIndex(&p), f.file.getDirCount());
  }
}

}  // namespace

namespace {

// Storages whose trees start at many places of one long sibling list: the
// names each finds are those its tree reaches, whether the lookup goes
// through an index or, once the indexes hold their bound, through the
// tree itself.
TEST(OleCompFile, LookupsInOverlappingTrees) {
  CompoundFileWriter::Layout right;
  right.tree = testsupport::SiblingTree::kRightOnly;
  CompoundFileWriter w(right);
  const int big = w.AddStorage(w.Root(), "Big");
  constexpr int kStreams = 1200, kStep = 100, kStorages = 10;
  std::vector<int> streams;
  for (int i = 0; i < kStreams; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "S%04d", i);
    streams.push_back(w.AddStream(big, name, name));
  }
  std::vector<int> storages;
  for (int k = 0; k < kStorages; ++k) {
    const std::string name = "T" + std::to_string(k);
    storages.push_back(w.AddStorage(w.Root(), name.c_str()));
    w.AddStream(storages.back(), "Own", "own");
  }
  CompoundFile built = w.Build();
  for (int k = 0; k < kStorages; ++k) {
    built.SetEntryU32(built.DirIndex(storages[size_t(k)]), ent::kChild, built.DirIndex(streams[size_t(k * kStep)]));
  }
  Opened f(built.bytes);
  ASSERT_TRUE(f.ok);
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < kStorages; ++k) {
      const std::string storage = "t" + std::to_string(k);
      SCOPED_TRACE(storage);
      for (int i : {0, k * kStep - 1, k * kStep, kStreams - 1}) {
        if (i < 0) continue;
        char name[16];
        std::snprintf(name, sizeof name, "s%04d", i);
        char stored[16];
        std::snprintf(stored, sizeof stored, "S%04d", i);
        EXPECT_EQ(f.Read({storage.c_str(), name}), i >= k * kStep ? stored : "<none>") << name;
      }
      EXPECT_EQ(f.Read({storage.c_str(), "own"}), "<none>");
    }
    EXPECT_EQ(f.Read({"big", "s0000"}), "S0000");
  }
}

}  // namespace
