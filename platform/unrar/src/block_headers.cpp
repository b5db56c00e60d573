// Reads RAR block headers straight from the archive files. Every value read
// is checked where it is read (ReadAt, Cursor): a header that claims more
// bytes than it has, or a block that does not move forward, ends the walk
// and leaves the layout incomplete. Header checksums are not judged here:
// RAR 1.5/2.0 headers with comments cover only part of themselves, and the
// decoders check what they read.
#include "block_headers.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace unrar {

namespace {

constexpr char kRar4Signature[] = "Rar!\x1A\x07\x00";
constexpr char kRar5Signature[] = "Rar!\x1A\x07\x01\x00";
constexpr size_t kSfxSearch = 1 << 20;  // self-extracting stubs are smaller
// Most archives start with their signature: a first look this long finds it
// before a self-extracting stub is searched for. The main header's fields
// end well within this many bytes after the signature.
constexpr size_t kFirstLook = 1 << 12;
constexpr size_t kSignatureRoom = 128;
// Headers are read a window at a time: one read serves every header it
// holds, instead of two reads a block.
constexpr size_t kWindow = 1 << 16;

constexpr uint8_t kMainHeader = 0x73;
constexpr uint8_t kFileHeader = 0x74;
constexpr uint8_t kEndHeader = 0x7B;

constexpr uint16_t kMainVolume = 0x0001;
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kMainEncryptedHeaders = 0x0080;

constexpr uint16_t kFileSplitBefore = 0x0001;
constexpr uint16_t kFileSplitAfter = 0x0002;
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kFileDirectoryMask = 0x00E0;
constexpr uint16_t kFileLarge = 0x0100;
constexpr uint16_t kFileUnicode = 0x0200;
constexpr uint16_t kBlockHasData = 0x8000;

constexpr uint8_t kHostUnix = 3;

// An archive file read in place.
class File : public ByteSource {
 public:
  explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && fstat(fd_, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
  }
  ~File() override {
    if (fd_ >= 0) close(fd_);
  }
  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, size_t count, std::string* out) const override {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    if (count > kWindow) return Read(offset, count, out);
    if (offset < window_at_ || offset - window_at_ > window_.size() || count > window_.size() - (offset - window_at_)) {
      if (!Read(offset, static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - offset)), &window_)) {
        window_.clear();
        return false;
      }
      window_at_ = offset;
    }
    out->assign(window_, static_cast<size_t>(offset - window_at_), count);
    return true;
  }

 private:
  bool Read(uint64_t offset, size_t count, std::string* out) const {
    out->resize(count);
    size_t done = 0;
    while (done < count) {
      ssize_t n = pread(fd_, out->data() + done, count - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
  uint64_t size_ = 0;
  mutable std::string window_;  // the file's bytes from window_at_
  mutable uint64_t window_at_ = 0;
};

struct Block {
  uint8_t type = 0;
  uint16_t flags = 0;
  uint16_t header_size = 0;
  uint64_t data_size = 0;
  std::string header;  // the whole header
};

// The block at `offset`: its header and the size of the data after it.
bool ReadBlock(const ByteSource& file, uint64_t offset, Block* block) {
  std::string base;
  if (!file.ReadAt(offset, 7, &base)) return false;
  Cursor c(base, 2);
  c.U8(&block->type);
  c.U16(&block->flags);
  c.U16(&block->header_size);
  if (block->header_size < 7 || !file.ReadAt(offset, block->header_size, &block->header)) return false;
  block->data_size = 0;
  Cursor rest(block->header, 7);
  if (block->type == kFileHeader || block->type == 0x7A) {
    uint32_t packed = 0;
    if (!rest.U32(&packed)) return false;
    block->data_size = packed;
    if (block->flags & kFileLarge) {
      // High halves follow the fixed 25 bytes of the file header.
      Cursor high(block->header, 32);
      uint32_t high_packed = 0;
      if (!high.U32(&high_packed)) return false;
      block->data_size |= static_cast<uint64_t>(high_packed) << 32;
    }
  } else if (block->flags & kBlockHasData) {
    uint32_t added = 0;
    if (!rest.U32(&added)) return false;
    block->data_size = added;
  }
  return true;
}

void PutUtf8(uint32_t c, std::string* out) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = '?';
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The wide form of a RAR 1.5-4 name: after the NUL, a high byte, then
// 2-bit opcodes (four to a flag byte, highest first) giving UTF-16 units:
// 0 a low byte, 1 a low byte with the high byte, 2 both bytes, 3 a run
// copied from the narrow name (with a correction added to each byte and the
// high byte when the length byte has its top bit). The result has at most
// as many units as the narrow name has bytes.
std::string DecodeWideName(const std::string& narrow, const std::string& encoded) {
  std::u16string units;
  size_t at = 0;
  auto next = [&](uint8_t* b) {
    if (at >= encoded.size()) return false;
    *b = static_cast<uint8_t>(encoded[at++]);
    return true;
  };
  uint8_t high = 0, flags = 0;
  int bits = 0;
  if (!next(&high)) return std::string();
  while (units.size() < narrow.size()) {
    if (bits == 0) {
      if (!next(&flags)) break;
      bits = 8;
    }
    bits -= 2;
    uint8_t op = (flags >> bits) & 3, a = 0, b = 0;
    if (op == 0) {
      if (!next(&a)) break;
      units += static_cast<char16_t>(a);
    } else if (op == 1) {
      if (!next(&a)) break;
      units += static_cast<char16_t>(a | (high << 8));
    } else if (op == 2) {
      if (!next(&a) || !next(&b)) break;
      units += static_cast<char16_t>(a | (b << 8));
    } else {
      if (!next(&a)) break;
      size_t run = (a & 0x7F) + 2;
      uint8_t correction = 0;
      if ((a & 0x80) && !next(&correction)) break;
      for (size_t i = 0; i < run && units.size() < narrow.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(narrow[units.size()]);
        units += (a & 0x80) ? static_cast<char16_t>(static_cast<uint8_t>(c + correction) | (high << 8))
                            : static_cast<char16_t>(c);
      }
    }
  }
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    PutUtf8(c, &out);
  }
  return out;
}

bool ParseFileHeader(const Block& block, MemberHeader* m) {
  Cursor c(block.header, 7);
  uint32_t packed = 0, unpacked = 0, crc = 0, time = 0, attributes = 0;
  uint8_t host = 0, version = 0, method = 0;
  uint16_t name_size = 0;
  if (!c.U32(&packed) || !c.U32(&unpacked) || !c.U8(&host) || !c.U32(&crc) || !c.U32(&time) ||
      !c.U8(&version) || !c.U8(&method) || !c.U16(&name_size) || !c.U32(&attributes))
    return false;
  m->size = unpacked;
  m->crc = crc;
  if (block.flags & kFileLarge) {
    uint32_t high_packed = 0, high_unpacked = 0;
    if (!c.U32(&high_packed) || !c.U32(&high_unpacked)) return false;
    m->size |= static_cast<uint64_t>(high_unpacked) << 32;
  }
  std::string name;
  if (!c.Bytes(name_size, &name)) return false;
  m->unicode_flag = (block.flags & kFileUnicode) != 0;
  size_t nul = name.find('\0');
  m->wide_name = m->unicode_flag && nul != std::string::npos;
  m->name = nul == std::string::npos ? name : name.substr(0, nul);
  if (m->wide_name) m->name = DecodeWideName(m->name, name.substr(nul + 1));
  m->encrypted = (block.flags & kFileEncrypted) != 0;
  if ((block.flags & kFileDirectoryMask) == kFileDirectoryMask)
    m->kind = Kind::kFolder;
  else if (host == kHostUnix && (attributes & 0xF000) == 0xA000)
    m->kind = Kind::kSymlink;
  else
    m->kind = Kind::kFile;
  return true;
}

}  // namespace

ArchiveLayout ReadSignature(const ByteSource& file) {
  ArchiveLayout layout;
  std::string head;
  size_t at = std::string::npos;
  for (size_t look : {kFirstLook, kSfxSearch}) {
    size_t length = static_cast<size_t>(std::min<uint64_t>(file.size(), look));
    if (!file.ReadAt(0, length, &head)) return layout;
    at = head.find(std::string(kRar4Signature, 6));
    if ((at != std::string::npos && head.size() - at >= kSignatureRoom) || length == file.size()) break;
  }
  if (at == std::string::npos || head.size() - at < 8) return layout;
  layout.signature_offset = at;
  if (std::memcmp(head.data() + at, kRar5Signature, 8) == 0) {
    layout.format = Format::kRar5;
    // Main header: CRC32, size, type 1, header flags, [extra size], [data
    // size], archive flags (bit 0: volume).
    Cursor c(head, at + 8);
    uint32_t crc = 0;
    uint64_t size = 0, type = 0, flags = 0, skip = 0, archive_flags = 0;
    if (c.U32(&crc) && c.VarInt(&size) && c.VarInt(&type) && type == 1 && c.VarInt(&flags) &&
        (!(flags & 1) || c.VarInt(&skip)) && (!(flags & 2) || c.VarInt(&skip)) && c.VarInt(&archive_flags))
      layout.volume = (archive_flags & 1) != 0;
    return layout;
  }
  if (std::memcmp(head.data() + at, kRar4Signature, 7) != 0) return layout;
  layout.format = Format::kRar4;
  Block main;
  if (ReadBlock(file, at + 7, &main) && main.type == kMainHeader) {
    layout.volume = (main.flags & kMainVolume) != 0;
    layout.solid = (main.flags & kMainSolid) != 0;
    layout.encrypted_headers = (main.flags & kMainEncryptedHeaders) != 0;
  }
  return layout;
}

// RAR 5 file headers, for what libarchive does not tell: whether a file's
// data is encrypted (an encryption record in the header's extra area).
void ReadRar5Members(size_t volumes, const OpenVolume& open, ArchiveLayout* layout) {
  constexpr uint64_t kHeaderLimit = 1 << 21;
  for (size_t v = 0; v < volumes; ++v) {
    std::unique_ptr<ByteSource> source = open(v);
    const ByteSource& file = *source;
    uint64_t offset = (v == 0 ? layout->signature_offset : 0) + 8;
    while (offset < file.size()) {
      std::string head;
      if (!file.ReadAt(offset, static_cast<size_t>(std::min<uint64_t>(14, file.size() - offset)), &head)) return;
      Cursor c(head, 4);
      uint64_t size = 0;
      if (!c.VarInt(&size) || size == 0 || size > kHeaderLimit) return;
      size_t size_bytes = 1;
      while (size_bytes < 10 && (static_cast<uint8_t>(head[4 + size_bytes - 1]) & 0x80)) ++size_bytes;
      std::string header;
      if (!file.ReadAt(offset + 4 + size_bytes, static_cast<size_t>(size), &header)) return;
      Cursor h(header);
      uint64_t type = 0, flags = 0, extra = 0, data = 0;
      if (!h.VarInt(&type) || !h.VarInt(&flags) || ((flags & 1) && !h.VarInt(&extra)) ||
          ((flags & 2) && !h.VarInt(&data)) || extra > size)
        return;
      if (type == 4 || type == 5) break;  // encrypted headers, or the end
      if (type == 2 && !(flags & 0x0008)) {
        MemberHeader m;
        m.volume = v;
        m.offset = offset;
        Cursor records(header, static_cast<size_t>(size - extra));
        uint64_t record_size = 0, record_type = 0;
        size_t guard = 0;
        while (guard++ < 64 && records.VarInt(&record_size) && record_size > 0) {
          std::string body;
          if (!records.Bytes(static_cast<size_t>(std::min<uint64_t>(record_size, header.size())), &body)) break;
          Cursor r(body);
          if (r.VarInt(&record_type) && record_type == 1) m.encrypted = true;
        }
        layout->members.push_back(std::move(m));
      }
      uint64_t next = offset + 4 + size_bytes + size + data;
      if (next <= offset) return;
      offset = next;
    }
  }
}

void ReadMembers(size_t volumes, const OpenVolume& open, ArchiveLayout* layout) {
  layout->members.clear();
  layout->complete = false;
  if (layout->format == Format::kRar5) {
    ReadRar5Members(volumes, open, layout);
    return;
  }
  if (layout->format != Format::kRar4 || layout->encrypted_headers) return;
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t open_member = kNone;  // a member whose last piece said more follows
  bool all_clean = true;
  for (size_t v = 0; v < volumes; ++v) {
    std::unique_ptr<ByteSource> source = open(v);
    const ByteSource& file = *source;
    uint64_t offset = v == 0 ? layout->signature_offset : 0;
    std::string marker;
    if (!file.ReadAt(offset, 7, &marker) || std::memcmp(marker.data(), kRar4Signature, 7) != 0) {
      all_clean = false;
      break;
    }
    offset += 7;
    bool volume_clean = false;
    while (offset < file.size()) {
      Block block;
      if (!ReadBlock(file, offset, &block)) break;
      if (block.type == kMainHeader && (block.flags & kMainEncryptedHeaders)) break;
      if (block.type == kFileHeader) {
        MemberHeader m;
        if (!ParseFileHeader(block, &m)) break;
        m.volume = v;
        m.offset = offset;
        bool continues = (block.flags & kFileSplitBefore) != 0;
        if (continues && open_member != kNone) {
          // A further piece of the open member; it stays open while pieces follow.
          if (!(block.flags & kFileSplitAfter)) {
            layout->members[open_member].continues_into_missing = false;
            open_member = kNone;
          }
        } else {
          m.continued_from_missing = continues;
          m.split = (block.flags & (kFileSplitBefore | kFileSplitAfter)) != 0;
          m.continues_into_missing = (block.flags & kFileSplitAfter) != 0;
          layout->members.push_back(std::move(m));
          open_member = layout->members.back().continues_into_missing ? layout->members.size() - 1 : kNone;
        }
      }
      uint64_t next = offset + block.header_size + block.data_size;
      if (next <= offset || next > file.size()) break;  // data cut short, or no progress
      if (block.type == kEndHeader) {
        volume_clean = true;
        break;
      }
      offset = next;
      if (offset == file.size()) volume_clean = true;  // RAR 1.5/2.0 archives end without an end block
    }
    all_clean = all_clean && volume_clean;
    if (!volume_clean) break;
  }
  // A member still open after the last volume keeps continues_into_missing.
  layout->complete = all_clean;
}

ArchiveLayout ReadSignature(const std::string& path) { return ReadSignature(File(path)); }

void ReadMembers(const std::vector<std::string>& volumes, ArchiveLayout* layout) {
  ReadMembers(volumes.size(), [&](size_t v) { return std::make_unique<File>(volumes[v]); }, layout);
}

bool Cursor::Fits(size_t n) const { return at_ <= bytes_.size() && n <= bytes_.size() - at_; }

bool Cursor::Bytes(size_t n, std::string* out) {
  if (!Fits(n)) return false;
  out->assign(bytes_, at_, n);
  at_ += n;
  return true;
}

bool Cursor::VarInt(uint64_t* v) {
  *v = 0;
  for (int shift = 0; shift < 70 && at_ < bytes_.size(); shift += 7) {
    uint8_t b = static_cast<uint8_t>(bytes_[at_++]);
    *v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

}  // namespace unrar
