// The block headers of RAR archives, read straight from the archive files
// (or from bytes in memory, for the fuzzing harness and tests): for RAR
// 1.5-4 every file header's flags, host, attributes and stored name bytes,
// gathered into one member per file (a file split over volumes is one
// member); for RAR 5 only whether the archive is a volume.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "unrar/unrar.h"

namespace unrar {

enum class Format { kUnknown, kRar4, kRar5 };

struct MemberHeader {
  size_t volume = 0;            // index of the volume holding the first piece
  uint64_t offset = 0;          // offset of its file header in that volume
  std::string name;             // stored bytes; a wide name decoded to UTF-8
  bool unicode_flag = false;
  bool wide_name = false;       // Unicode flag with the encoded form after a NUL (decoded)
  bool encrypted = false;
  Kind kind = Kind::kFile;
  uint64_t size = 0;
  uint32_t crc = 0;             // CRC-32 of the data, checked for unsplit files
  bool split = false;           // the data lies in pieces over volumes
  bool continued_from_missing = false;  // first piece lies in a volume not given
  bool continues_into_missing = false;  // last piece says more follows, none does
};

struct ArchiveLayout {
  Format format = Format::kUnknown;
  uint64_t signature_offset = 0;  // > 0 for self-extracting archives
  bool volume = false;
  bool solid = false;
  bool encrypted_headers = false;
  bool complete = false;          // every volume walked to its end without damage
  std::vector<MemberHeader> members;
};

// Where headers are read from: an archive file, or bytes in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Exactly `count` bytes at `offset`, or false.
  virtual bool ReadAt(uint64_t offset, size_t count, std::string* out) const = 0;
};

// Bytes the caller keeps alive.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, size_t count, std::string* out) const override {
    if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
    out->assign(bytes_.substr(offset, count));
    return true;
  }

 private:
  std::string_view bytes_;
};

// Little-endian fields of one header, bounded by its bytes: a read that
// would pass the end, from wherever the cursor starts (even beyond the
// end), answers false and moves nothing.
class Cursor {
 public:
  explicit Cursor(const std::string& bytes, size_t at = 0) : bytes_(bytes), at_(at) {}
  bool U8(uint8_t* v) { return Take(1, v); }
  bool U16(uint16_t* v) { return Take(2, v); }
  bool U32(uint32_t* v) { return Take(4, v); }
  bool Bytes(size_t n, std::string* out);
  // A RAR 5 variable-length integer (7 bits a byte, at most 10 bytes).
  bool VarInt(uint64_t* v);

 private:
  // Compares before subtracting: at_ may lie beyond the end.
  bool Fits(size_t n) const;
  template <typename T>
  bool Take(size_t n, T* v) {
    if (!Fits(n)) return false;
    uint64_t value = 0;
    for (size_t i = 0; i < n; ++i) value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes_[at_ + i])) << (8 * i);
    *v = static_cast<T>(value);
    at_ += n;
    return true;
  }
  const std::string& bytes_;
  size_t at_;
};

// Opens volume `v` of a set; a walk holds one volume at a time.
using OpenVolume = std::function<std::unique_ptr<ByteSource>(size_t v)>;

// The format and main-header flags of the first volume.
ArchiveLayout ReadSignature(const ByteSource& first);
ArchiveLayout ReadSignature(const std::string& path);

// Walks the block headers of `volumes` volumes in order into `layout`.
void ReadMembers(size_t volumes, const OpenVolume& open, ArchiveLayout* layout);
void ReadMembers(const std::vector<std::string>& volumes, ArchiveLayout* layout);

}  // namespace unrar
