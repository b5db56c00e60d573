// The compound-file writer of the tests (see compound_file_writer.h).
//
// Build() lays the file out in one pass: FAT sectors first, then DIFAT
// sectors, the directory, the mini FAT, the mini stream and the regular
// streams, each chain in consecutive sectors. The FAT is made just large
// enough to describe every sector including its own (or as large as the
// layout asks), and DIFAT sectors follow from the FAT's size.
#include "testsupport/compound_file_writer.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

#include "win32/utf16.h"

namespace testsupport {

namespace {

constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kHeaderSize = 512;

uint32_t DivUp(uint64_t a, uint64_t b) { return static_cast<uint32_t>((a + b - 1) / b); }

void Put16(std::string& s, uint64_t at, uint16_t v, bool big = false) {
  s[at + (big ? 1 : 0)] = static_cast<char>(v);
  s[at + (big ? 0 : 1)] = static_cast<char>(v >> 8);
}

void Put32(std::string& s, uint64_t at, uint32_t v, bool big = false) {
  for (int i = 0; i < 4; ++i) s[at + (big ? 3 - i : i)] = static_cast<char>(v >> (8 * i));
}

// The order siblings are kept in: shorter names first, then by upper-cased
// units.
bool NameLess(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = (a[i] >= 'a' && a[i] <= 'z') ? a[i] - 32 : a[i];
    char16_t y = (b[i] >= 'a' && b[i] <= 'z') ? b[i] - 32 : b[i];
    if (x != y) return x < y;
  }
  return false;
}

}  // namespace

uint64_t CompoundFile::DirEntryOffset(uint32_t dir_index) const {
  uint32_t per_sector = sector_size_ / 128;
  return SectorOffset(dir_sectors_.at(dir_index / per_sector)) + uint64_t{dir_index % per_sector} * 128;
}

int32_t CompoundFile::StartSector(int entry) const { return start_.at(entry); }

void CompoundFile::PutU32(uint64_t offset, uint32_t value) { Put32(bytes, offset, value, big_endian_); }

void CompoundFile::SetHeaderU16(size_t offset, uint16_t value) { Put16(bytes, offset, value, big_endian_); }
void CompoundFile::SetHeaderU32(size_t offset, uint32_t value) { Put32(bytes, offset, value, big_endian_); }

void CompoundFile::SetFatEntry(uint32_t sector, int32_t next) {
  uint32_t per_sector = sector_size_ / 4;
  PutU32(SectorOffset(fat_sectors_.at(sector / per_sector)) + uint64_t{sector % per_sector} * 4,
         static_cast<uint32_t>(next));
}

void CompoundFile::SetMiniFatEntry(uint32_t mini_sector, int32_t next) {
  uint32_t per_sector = sector_size_ / 4;
  PutU32(SectorOffset(minifat_sectors_.at(mini_sector / per_sector)) + uint64_t{mini_sector % per_sector} * 4,
         static_cast<uint32_t>(next));
}

void CompoundFile::SetEntryU16(uint32_t dir_index, size_t field, uint16_t value) {
  Put16(bytes, DirEntryOffset(dir_index) + field, value, big_endian_);
}

void CompoundFile::SetEntryU32(uint32_t dir_index, size_t field, uint32_t value) {
  Put32(bytes, DirEntryOffset(dir_index) + field, value, big_endian_);
}

void CompoundFile::SetEntryByte(uint32_t dir_index, size_t field, uint8_t value) {
  bytes[DirEntryOffset(dir_index) + field] = static_cast<char>(value);
}

void CompoundFile::SetEntryName(uint32_t dir_index, std::u16string_view units) {
  uint64_t at = DirEntryOffset(dir_index);
  for (size_t i = 0; i < 32; ++i) Put16(bytes, at + 2 * i, i < units.size() ? units[i] : 0, big_endian_);
}

void CompoundFile::FreeEntry(uint32_t dir_index) {
  uint64_t at = DirEntryOffset(dir_index);
  std::fill(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 128), '\0');
  for (size_t field : {cfb_entry::kLeft, cfb_entry::kRight, cfb_entry::kChild}) Put32(bytes, at + field, 0xFFFFFFFFu, big_endian_);
}

bool CompoundFile::Save(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

CompoundFileWriter::CompoundFileWriter(Layout layout) : layout_(std::move(layout)) {
  if (layout_.version != 3 && layout_.version != 4) throw std::invalid_argument("version must be 3 or 4");
  if (layout_.sector_shift != 0 && (layout_.sector_shift < 7 || layout_.sector_shift > 16))
    throw std::invalid_argument("sector shift must be 7 to 16");
  const uint32_t shift = layout_.sector_shift != 0 ? layout_.sector_shift : (layout_.version == 4 ? 12u : 9u);
  if (layout_.mini_sector_shift > shift) throw std::invalid_argument("mini sectors larger than sectors");
  nodes_.push_back(Node{u"Root Entry", 5, -1, {}, {}, 0, {}});
}

int CompoundFileWriter::AddStorage(int parent, std::string_view name, const ClassId& class_id) {
  auto units = win32::Utf8ToUtf16(name);
  if (!units || units->size() > 31 || nodes_.at(parent).type == 2) throw std::invalid_argument("bad storage");
  nodes_.push_back(Node{*units, 1, parent, {}, class_id, 0, {}});
  int id = static_cast<int>(nodes_.size()) - 1;
  nodes_[parent].children.push_back(id);
  return id;
}

int CompoundFileWriter::AddStream(int parent, std::string_view name, std::string bytes) {
  auto units = win32::Utf8ToUtf16(name);
  if (!units || units->size() > 31 || nodes_.at(parent).type == 2) throw std::invalid_argument("bad stream");
  nodes_.push_back(Node{*units, 2, parent, std::move(bytes), {}, 0, {}});
  int id = static_cast<int>(nodes_.size()) - 1;
  nodes_[parent].children.push_back(id);
  return id;
}

void CompoundFileWriter::SetClassId(int entry, const ClassId& class_id) { nodes_.at(entry).class_id = class_id; }
void CompoundFileWriter::SetStateBits(int entry, uint32_t bits) { nodes_.at(entry).state_bits = bits; }

CompoundFile CompoundFileWriter::Build() const {
  CompoundFile out;
  const uint32_t shift = layout_.sector_shift != 0 ? layout_.sector_shift : (layout_.version == 4 ? 12u : 9u);
  const uint32_t S = 1u << shift;
  const uint32_t kMiniSectorSize = 1u << layout_.mini_sector_shift;
  const uint32_t per_fat = S / 4;
  // Sectors smaller than the header: those that would overlap it stay unused.
  const uint32_t hidden = S < kHeaderSize ? kHeaderSize / S - 1 : 0;
  out.sector_size_ = S;
  out.big_endian_ = layout_.big_endian;
  const size_t n = nodes_.size();

  // Directory positions.
  out.dir_index_.assign(n, 0);
  {
    std::vector<uint32_t> empty = layout_.empty_slots;
    std::sort(empty.begin(), empty.end());
    uint32_t next = 1;
    for (size_t id = 1; id < n; ++id) {
      while (std::binary_search(empty.begin(), empty.end(), next)) ++next;
      out.dir_index_[id] = next++;
    }
    if (!empty.empty()) next = std::max(next, empty.back() + 1);
    uint32_t slots = std::max<uint32_t>(next, 1);
    uint32_t dir_sectors = DivUp(uint64_t{slots} * 128, S);
    out.dir_sectors_.resize(dir_sectors);
  }

  // Placement of stream data.
  out.in_mini_.assign(n, false);
  out.start_.assign(n, kEndOfChain);
  out.chains_.assign(n, {});
  uint32_t mini_count = 0;
  for (size_t id = 1; id < n; ++id) {
    const Node& node = nodes_[id];
    if (node.type != 2 || node.data.empty()) continue;
    if (node.data.size() < layout_.mini_stream_cutoff) {
      out.in_mini_[id] = true;
      uint32_t count = DivUp(node.data.size(), kMiniSectorSize);
      for (uint32_t k = 0; k < count; ++k) out.chains_[id].push_back(mini_count + k);
      out.start_[id] = static_cast<int32_t>(mini_count);
      mini_count += count;
    }
  }
  const uint32_t minifat_sectors = DivUp(uint64_t{mini_count} * 4, S);
  const uint32_t ministream_sectors = DivUp(uint64_t{mini_count} * kMiniSectorSize, S);
  uint64_t data_sectors = hidden + out.dir_sectors_.size() + minifat_sectors + ministream_sectors;
  for (size_t id = 1; id < n; ++id)
    if (nodes_[id].type == 2 && !out.in_mini_[id]) data_sectors += DivUp(nodes_[id].data.size(), S);

  auto difat_for = [&](uint32_t fat) { return fat > kHeaderDifatEntries ? DivUp(fat - kHeaderDifatEntries, per_fat - 1) : 0u; };
  uint32_t fat = 1;
  while (uint64_t{fat} * per_fat < data_sectors + fat + difat_for(fat)) ++fat;
  fat = std::max(fat, layout_.min_fat_sectors);
  const uint32_t difat = difat_for(fat);

  // Sector numbers.
  uint32_t next = hidden;
  for (uint32_t i = 0; i < fat; ++i) out.fat_sectors_.push_back(next++);
  for (uint32_t i = 0; i < difat; ++i) out.difat_sectors_.push_back(next++);
  for (auto& s : out.dir_sectors_) s = next++;
  for (uint32_t i = 0; i < minifat_sectors; ++i) out.minifat_sectors_.push_back(next++);
  for (uint32_t i = 0; i < ministream_sectors; ++i) out.chains_[0].push_back(next++);
  if (ministream_sectors) out.start_[0] = static_cast<int32_t>(out.chains_[0][0]);
  for (size_t id = 1; id < n; ++id) {
    if (nodes_[id].type != 2 || out.in_mini_[id] || nodes_[id].data.empty()) continue;
    uint32_t count = DivUp(nodes_[id].data.size(), S);
    out.start_[id] = static_cast<int32_t>(next);
    for (uint32_t k = 0; k < count; ++k) out.chains_[id].push_back(next++);
  }
  const uint32_t total = next;
  out.bytes.assign(std::max<uint64_t>((uint64_t{total} + 1) * S, kHeaderSize), '\0');
  std::string& b = out.bytes;

  // Header.
  static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(kSignature, kSignature + 8, b.begin());
  out.SetHeaderU16(cfb_header::kMinorVersion, 0x3E);
  out.SetHeaderU16(cfb_header::kMajorVersion, static_cast<uint16_t>(layout_.version));
  out.SetHeaderU16(0x1C, 0xFFFE);  // stored FF FE when the file is big-endian
  out.SetHeaderU16(cfb_header::kSectorShift, static_cast<uint16_t>(shift));
  out.SetHeaderU16(cfb_header::kMiniSectorShift, static_cast<uint16_t>(layout_.mini_sector_shift));
  out.SetHeaderU32(cfb_header::kDirectorySectors,
                   layout_.version == 4 ? static_cast<uint32_t>(out.dir_sectors_.size()) : 0);
  out.SetHeaderU32(cfb_header::kFatSectors, fat);
  out.SetHeaderU32(cfb_header::kFirstDirectorySector, out.dir_sectors_[0]);
  out.SetHeaderU32(cfb_header::kMiniStreamCutoff, layout_.mini_stream_cutoff);
  out.SetHeaderU32(cfb_header::kFirstMiniFatSector,
                   minifat_sectors ? out.minifat_sectors_[0] : static_cast<uint32_t>(kEndOfChain));
  out.SetHeaderU32(cfb_header::kMiniFatSectors, minifat_sectors);
  out.SetHeaderU32(cfb_header::kFirstDifatSector, difat ? out.difat_sectors_[0] : static_cast<uint32_t>(kEndOfChain));
  out.SetHeaderU32(cfb_header::kDifatSectors, difat);
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    out.SetHeaderU32(cfb_header::kDifat + 4 * i, i < fat ? out.fat_sectors_[i] : static_cast<uint32_t>(kFreeSector));

  // DIFAT sectors: per_fat - 1 FAT sector numbers, then the next DIFAT sector.
  for (uint32_t d = 0; d < difat; ++d) {
    uint64_t at = out.SectorOffset(out.difat_sectors_[d]);
    for (uint32_t k = 0; k + 1 < per_fat; ++k) {
      uint32_t index = kHeaderDifatEntries + d * (per_fat - 1) + k;
      out.PutU32(at + 4 * k, index < fat ? out.fat_sectors_[index] : static_cast<uint32_t>(kFreeSector));
    }
    out.PutU32(at + 4 * (per_fat - 1), d + 1 < difat ? out.difat_sectors_[d + 1] : static_cast<uint32_t>(kEndOfChain));
  }

  // FAT: everything free, then the marks and chains.
  for (uint32_t s : out.fat_sectors_)
    std::fill(b.begin() + static_cast<long>(out.SectorOffset(s)), b.begin() + static_cast<long>(out.SectorOffset(s) + S),
              '\xFF');
  auto chain = [&](const std::vector<uint32_t>& sectors) {
    for (size_t k = 0; k < sectors.size(); ++k)
      out.SetFatEntry(sectors[k], k + 1 < sectors.size() ? static_cast<int32_t>(sectors[k + 1]) : kEndOfChain);
  };
  for (uint32_t s : out.fat_sectors_) out.SetFatEntry(s, kFatSectorMark);
  for (uint32_t s : out.difat_sectors_) out.SetFatEntry(s, kDifatSectorMark);
  chain(out.dir_sectors_);
  chain(out.minifat_sectors_);
  for (size_t id = 0; id < n; ++id)
    if (!out.in_mini_[id]) chain(out.chains_[id]);

  // Mini FAT: everything free, then the mini chains.
  for (uint32_t s : out.minifat_sectors_)
    std::fill(b.begin() + static_cast<long>(out.SectorOffset(s)), b.begin() + static_cast<long>(out.SectorOffset(s) + S),
              '\xFF');
  for (size_t id = 1; id < n; ++id) {
    if (!out.in_mini_[id]) continue;
    const auto& c = out.chains_[id];
    for (size_t k = 0; k < c.size(); ++k)
      out.SetMiniFatEntry(c[k], k + 1 < c.size() ? static_cast<int32_t>(c[k + 1]) : kEndOfChain);
  }

  // Stream data.
  for (size_t id = 1; id < n; ++id) {
    const std::string& data = nodes_[id].data;
    if (nodes_[id].type != 2 || data.empty()) continue;
    uint32_t unit = out.in_mini_[id] ? kMiniSectorSize : S;
    for (size_t k = 0; k < out.chains_[id].size(); ++k) {
      uint64_t at;
      if (out.in_mini_[id]) {
        uint64_t offset = uint64_t{out.chains_[id][k]} * kMiniSectorSize;
        at = out.SectorOffset(out.chains_[0][offset / S]) + offset % S;
      } else {
        at = out.SectorOffset(out.chains_[id][k]);
      }
      size_t from = k * unit;
      size_t len = std::min<size_t>(unit, data.size() - from);
      std::copy(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + len),
                b.begin() + static_cast<long>(at));
    }
  }

  // Directory: every slot free first, then the entries with their links.
  for (uint32_t i = 0; i < out.dir_sectors_.size() * (S / 128); ++i) out.FreeEntry(i);
  std::vector<int32_t> left(n, kFreeSector), right(n, kFreeSector), child(n, kFreeSector);
  for (size_t id = 0; id < n; ++id) {
    std::vector<int> kids = nodes_[id].children;
    if (kids.empty()) continue;
    std::sort(kids.begin(), kids.end(), [&](int x, int y) { return NameLess(nodes_[x].name, nodes_[y].name); });
    auto dir = [&](int k) { return static_cast<int32_t>(out.dir_index_[k]); };
    switch (layout_.tree) {
      case SiblingTree::kRightOnly:
        for (size_t k = 0; k + 1 < kids.size(); ++k) right[kids[k]] = dir(kids[k + 1]);
        child[id] = dir(kids.front());
        break;
      case SiblingTree::kLeftOnly:
        for (size_t k = 1; k < kids.size(); ++k) left[kids[k]] = dir(kids[k - 1]);
        child[id] = dir(kids.back());
        break;
      case SiblingTree::kBalanced: {
        auto build = [&](auto&& self, size_t lo, size_t hi) -> int32_t {
          if (lo >= hi) return kFreeSector;
          size_t mid = lo + (hi - lo) / 2;
          left[kids[mid]] = self(self, lo, mid);
          right[kids[mid]] = self(self, mid + 1, hi);
          return dir(kids[mid]);
        };
        child[id] = build(build, 0, kids.size());
        break;
      }
    }
  }
  for (size_t id = 0; id < n; ++id) {
    const Node& node = nodes_[id];
    uint32_t d = out.dir_index_[id];
    out.SetEntryName(d, node.name);
    out.SetEntryU16(d, cfb_entry::kNameLength, static_cast<uint16_t>((node.name.size() + 1) * 2));
    out.SetEntryByte(d, cfb_entry::kType, node.type);
    out.SetEntryByte(d, cfb_entry::kColour, 1);
    out.SetEntryU32(d, cfb_entry::kLeft, static_cast<uint32_t>(left[id]));
    out.SetEntryU32(d, cfb_entry::kRight, static_cast<uint32_t>(right[id]));
    out.SetEntryU32(d, cfb_entry::kChild, static_cast<uint32_t>(child[id]));
    uint64_t at = out.DirEntryOffset(d);
    std::copy(node.class_id.begin(), node.class_id.end(), b.begin() + static_cast<long>(at + cfb_entry::kClassId));
    out.SetEntryU32(d, cfb_entry::kStateBits, node.state_bits);
    uint32_t size = id == 0 ? mini_count * kMiniSectorSize : static_cast<uint32_t>(node.data.size());
    out.SetEntryU32(d, cfb_entry::kStartSector, static_cast<uint32_t>(node.type == 1 ? 0 : out.start_[id]));
    out.SetEntryU32(d, cfb_entry::kSize, node.type == 1 ? 0 : size);
  }
  return out;
}

ClassId ParseClassId(std::string_view text) {
  std::string hex;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
  if (hex.size() != 32) throw std::invalid_argument("class id needs 32 hex digits");
  uint8_t raw[16];
  for (int i = 0; i < 16; ++i) raw[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  // The first three groups are stored little-endian.
  ClassId id{};
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) id[i] = raw[order[i]];
  return id;
}

}  // namespace testsupport
