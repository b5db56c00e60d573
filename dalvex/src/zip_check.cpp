// The zip validity check (see zip_check.h).
//
// The end-of-central-directory record is 22 bytes followed by a comment of
// at most 65,535 bytes, so it starts within the last 65,557 bytes of the
// file. That tail is read once and searched backwards for the record's
// signature; the hit nearest the end that has room for the whole record is
// the end record. Offsets are added in 64 bits, so a central directory
// offset near 4 GiB cannot wrap past the check.
#include "dalvex/zip_check.h"

#include <cstdint>
#include <vector>

#include "dalvex/portability.h"

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;  // "PK\3\4"
constexpr uint32_t kEndRecordSignature = 0x06054B50;    // "PK\5\6"
constexpr int64_t kEndRecordSize = 22;
constexpr int64_t kLongestTail = kEndRecordSize + 65535;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

struct OpenFile {
  KVB_FileHandle file;
  ~OpenFile() {
    if (file) KVB_FileClose(file);
  }
};

bool ReadAt(KVB_FileHandle file, int64_t offset, uint8_t* out, size_t n) {
  return KVB_FileSeek(file, static_cast<int32_t>(offset), SEEK_SET) == 0 && KVB_FileRead(out, 1, n, file) == n;
}

bool Check(const char* path) {
  OpenFile f{KVB_FileOpen(path, "rb")};
  if (f.file == nullptr) return false;
  int64_t size = KVB_FileTellSize(f.file);
  uint8_t head[4];
  if (size < 4 || !ReadAt(f.file, 0, head, 4) || Le32(head) != kLocalHeaderSignature) return false;

  int64_t tail_size = size < kLongestTail ? size : kLongestTail;
  int64_t tail_start = size - tail_size;
  std::vector<uint8_t> tail(static_cast<size_t>(tail_size));
  if (!ReadAt(f.file, tail_start, tail.data(), tail.size())) return false;
  for (int64_t at = tail_size - kEndRecordSize; at >= 0; --at) {
    const uint8_t* e = &tail[static_cast<size_t>(at)];
    if (Le32(e) != kEndRecordSignature) continue;
    uint16_t this_disk = Le16(e + 4), directory_disk = Le16(e + 6);
    uint16_t entries_here = Le16(e + 8), entries_total = Le16(e + 10);
    uint64_t directory_size = Le32(e + 12), directory_offset = Le32(e + 16);
    if (entries_here != entries_total || this_disk != 0 || directory_disk != 0) return false;
    return directory_offset + directory_size <= static_cast<uint64_t>(tail_start + at);
  }
  return false;
}

}  // namespace

extern "C" int isValidZipFile(const char* path) {
  if (path == nullptr) return 0;
  try {
    return Check(path) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
