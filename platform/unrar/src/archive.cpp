// The archive reader behind unrar::Archive: one walk over the members of a
// RAR archive, from libarchive or from libunarr, never both at once.
//
// Choosing the decoder (RAR 1.5-4 only): the archive is read once.
// libarchive reads a single-file archive until it fails (a header it cannot
// read, data it cannot unpack or whose CRC-32 is wrong); from the member it
// failed on, libunarr reads the rest. A member is unpacked by one decoder
// only: when libarchive fails inside a member's data, what it wrote is cut
// off again and libunarr unpacks the member whole. Volume sets are read by
// libarchive alone. Only when libarchive cannot open a single-file archive
// at all are both decoders tried over every member's data into nothing, and
// the one that delivered more members reads it.
//
// Walks are bounded: libarchive must move forward in the input between two
// headers (two fuzzed RAR 5 files answer the same failed header forever),
// and no entry may give more data than its header declares.
//
// A libarchive reader left inside a member (its data failed, or was cut off)
// is not asked for the next header: its RAR 5 reader keeps the unread pieces
// of that member as pointers into its window, hands them out as the next
// member's first data, and frees the window under them when the next header
// declares a larger one. A new reader is opened instead and skips to the
// member after, which costs nothing for an archive read without a failure.
//
// libunarr is opened on its first use: most archives never need it, and
// mapping it costs every process that reads one.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <unarr.h>
#include <unistd.h>
#include <zlib.h>

#include "block_headers.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

constexpr size_t kBlock = 1 << 16;
constexpr size_t kMaxEntries = 1 << 20;
// Headers a walk may skip again over all its reopenings, so that an archive
// of many failing members cannot make it quadratic.
constexpr size_t kMaxSkippedAgain = 1 << 16;

bool WriteAll(int fd, const void* data, size_t size) {
  if (fd < 0) return true;  // a pass that only reads
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// UTF-32 code points (wchar_t here) as UTF-8; values that are no
// character become "?".
std::string WideToUtf8(const wchar_t* wide) {
  std::string out;
  for (; *wide != 0; ++wide) {
    uint32_t c = static_cast<uint32_t>(*wide);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = '?';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The libunarr functions the walk uses, from the library opened once for
// the process and kept; null when it cannot be opened (no archive then
// falls back to it).
struct Unarr {
  decltype(&ar_open_file) open_file;
  decltype(&ar_open_rar_archive) open_rar_archive;
  decltype(&ar_close_archive) close_archive;
  decltype(&ar_close) close;
  decltype(&ar_parse_entry) parse_entry;
  decltype(&ar_entry_get_offset) entry_get_offset;
  decltype(&ar_entry_get_name) entry_get_name;
  decltype(&ar_entry_get_size) entry_get_size;
  decltype(&ar_entry_uncompress) entry_uncompress;
};

template <typename Fn>
bool Bind(void* library, const char* name, Fn* fn) {
  *fn = reinterpret_cast<Fn>(dlsym(library, name));
  return *fn != nullptr;
}

const Unarr* LoadUnarr() {
  static const Unarr* const loaded = []() -> const Unarr* {
    void* library = dlopen(UNARR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static Unarr u;
    if (Bind(library, "ar_open_file", &u.open_file) && Bind(library, "ar_open_rar_archive", &u.open_rar_archive) &&
        Bind(library, "ar_close_archive", &u.close_archive) && Bind(library, "ar_close", &u.close) &&
        Bind(library, "ar_parse_entry", &u.parse_entry) &&
        Bind(library, "ar_entry_get_offset", &u.entry_get_offset) &&
        Bind(library, "ar_entry_get_name", &u.entry_get_name) &&
        Bind(library, "ar_entry_get_size", &u.entry_get_size) &&
        Bind(library, "ar_entry_uncompress", &u.entry_uncompress))
      return &u;
    return nullptr;
  }();
  return loaded;
}

}  // namespace

struct Archive::Impl {
  std::vector<std::string> volumes;
  ArchiveLayout layout;
  Decoder decoder = Decoder::kNone;

  // libarchive
  struct archive* la = nullptr;
  struct archive_entry* la_entry = nullptr;
  int pending = 0;         // 1: the first header was read by Open; 0 none
  int64_t last_position = -1;
  bool la_inside = false;  // left inside a member's data: reopen before the next header
  size_t skipped_again = 0;

  // libunarr
  const Unarr* unarr = nullptr;  // set before us and ua
  ar_stream* us = nullptr;
  ar_archive* ua = nullptr;
  bool ua_dead = false;
  bool ua_has_entry = false;
  int64_t ua_offset = -1;

  size_t index = 0;        // members delivered so far
  bool may_fall_back = false;  // libunarr may take over from libarchive
  Entry current;
  bool have_current = false;
  bool current_unreadable = false;  // continued from or into a missing volume, or not found
  const MemberHeader* current_header = nullptr;
  // The block members are unpacked through, made on the first member and
  // kept for the archive's life: it is written before it is read.
  std::unique_ptr<char[]> block;

  char* Block() {
    if (block == nullptr) block = std::make_unique_for_overwrite<char[]>(kBlock);
    return block.get();
  }

  void CloseDecoder() {
    if (la != nullptr) archive_read_free(la);
    la = nullptr;
    la_entry = nullptr;
    pending = 0;
    last_position = -1;
    la_inside = false;
    if (ua != nullptr) unarr->close_archive(ua);
    if (us != nullptr) unarr->close(us);
    ua = nullptr;
    us = nullptr;
    ua_dead = false;
    ua_has_entry = false;
    ua_offset = -1;
    index = 0;
    may_fall_back = false;
    have_current = false;
    current_unreadable = false;
  }

  const MemberHeader* HeaderAt(size_t i) const {
    return layout.format == Format::kRar4 && i < layout.members.size() ? &layout.members[i] : nullptr;
  }

  // Hands the walk from libarchive to libunarr, at the same member; false
  // when libunarr cannot open the archive.
  bool FallBack() {
    if (!may_fall_back || decoder != Decoder::kLibarchive) return false;
    may_fall_back = false;
    if (la != nullptr) archive_read_free(la);
    la = nullptr;
    la_entry = nullptr;
    pending = 0;
    decoder = Decoder::kLibunarr;
    ua_dead = !OpenUnarr();
    return !ua_dead;
  }

  // libunarr over the first volume; false when it cannot read it.
  bool OpenUnarr() {
    unarr = LoadUnarr();
    if (unarr == nullptr) return false;
    us = unarr->open_file(volumes.front().c_str());
    ua = us != nullptr ? unarr->open_rar_archive(us) : nullptr;
    return ua != nullptr;
  }

  int OpenDecoder(Decoder which) {
    CloseDecoder();
    decoder = which;
    if (which == Decoder::kLibarchive) {
      la = archive_read_new();
      if (la == nullptr) return kCantOpen;
      archive_read_support_format_rar(la);
      archive_read_support_format_rar5(la);
      std::vector<const char*> names;
      for (const std::string& v : volumes) names.push_back(v.c_str());
      names.push_back(nullptr);
      if (archive_read_open_filenames(la, names.data(), kBlock) != ARCHIVE_OK) return kCantOpen;
      // Up to the first file header: what fails before it cannot be opened.
      int rc = ReadHeader();
      if (rc == kDamaged) return kCantOpen;
      pending = rc == 0 ? 1 : 2;  // 2: the archive holds no member
      return 0;
    }
    return OpenUnarr() ? 0 : kCantOpen;
  }

  // libarchive's next header: 0, kEnd or kDamaged.
  int ReadHeader() {
    int rc = archive_read_next_header(la, &la_entry);
    if (rc == ARCHIVE_EOF) return kEnd;
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) return kDamaged;
    int64_t position = archive_filter_bytes(la, -1);
    if (position <= last_position) return kDamaged;
    last_position = position;
    return 0;
  }

  void FillFromLibarchive(Entry* e) {
    // The UTF-8 form needs no locale for RAR 5 names; RAR 1.5-4 wide names
    // are held as UTF-16 and come out through the wide form.
    const char* utf8 = archive_entry_pathname_utf8(la_entry);
    if (utf8 != nullptr) {
      e->name = utf8;
    } else if (const wchar_t* wide = archive_entry_pathname_w(la_entry)) {
      e->name = WideToUtf8(wide);
    } else {
      const char* name = archive_entry_pathname(la_entry);
      e->name = name != nullptr ? name : "";
    }
    e->unicode = true;
    e->encrypted = archive_entry_is_data_encrypted(la_entry) > 0;
    if (archive_entry_hardlink(la_entry) != nullptr || archive_entry_hardlink_w(la_entry) != nullptr ||
        archive_entry_hardlink_utf8(la_entry) != nullptr)
      e->kind = Kind::kHardlink;
    else if (archive_entry_filetype(la_entry) == AE_IFDIR)
      e->kind = Kind::kFolder;
    else if (archive_entry_filetype(la_entry) == AE_IFLNK)
      e->kind = Kind::kSymlink;
    else
      e->kind = Kind::kFile;
    e->size = archive_entry_size_is_set(la_entry) ? static_cast<uint64_t>(archive_entry_size(la_entry)) : 0;
  }

  // The header's flags and stored name (a wide name decoded from the header).
  static void FillFromHeader(const MemberHeader& h, const char*, Entry* e) {
    e->unicode = h.unicode_flag;
    e->name = h.name;
    e->encrypted = h.encrypted;
    e->kind = h.kind;
    e->size = h.size;
  }

  // A new libarchive reader past the `index` members delivered so far, for
  // one left inside a member; kDamaged when it does not get there.
  int ReopenLibarchive() {
    size_t delivered = index;
    bool fall_back = may_fall_back;
    skipped_again += delivered;
    if (skipped_again > kMaxSkippedAgain) return kDamaged;
    int rc = OpenDecoder(Decoder::kLibarchive);
    index = delivered;
    may_fall_back = fall_back;
    if (rc != 0) return kDamaged;
    for (size_t i = 0; i < delivered; ++i) {
      rc = pending == 1 ? 0 : pending == 2 ? kEnd : ReadHeader();
      pending = 0;
      if (rc != 0 || archive_read_data_skip(la) < ARCHIVE_WARN) return kDamaged;
    }
    return 0;
  }

  int NextLibarchive(Entry* e) {
    if (la_inside && ReopenLibarchive() != 0) {
      la_inside = false;
      return FallBack() ? NextLibunarr(e) : kDamaged;
    }
    int rc = pending == 1 ? 0 : pending == 2 ? kEnd : ReadHeader();
    pending = 0;
    if (rc == kDamaged && FallBack()) return NextLibunarr(e);
    if (rc != 0) return rc;
    *e = Entry{};
    FillFromLibarchive(e);
    if (const MemberHeader* h = HeaderAt(index)) {
      current_header = h;
      bool encrypted = e->encrypted;
      FillFromHeader(*h, e->name.c_str(), e);
      e->encrypted = e->encrypted || encrypted;
      current_unreadable = h->continued_from_missing || h->continues_into_missing;
    } else if (layout.format == Format::kRar5 && index < layout.members.size()) {
      e->encrypted = e->encrypted || layout.members[index].encrypted;
    }
    return 0;
  }

  // Moves libunarr to the entry whose header lies at `offset` of the first
  // volume; false when it does not get there.
  bool SeekUnarr(uint64_t offset) {
    while (!ua_dead && (!ua_has_entry || ua_offset < static_cast<int64_t>(offset))) {
      if (!unarr->parse_entry(ua)) {
        ua_dead = true;
        ua_has_entry = false;
        break;
      }
      ua_has_entry = true;
      ua_offset = unarr->entry_get_offset(ua);
    }
    return ua_has_entry && ua_offset == static_cast<int64_t>(offset);
  }

  int NextLibunarr(Entry* e) {
    if (ua == nullptr) return kDamaged;
    if (index >= layout.members.size()) return layout.complete ? kEnd : kDamaged;
    const MemberHeader& h = layout.members[index];
    current_header = &h;
    *e = Entry{};
    current_unreadable = h.continued_from_missing || h.continues_into_missing;
    // Only plain files are looked up: the decoder is never asked about an
    // encrypted entry, and folders and links carry no data.
    const char* decoded = nullptr;
    if (h.kind == Kind::kFile && !h.encrypted && !current_unreadable) {
      if (SeekUnarr(h.offset))
        decoded = unarr->entry_get_name(ua);
      else
        current_unreadable = true;
    }
    FillFromHeader(h, decoded, e);
    return 0;
  }

  int Next(Entry* e) {
    if (decoder == Decoder::kNone) return kDamaged;
    if (index >= kMaxEntries) return kDamaged;
    current_unreadable = false;
    current_header = nullptr;
    int rc = decoder == Decoder::kLibarchive ? NextLibarchive(e) : NextLibunarr(e);
    have_current = rc == 0;
    if (rc == 0) {
      ++index;
      current = *e;
    }
    return rc;
  }

  // libarchive's data of the current member into `fd`.
  int ExtractLibarchive(int fd, char* buffer) {
    // Neither decoder checks every file's CRC-32 (libarchive passes stored
    // data unchecked, libunarr too): an unsplit RAR 1.5-4 file is checked
    // against its header here.
    bool check = current_header != nullptr && !current_header->split;
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    for (;;) {
      la_ssize_t n = archive_read_data(la, buffer, kBlock);
      if (n == 0) return check && static_cast<uint32_t>(crc) != current_header->crc ? kDamaged : 0;
      if (n < 0) return kDamaged;
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n));
      total += static_cast<uint64_t>(n);
      if (current.size != 0 && total > current.size) return kDamaged;
      if (!WriteAll(fd, buffer, static_cast<size_t>(n))) return kWriteFailed;
    }
  }

  int Extract(int fd) {
    if (!have_current || current_unreadable || current.encrypted) return kDamaged;
    have_current = false;
    char* buffer = Block();
    if (decoder == Decoder::kLibarchive) {
      off_t start = fd >= 0 ? lseek(fd, 0, SEEK_CUR) : 0;
      int rc = ExtractLibarchive(fd, buffer);
      la_inside = rc != 0;
      if (rc != kDamaged || !may_fall_back || current_header == nullptr) return rc;
      // libunarr unpacks the member whole, over what libarchive wrote.
      if (start < 0 || (fd >= 0 && (ftruncate(fd, start) != 0 || lseek(fd, start, SEEK_SET) != start))) {
        FallBack();
        return kDamaged;
      }
      if (!FallBack() || !SeekUnarr(current_header->offset)) return kDamaged;
    }
    bool check = current_header != nullptr && !current_header->split;
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t left = unarr->entry_get_size(ua);
    while (left > 0) {
      size_t n = std::min(left, kBlock);
      if (!unarr->entry_uncompress(ua, buffer, n)) return kDamaged;
      crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n));
      if (!WriteAll(fd, buffer, n)) return kWriteFailed;
      left -= n;
    }
    return check && static_cast<uint32_t>(crc) != current_header->crc ? kDamaged : 0;
  }

  int Skip() {
    have_current = false;
    if (decoder == Decoder::kLibarchive && la_entry != nullptr && archive_read_data_skip(la) < ARCHIVE_WARN) {
      la_inside = true;
      return FallBack() ? 0 : kDamaged;
    }
    return 0;
  }

  // Reads every member with `which` into nothing; the count of members it
  // delivered, and whether it got to the end without a failure.
  size_t Pass(Decoder which, bool* clean) {
    *clean = false;
    if (OpenDecoder(which) != 0) return 0;
    size_t delivered = 0;
    bool failed = false;
    Entry e;
    int rc;
    while ((rc = Next(&e)) == 0) {
      int got = e.kind != Kind::kFile || e.encrypted ? Skip() : Extract(-1);
      if (got == 0 && !current_unreadable) ++delivered;
      failed = failed || got != 0 || current_unreadable;
    }
    *clean = rc == kEnd && !failed;
    return delivered;
  }
};

Archive::Archive() : impl_(std::make_unique<Impl>()) {}
Archive::~Archive() { Close(); }

int Archive::Open(const std::string& path) {
  Impl& d = *impl_;
  d.CloseDecoder();
  d.decoder = Decoder::kNone;
  d.skipped_again = 0;
  d.layout = ReadSignature(path);
  if (d.layout.format == Format::kUnknown) return kCantOpen;
  d.volumes = d.layout.volume ? VolumeNames(path) : std::vector<std::string>{path};
  if (d.layout.format == Format::kRar5) {
    ReadMembers(d.volumes, &d.layout);
    return d.OpenDecoder(Decoder::kLibarchive);
  }
  if (d.layout.encrypted_headers) return kCantOpen;
  ReadMembers(d.volumes, &d.layout);
  bool single = d.volumes.size() == 1;
  if (d.OpenDecoder(Decoder::kLibarchive) == 0) {
    d.may_fall_back = single;
    return 0;
  }
  Decoder choice = Decoder::kLibarchive;
  if (single) {
    bool clean = false, unarr_clean = false;
    size_t by_libarchive = d.Pass(Decoder::kLibarchive, &clean);
    size_t by_libunarr = d.Pass(Decoder::kLibunarr, &unarr_clean);
    if (by_libunarr > by_libarchive || (unarr_clean && by_libunarr == by_libarchive && by_libunarr > 0))
      choice = Decoder::kLibunarr;
  }
  int rc = d.OpenDecoder(choice);
  if (rc != 0) d.decoder = Decoder::kNone;
  return rc;
}

int Archive::Next(Entry* entry) { return impl_->Next(entry); }
int Archive::ExtractTo(int fd) { return impl_->Extract(fd); }
int Archive::Skip() { return impl_->Skip(); }
void Archive::Close() {
  impl_->CloseDecoder();
  impl_->decoder = Decoder::kNone;
}
Decoder Archive::decoder() const { return impl_->decoder; }

}  // namespace unrar
