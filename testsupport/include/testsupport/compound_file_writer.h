// A writer of OLE2 compound files for tests that need self-made fixtures:
// the compound-file reader's own tests, and those of the readers built on
// it (Visio drawings, property sets, format detection).
//
// Describe the tree (storages, streams with their bytes, class ids), choose
// the layout (version 3 with 512-byte sectors or version 4 with 4,096-byte
// sectors, mini stream cutoff, sibling-tree shape, extra FAT sectors so that
// DIFAT sectors are needed, empty directory slots), and Build() gives a
// well-formed file. The result knows where everything lies, so a test can
// then damage exactly what it needs: a header field, a FAT or mini-FAT link,
// a directory field, or the file's length.
//
//   testsupport::CompoundFileWriter w;                       // version 3
//   int doc = w.AddStream(w.Root(), "VisioDocument", bytes);
//   int sub = w.AddStorage(w.Root(), "ObjectPool");
//   w.AddStream(sub, "\x01" "CompObj", other);
//   testsupport::CompoundFile file = w.Build();
//   file.SetFatEntry(file.StartSector(doc), file.StartSector(doc));  // a loop
//   file.Save(path);
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// Special sector numbers of the format.
constexpr int32_t kFreeSector = -1;
constexpr int32_t kEndOfChain = -2;
constexpr int32_t kFatSectorMark = -3;
constexpr int32_t kDifatSectorMark = -4;

// Offsets of the header fields a test may want to change.
namespace cfb_header {
constexpr size_t kMinorVersion = 0x18;
constexpr size_t kMajorVersion = 0x1A;
constexpr size_t kSectorShift = 0x1E;
constexpr size_t kMiniSectorShift = 0x20;
constexpr size_t kDirectorySectors = 0x28;
constexpr size_t kFatSectors = 0x2C;
constexpr size_t kFirstDirectorySector = 0x30;
constexpr size_t kMiniStreamCutoff = 0x38;
constexpr size_t kFirstMiniFatSector = 0x3C;
constexpr size_t kMiniFatSectors = 0x40;
constexpr size_t kFirstDifatSector = 0x44;
constexpr size_t kDifatSectors = 0x48;
constexpr size_t kDifat = 0x4C;  // 109 entries of 4 bytes
}  // namespace cfb_header

// Offsets of the fields inside a 128-byte directory entry.
namespace cfb_entry {
constexpr size_t kName = 0;  // 64 bytes of UTF-16LE
constexpr size_t kNameLength = 64;
constexpr size_t kType = 66;
constexpr size_t kColour = 67;
constexpr size_t kLeft = 68;
constexpr size_t kRight = 72;
constexpr size_t kChild = 76;
constexpr size_t kClassId = 80;
constexpr size_t kStateBits = 96;
constexpr size_t kStartSector = 116;
constexpr size_t kSize = 120;
}  // namespace cfb_entry

using ClassId = std::array<uint8_t, 16>;

// How the children of each storage are linked.
enum class SiblingTree {
  kBalanced,   // the middle child at the top, halves below it
  kRightOnly,  // a list through right siblings, in name order
  kLeftOnly,   // a list through left siblings, in reverse name order
};

// A built file with its layout, for reading and for damaging.
class CompoundFile {
 public:
  std::string bytes;

  uint32_t SectorSize() const { return sector_size_; }
  // File offset of sector n.
  uint64_t SectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * sector_size_; }
  // Directory position of an entry id from the writer (the root is 0).
  uint32_t DirIndex(int entry) const { return dir_index_.at(entry); }
  // File offset of the directory entry at a directory position.
  uint64_t DirEntryOffset(uint32_t dir_index) const;
  // First sector (a mini sector for a mini stream) of an entry.
  int32_t StartSector(int entry) const;
  bool InMiniStream(int entry) const { return in_mini_.at(entry); }
  // The regular sectors of an entry's chain (the root's: the mini stream).
  const std::vector<uint32_t>& Chain(int entry) const { return chains_.at(entry); }
  const std::vector<uint32_t>& FatSectors() const { return fat_sectors_; }
  const std::vector<uint32_t>& DifatSectors() const { return difat_sectors_; }
  const std::vector<uint32_t>& DirectorySectors() const { return dir_sectors_; }
  const std::vector<uint32_t>& MiniFatSectors() const { return minifat_sectors_; }

  // Damage switches.
  void SetHeaderU16(size_t offset, uint16_t value);
  void SetHeaderU32(size_t offset, uint32_t value);
  void SetFatEntry(uint32_t sector, int32_t next);
  void SetMiniFatEntry(uint32_t mini_sector, int32_t next);
  void SetEntryU16(uint32_t dir_index, size_t field, uint16_t value);
  void SetEntryU32(uint32_t dir_index, size_t field, uint32_t value);
  void SetEntryByte(uint32_t dir_index, size_t field, uint8_t value);
  // Writes raw UTF-16 units into an entry's name field (at most 32).
  void SetEntryName(uint32_t dir_index, std::u16string_view units);
  // Frees a directory entry: all zero, no name, links -1.
  void FreeEntry(uint32_t dir_index);
  void Truncate(size_t size) { bytes.resize(size); }

  bool Save(const std::filesystem::path& path) const;

 private:
  friend class CompoundFileWriter;
  void PutU32(uint64_t offset, uint32_t value);
  uint32_t sector_size_ = 512;
  bool big_endian_ = false;
  std::vector<uint32_t> dir_index_;
  std::vector<bool> in_mini_;
  std::vector<int32_t> start_;
  std::vector<std::vector<uint32_t>> chains_;
  std::vector<uint32_t> fat_sectors_, difat_sectors_, dir_sectors_, minifat_sectors_;
};

class CompoundFileWriter {
 public:
  struct Layout {
    int version = 3;                     // 3: 512-byte sectors; 4: 4,096-byte sectors
    uint32_t mini_stream_cutoff = 4096;  // written to the header and used for placement
    SiblingTree tree = SiblingTree::kBalanced;
    uint32_t min_fat_sectors = 0;  // pad the FAT with free entries up to this many sectors
    // Directory positions left empty (all zero) before the entries are placed;
    // position 0 is always the root.
    std::vector<uint32_t> empty_slots;
    // 7 to 16; 0 takes the version's (9 or 12). Below 9 the sectors that
    // would overlap the 512-byte header stay unused.
    uint32_t sector_shift = 0;
    uint32_t mini_sector_shift = 6;
    bool big_endian = false;  // every integer and name unit stored high byte first
  };

  CompoundFileWriter() : CompoundFileWriter(Layout{}) {}
  explicit CompoundFileWriter(Layout layout);

  // The root storage ("Root Entry").
  int Root() const { return 0; }
  // Names are UTF-8; control bytes such as "\x05" are kept as units.
  int AddStorage(int parent, std::string_view name, const ClassId& class_id = {});
  int AddStream(int parent, std::string_view name, std::string bytes);
  void SetClassId(int entry, const ClassId& class_id);
  void SetStateBits(int entry, uint32_t bits);

  CompoundFile Build() const;

 private:
  struct Node {
    std::u16string name;
    uint8_t type;  // 1 storage, 2 stream, 5 root
    int parent;
    std::string data;
    ClassId class_id{};
    uint32_t state_bits = 0;
    std::vector<int> children;
  };
  Layout layout_;
  std::vector<Node> nodes_;
};

// A class id from its text form "{01234567-89AB-CDEF-0123-456789ABCDEF}",
// in the byte order the files store.
ClassId ParseClassId(std::string_view text);

}  // namespace testsupport
