// The block headers of RAR archives, read directly from the files: for RAR
// 1.5-4 every file header's flags, host, attributes and stored name bytes,
// gathered into one member per file (a file split over volumes is one
// member); for RAR 5 only whether the archive is a volume.
#pragma once

#include <cstdint>
#include <string>
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

// The format and main-header flags of the first volume.
ArchiveLayout ReadSignature(const std::string& path);

// Walks the RAR 1.5-4 block headers of `volumes` in order into `layout`.
void ReadMembers(const std::vector<std::string>& volumes, ArchiveLayout* layout);

}  // namespace unrar
