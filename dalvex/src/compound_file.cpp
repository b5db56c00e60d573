// The compound-file reader: opens OLE2 compound files (512- and 4,096-byte
// sectors), finds storages and streams below the root by name, and reads
// and positions streams. Glyphane opens drawings through it, the
// property-set reader reads summary streams with it, and the format detector
// inspects storages and streams.
//
// The open reads the header, the FAT (through the header's DIFAT and the
// DIFAT sectors), the mini FAT, the directory and the mini stream's own
// chain once; these tables belong to the root and never change afterwards,
// so child storages share them. Each stream resolves its chain when it is
// opened, so a seek is one table lookup, and reads go through a 1,024-byte
// buffer that is refilled by as few file reads as the sectors' layout
// allows.
//
// Every value read from the file is checked where it is read: the header's
// shifts and counts against the published format and the file's size,
// every sector number against the FAT, every chain and tree walk against
// revisits. Sector n lies at (n + 1) << sector shift; a special (negative)
// sector number is never sought. A file that fails a check is refused
// (null); a stream whose chain ends early reads short.
#include "dalvex/compound_file.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "compound_file_children.h"
#include "dalvex/portability.h"

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kEntrySize = 128;
constexpr int32_t kFreeSector = -1;
constexpr int32_t kEndOfChain = -2;
constexpr int32_t kFatSectorMark = -3;
constexpr int32_t kNoEntry = -1;
constexpr size_t kReadBufferSize = 1024;
constexpr size_t kNameBytes = 96;  // 31 units of up to 3 UTF-8 bytes, and a NUL
constexpr size_t kMaxNameUnits = 31;

enum EntryType : uint8_t { kEmpty = 0, kStorage = 1, kStream = 2, kRoot = 5 };

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// One directory entry, by its position in the directory chain. An empty
// entry (name length 0) has no name and links nowhere.
struct DirRecord {
  char name[kNameBytes];
  bool live;  // nonzero name length; an empty entry matches no name
  uint8_t type;
  int32_t left;
  int32_t right;
  int32_t child;
  uint8_t class_id[16];
  int32_t start;
  uint64_t size;
};

// What the root owns and its storages and streams share.
struct OleFile {
  KVB_FileHandle file = nullptr;
  int64_t file_size = 0;
  int64_t file_pos = -1;  // where the handle stands, -1 when unknown
  KVB_OleHeaderInfo header{};
  uint32_t sector_size = 0;
  uint32_t mini_sector_size = 0;
  std::vector<uint32_t> fat;
  std::vector<uint32_t> mini_fat;
  std::vector<DirRecord> dir;
  bool has_mini_stream = false;
  std::vector<uint32_t> mini_stream_chain;  // regular sectors of the mini stream

  ~OleFile() {
    if (file) KVB_FileClose(file);
  }

  // File offset of sector n; false for a special (negative) sector number.
  bool SectorOffset(int32_t sector, uint64_t* out) const {
    if (sector < 0) return false;
    *out = (uint64_t(uint32_t(sector)) + 1) << header.sector_shift;
    return true;
  }

  // Reads up to n bytes at offset; the count actually read.
  size_t ReadAt(uint64_t offset, void* out, size_t n) {
    if (n == 0) return 0;
    if (offset >= uint64_t(file_size)) return 0;
    if (file_pos != int64_t(offset)) {
      if (offset > uint64_t(INT32_MAX) || KVB_FileSeek(file, int32_t(offset), SEEK_SET) != 0) {
        file_pos = -1;
        return 0;
      }
      file_pos = int64_t(offset);
    }
    size_t got = KVB_FileRead(out, 1, n, file);
    file_pos = got == n ? file_pos + int64_t(got) : -1;
    return got;
  }

  // Reads one whole sector; false on a special number or a short read.
  bool ReadSector(int32_t sector, uint8_t* out) {
    uint64_t offset;
    return SectorOffset(sector, &offset) && ReadAt(offset, out, sector_size) == sector_size;
  }

  // The FAT's next sector after s; false when s is not a sector the FAT describes.
  bool FatNext(int32_t s, int32_t* next) const {
    if (s < 0 || size_t(s) >= fat.size()) return false;
    *next = int32_t(fat[size_t(s)]);
    return true;
  }
};

// Appends the little-endian 32-bit values of a sector to a table.
void AppendEntries(const std::vector<uint8_t>& sector, std::vector<uint32_t>* table) {
  for (size_t i = 0; i + 4 <= sector.size(); i += 4) table->push_back(Le32(&sector[i]));
}

// Decodes the UTF-16 name of a directory entry to UTF-8: at most 31 units,
// up to the first NUL unit, within the 64-byte field. An unpaired surrogate
// becomes U+FFFD.
void ConvertName(const uint8_t* field, uint16_t name_length, char* out) {
  size_t units = std::min<size_t>(std::min<size_t>(name_length, 64) / 2, kMaxNameUnits);
  size_t o = 0;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = Le16(field + 2 * i);
    if (c == 0) break;
    if (c >= 0xD800 && c <= 0xDBFF) {
      uint32_t low = i + 1 < units ? Le16(field + 2 * (i + 1)) : 0;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out[o++] = char(c);
    } else if (c < 0x800) {
      out[o++] = char(0xC0 | (c >> 6));
      out[o++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[o++] = char(0xE0 | (c >> 12));
      out[o++] = char(0x80 | ((c >> 6) & 0x3F));
      out[o++] = char(0x80 | (c & 0x3F));
    } else {
      out[o++] = char(0xF0 | (c >> 18));
      out[o++] = char(0x80 | ((c >> 12) & 0x3F));
      out[o++] = char(0x80 | ((c >> 6) & 0x3F));
      out[o++] = char(0x80 | (c & 0x3F));
    }
  }
  out[o] = '\0';
}

// One 128-byte directory entry; false when the file must be refused.
bool ParseEntry(const uint8_t* e, uint16_t sector_shift, DirRecord* r) {
  std::memset(r, 0, sizeof *r);
  r->left = r->right = r->child = kNoEntry;
  r->start = kEndOfChain;
  uint16_t name_length = Le16(e + 64);
  if (name_length >= 128) return false;
  if (name_length == 0) return true;
  r->live = true;
  ConvertName(e, name_length, r->name);
  r->type = e[66];
  r->left = int32_t(Le32(e + 68));
  r->right = int32_t(Le32(e + 72));
  r->child = int32_t(Le32(e + 76));
  if (r->type == kStorage || r->type == kRoot) std::memcpy(r->class_id, e + 80, 16);
  if (r->type == kStream || r->type == kRoot) {
    r->start = int32_t(Le32(e + 116));
    // Files with 512-byte sectors may leave junk in the high half of the size.
    uint64_t high = sector_shift == 9 ? 0 : Le32(e + 124);
    r->size = Le32(e + 120) | (high << 32);
  }
  return true;
}

bool ReadHeader(OleFile* f) {
  uint8_t h[kHeaderSize];
  if (f->ReadAt(0, h, kHeaderSize) != kHeaderSize) return false;
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0) return false;
  KVB_OleHeaderInfo& v = f->header;
  v.sector_shift = Le16(h + 0x1E);
  v.mini_sector_shift = Le16(h + 0x20);
  v.fat_sectors = Le32(h + 0x2C);
  v.first_directory_sector = int32_t(Le32(h + 0x30));
  v.mini_stream_cutoff = Le32(h + 0x38);
  v.first_mini_fat_sector = int32_t(Le32(h + 0x3C));
  v.mini_fat_sectors = Le32(h + 0x40);
  v.first_difat_sector = int32_t(Le32(h + 0x44));
  v.difat_sectors = Le32(h + 0x48);
  // Only the published format's sizes: 512- or 4,096-byte sectors, 64-byte mini sectors.
  if ((v.sector_shift != 9 && v.sector_shift != 12) || v.mini_sector_shift != 6) return false;
  f->sector_size = 1u << v.sector_shift;
  f->mini_sector_size = 1u << v.mini_sector_shift;
  // Every counted sector must be able to lie in the file: this bounds every
  // table the open allocates by the file's size.
  uint64_t size = uint64_t(f->file_size);
  if (f->sector_size > size) return false;
  for (uint32_t count : {v.fat_sectors, v.mini_fat_sectors, v.difat_sectors})
    if (uint64_t(count) * f->sector_size > size) return false;

  // FAT sectors named in the header.
  std::vector<uint8_t> sector(f->sector_size);
  f->fat.reserve(size_t(v.fat_sectors) * (f->sector_size / 4));
  size_t from_header = std::min<size_t>(v.fat_sectors, kHeaderDifatEntries);
  std::vector<int32_t> fat_sectors;
  for (size_t i = 0; i < from_header; ++i) fat_sectors.push_back(int32_t(Le32(h + 0x4C + 4 * i)));
  for (int32_t s : fat_sectors) {
    if (!f->ReadSector(s, sector.data())) return false;
    AppendEntries(sector, &f->fat);
  }
  if (v.fat_sectors <= kHeaderDifatEntries) return true;

  // Further FAT sectors named in the DIFAT chain: each DIFAT sector names
  // (sector size / 4 - 1) FAT sectors and then the next DIFAT sector.
  if (v.first_difat_sector < 0 || v.difat_sectors == 0) return false;
  std::vector<uint8_t> difat(f->sector_size);
  int32_t current = v.first_difat_sector;
  size_t remaining = v.fat_sectors - kHeaderDifatEntries;
  const size_t per_difat = f->sector_size / 4 - 1;
  while (remaining > 0) {
    if (!f->ReadSector(current, difat.data())) return false;
    for (size_t k = 0; k < per_difat && remaining > 0; ++k, --remaining) {
      if (!f->ReadSector(int32_t(Le32(&difat[4 * k])), sector.data())) return false;
      AppendEntries(sector, &f->fat);
    }
    int32_t next = int32_t(Le32(&difat[4 * per_difat]));
    if (remaining > 0 && (next < 0 || next == current)) return false;
    current = next;
  }
  return true;
}

bool ReadMiniFat(OleFile* f) {
  const KVB_OleHeaderInfo& v = f->header;
  if (v.mini_fat_sectors == 0) return true;
  std::vector<uint8_t> sector(f->sector_size);
  f->mini_fat.reserve(size_t(v.mini_fat_sectors) * (f->sector_size / 4));
  int32_t current = v.first_mini_fat_sector;
  for (uint32_t i = 0; i < v.mini_fat_sectors; ++i) {
    if (!f->ReadSector(current, sector.data())) return false;
    AppendEntries(sector, &f->mini_fat);
    if (!f->FatNext(current, &current)) return false;
  }
  return true;
}

// Reads the directory sector by sector along its chain. Every sector is
// visited once (a loop refuses the file) and must be whole.
bool ReadDirectory(OleFile* f) {
  std::vector<bool> visited(f->fat.size());
  std::vector<uint8_t> sector(f->sector_size);
  int32_t current = f->header.first_directory_sector;
  while (true) {
    if (current < 0 || size_t(current) >= f->fat.size() || visited[size_t(current)]) return false;
    visited[size_t(current)] = true;
    if (!f->ReadSector(current, sector.data())) return false;
    for (size_t at = 0; at < f->sector_size; at += kEntrySize) {
      f->dir.emplace_back();
      if (!ParseEntry(&sector[at], f->header.sector_shift, &f->dir.back())) return false;
    }
    int32_t next;
    if (!f->FatNext(current, &next)) return false;
    if (next == kEndOfChain) return true;
    current = next;
  }
}

// The regular sectors of a chain from start, at most `needed` of them.
// Stops early at an end mark; false on a sector the FAT does not describe,
// a special value inside the chain, or a sector visited twice.
bool RegularChain(const OleFile& f, int32_t start, uint64_t needed, std::vector<uint32_t>* out) {
  std::vector<bool> visited;
  int32_t current = start;
  while (out->size() < needed) {
    if (current == kEndOfChain || current == kFatSectorMark) return true;
    if (current < 0 || size_t(current) >= f.fat.size()) return false;
    if (visited.empty()) visited.resize(f.fat.size());
    if (visited[size_t(current)]) return false;
    visited[size_t(current)] = true;
    out->push_back(uint32_t(current));
    current = int32_t(f.fat[size_t(current)]);
  }
  return true;
}

bool MiniChain(const OleFile& f, int32_t start, uint64_t needed, std::vector<uint32_t>* out) {
  std::vector<bool> visited;
  int32_t current = start;
  while (out->size() < needed) {
    if (current == kEndOfChain || current == kFatSectorMark) return true;
    if (current < 0 || size_t(current) >= f.mini_fat.size()) return false;
    if (visited.empty()) visited.resize(f.mini_fat.size());
    if (visited[size_t(current)]) return false;
    visited[size_t(current)] = true;
    out->push_back(uint32_t(current));
    current = int32_t(f.mini_fat[size_t(current)]);
  }
  return true;
}

uint64_t UnitsFor(uint64_t bytes, uint32_t unit) { return (bytes + unit - 1) / unit; }

// The root entry (named "Root Entry" or of root type) and the mini stream's
// own chain. A damaged mini-stream chain is kept as far as it is sound:
// mini streams beyond it read short.
bool FindRoot(OleFile* f, int32_t* root_index) {
  for (size_t i = 0; i < f->dir.size(); ++i) {
    const DirRecord& r = f->dir[i];
    if (std::strcmp(r.name, "Root Entry") != 0 && r.type != kRoot) continue;
    if (r.child == kNoEntry) return false;
    *root_index = int32_t(i);
    if (r.type == kRoot && r.start != kFreeSector) {
      f->has_mini_stream = true;
      uint64_t needed = UnitsFor(r.size, f->sector_size);
      std::vector<uint32_t> chain;
      RegularChain(*f, r.start, needed, &chain);  // keeps the sound prefix
      f->mini_stream_chain = std::move(chain);
    }
    return true;
  }
  return false;
}

bool AsciiEqualFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// Searches the sibling tree below `from` in pre-order (entry, left subtree,
// right subtree), visiting each directory index at most once, so damaged
// trees (loops, shared subtrees) and long one-sided lists are walked in
// time bounded by the directory's size.
template <typename Match>
int32_t SearchSiblings(const OleFile& f, int32_t from, Match match) {
  const size_t capacity = f.dir.size();
  std::vector<bool> visited(capacity);
  std::vector<int32_t> pending{from};
  while (!pending.empty()) {
    int32_t index = pending.back();
    pending.pop_back();
    if (index < 0 || size_t(index) >= capacity || visited[size_t(index)]) continue;
    visited[size_t(index)] = true;
    const DirRecord& r = f.dir[size_t(index)];
    if (r.live && match(r)) return index;
    pending.push_back(r.right);
    pending.push_back(r.left);
  }
  return kNoEntry;
}

}  // namespace

struct KVB_OleStorageRecord {
  OleFile* file;
  int32_t entry;
  int32_t open_children;
  KVB_OleStorageRecord* parent;
};

struct KVB_OleStreamRecord {
  KVB_OleStorageRecord* storage;
  int32_t size;
  int32_t file_pos;  // stream offset just behind the buffered bytes
  bool mini;
  std::vector<uint32_t> chain;  // sectors, or mini sectors for a mini stream
  int32_t buffered;             // bytes in the buffer
  int32_t cursor;               // bytes of them already delivered
  uint8_t buffer[kReadBufferSize];
  int32_t entry = kNoEntry;  // its directory entry
};

namespace {

// Where stream offset p lies in the file and how many bytes of its unit
// follow; false when the chain does not reach p.
bool Locate(const KVB_OleStreamRecord& s, uint64_t p, uint64_t* offset, uint64_t* length) {
  const OleFile& f = *s.storage->file;
  if (!s.mini) {
    uint64_t index = p / f.sector_size;
    if (index >= s.chain.size()) return false;
    uint64_t within = p % f.sector_size;
    if (!f.SectorOffset(int32_t(s.chain[index]), offset)) return false;
    *offset += within;
    *length = f.sector_size - within;
    return true;
  }
  uint64_t index = p / f.mini_sector_size;
  if (index >= s.chain.size()) return false;
  uint64_t in_mini = uint64_t(s.chain[index]) * f.mini_sector_size + p % f.mini_sector_size;
  uint64_t sector = in_mini / f.sector_size;
  if (sector >= f.mini_stream_chain.size()) return false;
  if (!f.SectorOffset(int32_t(f.mini_stream_chain[sector]), offset)) return false;
  *offset += in_mini % f.sector_size;
  *length = f.mini_sector_size - p % f.mini_sector_size;
  return true;
}

// Whether the stream can be positioned at p: p is within the chain, or is
// the end of the chain on a unit boundary (where reads deliver nothing).
bool CanPosition(const KVB_OleStreamRecord& s, uint64_t p) {
  const OleFile& f = *s.storage->file;
  uint32_t unit = s.mini ? f.mini_sector_size : f.sector_size;
  uint64_t index = p / unit;
  if (index == s.chain.size()) return true;  // reads there deliver nothing
  if (index > s.chain.size()) return false;
  uint64_t offset, length;
  return Locate(s, p, &offset, &length);
}

// Refills the buffer from the file-side position: at most 1,024 bytes, never
// past the stream's size. Units that lie one behind the other in the file
// are read by one file read. Stops early where the chain or the file ends.
int32_t Refill(KVB_OleStreamRecord* s) {
  OleFile& f = *s->storage->file;
  s->buffered = s->cursor = 0;
  uint64_t start = uint64_t(s->file_pos);
  uint64_t want = std::min<uint64_t>(kReadBufferSize, uint64_t(s->size) - std::min<uint64_t>(start, s->size));
  uint64_t filled = 0;   // bytes read into the buffer so far
  uint64_t run_at = 0;   // file offset of the pending run
  uint64_t run_len = 0;  // its length; it goes to buffer + filled
  bool stopped = false;
  auto flush = [&]() {
    if (run_len == 0) return;
    size_t got = f.ReadAt(run_at, s->buffer + filled, size_t(run_len));
    filled += got;
    if (got < run_len) stopped = true;
    run_len = 0;
  };
  for (uint64_t p = start; p < start + want && !stopped;) {
    uint64_t offset, length;
    if (!Locate(*s, p, &offset, &length)) break;
    length = std::min(length, start + want - p);
    if (run_len > 0 && offset != run_at + run_len) flush();
    if (stopped) break;
    if (run_len == 0) run_at = offset;
    run_len += length;
    p += length;
  }
  if (!stopped) flush();
  s->buffered = int32_t(filled);
  s->file_pos = int32_t(start + filled);
  return s->buffered;
}

void DestroyStream(KVB_OleStreamRecord* s) {
  s->~KVB_OleStreamRecord();
  KVB_free(s);
}

void DestroyRoot(KVB_OleStorageRecord* root) {
  delete root->file;
  KVB_free(root);
}

KVB_OleStorageRecord* NewStorage(OleFile* file, int32_t entry, KVB_OleStorageRecord* parent) {
  auto* s = static_cast<KVB_OleStorageRecord*>(KVB_malloc(sizeof(KVB_OleStorageRecord)));
  if (s == nullptr) return nullptr;
  *s = KVB_OleStorageRecord{file, entry, 0, parent};
  return s;
}

}  // namespace

extern "C" {

KVB_OleStorage* KVB_2OLEopen(const char* path) {
  if (path == nullptr) return nullptr;
  OleFile* f = nullptr;
  try {
    f = new OleFile;
    f->file = KVB_FileOpen(path, "rb");
    int32_t root_index = kNoEntry;
    if (f->file != nullptr) f->file_size = KVB_FileTellSize(f->file);
    if (f->file == nullptr || f->file_size < 0 || !ReadHeader(f) || !ReadMiniFat(f) || !ReadDirectory(f) ||
        !FindRoot(f, &root_index)) {
      delete f;
      return nullptr;
    }
    KVB_OleStorageRecord* root = NewStorage(f, root_index, nullptr);
    if (root == nullptr) delete f;
    return root;
  } catch (...) {
    delete f;
    return nullptr;
  }
}

int KVB_2OLEclose(KVB_OleStorage* root) {
  if (root == nullptr || root->parent != nullptr) return 0;
  if (root->open_children > 0) return 4096;
  DestroyRoot(root);
  return 1;
}

KVB_OleStorage* KVB_2OLEopenStorage(KVB_OleStorage* parent, const char* name) {
  if (parent == nullptr || name == nullptr) return nullptr;
  try {
    const OleFile& f = *parent->file;
    if (size_t(parent->entry) >= f.dir.size()) return nullptr;
    int32_t child = f.dir[size_t(parent->entry)].child;
    if (child == kNoEntry) return nullptr;
    int32_t found = SearchSiblings(f, child, [&](const DirRecord& r) { return std::strcmp(r.name, name) == 0; });
    if (found == kNoEntry) return nullptr;
    KVB_OleStorageRecord* storage = NewStorage(parent->file, found, parent);
    if (storage != nullptr) ++parent->open_children;
    return storage;
  } catch (...) {
    return nullptr;
  }
}

int KVB_2OLEcloseStorage(KVB_OleStorage* storage) {
  if (storage == nullptr || storage->parent == nullptr || storage->open_children > 0) return 0;
  --storage->parent->open_children;
  KVB_free(storage);
  return 1;
}

KVB_OleStream* KVB_2OLEopenStream(KVB_OleStorage* storage, const char* name) {
  if (storage == nullptr || name == nullptr) return nullptr;
  KVB_OleStreamRecord* s = nullptr;
  try {
    const OleFile& f = *storage->file;
    if (size_t(storage->entry) >= f.dir.size()) return nullptr;
    int32_t child = f.dir[size_t(storage->entry)].child;
    if (child == kNoEntry) return nullptr;
    int32_t found = SearchSiblings(f, child, [&](const DirRecord& r) { return AsciiEqualFolded(r.name, name); });
    if (found == kNoEntry) return nullptr;
    const DirRecord& r = f.dir[size_t(found)];
    if (r.type != kStream || r.size > uint64_t(INT32_MAX)) return nullptr;
    bool mini = r.size < f.header.mini_stream_cutoff;
    if (mini && r.size > 0 && !f.has_mini_stream) return nullptr;

    void* memory = KVB_malloc(sizeof(KVB_OleStreamRecord));
    if (memory == nullptr) return nullptr;
    s = new (memory) KVB_OleStreamRecord{storage, int32_t(r.size), 0, mini, {}, 0, 0, {}};
    bool sound = mini ? MiniChain(f, r.start, UnitsFor(r.size, f.mini_sector_size), &s->chain)
                      : RegularChain(f, r.start, UnitsFor(r.size, f.sector_size), &s->chain);
    s->entry = found;
    if (!sound || !CanPosition(*s, 0)) {
      DestroyStream(s);
      return nullptr;
    }
    ++storage->open_children;
    return s;
  } catch (...) {
    if (s != nullptr) DestroyStream(s);
    return nullptr;
  }
}

int KVB_2OLEreadStream(KVB_OleStream* stream, void* buffer, int n) {
  if (stream == nullptr || buffer == nullptr || n <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int delivered = 0;
  while (delivered < n) {
    if (stream->cursor >= stream->buffered && Refill(stream) == 0) break;
    int take = std::min(n - delivered, stream->buffered - stream->cursor);
    std::memcpy(out + delivered, stream->buffer + stream->cursor, size_t(take));
    stream->cursor += take;
    delivered += take;
  }
  return delivered;
}

int KVB_2OLEseekStream(KVB_OleStream* stream, int offset, int whence) {
  if (stream == nullptr) return -1;
  int64_t here = int64_t(stream->file_pos) - (stream->buffered - stream->cursor);
  int64_t target;
  switch (whence) {
    case 0: target = offset; break;
    case 1: target = here + offset; break;
    case 2: target = int64_t(stream->size) + offset; break;
    default: return -1;
  }
  int64_t buffer_start = int64_t(stream->file_pos) - stream->buffered;
  if (target >= buffer_start && target <= stream->file_pos) {
    stream->cursor = int32_t(target - buffer_start);
    return int(target);
  }
  target = std::clamp<int64_t>(target, 0, stream->size);
  if (!CanPosition(*stream, uint64_t(target))) return -1;
  stream->file_pos = int32_t(target);
  stream->buffered = stream->cursor = 0;
  return int(target);
}

int KVB_2OLEcloseStream(KVB_OleStream* stream) {
  if (stream == nullptr) return 0;
  --stream->storage->open_children;
  DestroyStream(stream);
  return 1;
}

int KVB_2OLEGetClassID(KVB_OleStorage* storage, void* out) {
  if (storage == nullptr || out == nullptr) return 0;
  const OleFile& f = *storage->file;
  if (storage->entry < 0 || size_t(storage->entry) >= f.dir.size()) return 0;
  std::memcpy(out, f.dir[size_t(storage->entry)].class_id, 16);
  return 1;
}

int KVB_2OLEGetHeaderInfo(KVB_OleStorage* storage, KVB_OleHeaderInfo* out) {
  if (storage == nullptr || out == nullptr) return 0;
  *out = storage->file->header;
  return 1;
}

int KVB_2OLEGetStreamSize(KVB_OleStream* stream) { return stream ? stream->size : -1; }

int KVB_2OLEGetStreamName(KVB_OleStream* stream, char* out, int size) {
  if (stream == nullptr || out == nullptr || size <= 0) return 0;
  out[0] = '\0';
  const OleFile& f = *stream->storage->file;
  if (stream->entry < 0 || size_t(stream->entry) >= f.dir.size()) return 0;
  const char* name = f.dir[size_t(stream->entry)].name;
  size_t length = std::strlen(name);
  if (length >= size_t(size)) return 0;
  std::memcpy(out, name, length + 1);
  return 1;
}

}  // extern "C"

namespace dalvex {

std::vector<OleChild> ListChildren(KVB_OleStorage* storage) {
  std::vector<OleChild> children;
  if (storage == nullptr) return children;
  const OleFile& f = *storage->file;
  if (size_t(storage->entry) >= f.dir.size()) return children;
  SearchSiblings(f, f.dir[size_t(storage->entry)].child, [&](const DirRecord& r) {
    children.push_back(OleChild{r.name, r.type});
    return false;
  });
  return children;
}

}  // namespace dalvex
