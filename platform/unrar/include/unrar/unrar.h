// The stand-in for the UnRAR library: opens a RAR archive (with its
// volumes), walks its file headers and unpacks the current file into a file
// descriptor the caller made.
//
// RAR 1.5-4 archives are read once, by libarchive; when libarchive fails on
// a member of a single-file archive (RAR 1.5/2.0 packing, solid data, old
// comments), libunarr reads the archive from that member on, each member
// wholly by one decoder. RAR 5 archives are read by libarchive alone. The
// flags and stored name bytes of RAR 1.5-4 entries come from the archive's
// own block headers, since libunarr knows neither. Nothing is decrypted:
// an encrypted entry is reported as such and its data is never read.
//
// Results: 0, kEnd, and the engine's codes 1003 (cannot open), 6003 (damage,
// a member continued from or into a missing volume, a walk that does not
// advance) and 24 (the caller's file cannot be written).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace unrar {

inline constexpr int kEnd = 1;
inline constexpr int kCantOpen = 1003;
inline constexpr int kDamaged = 6003;
inline constexpr int kWriteFailed = 24;

enum class Kind { kFile, kFolder, kSymlink, kHardlink };
enum class Decoder { kNone, kLibarchive, kLibunarr };

struct Entry {
  std::string name;     // UTF-8 when `unicode`, else the stored bytes
  bool unicode = false; // stored with the Unicode flag, or a RAR 5 name
  bool encrypted = false;
  Kind kind = Kind::kFile;
  uint64_t size = 0;    // unpacked size as declared
};

// The volumes of the set that `first` opens, in order: "<base>.partN.rar"
// counting up with the same digit count, or ".rar" then ".r00", ".r01" ...;
// only names that exist follow `first`, which is always the first.
std::vector<std::string> VolumeNames(const std::string& first);

class Archive {
 public:
  Archive();
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Kept for the job; this platform decrypts nothing.
  std::string password;

  int Open(const std::string& path);  // 0 or 1003
  int Next(Entry* entry);             // 0, kEnd or 6003
  int ExtractTo(int fd);              // 0, 24 or 6003: the current entry's data
  int Skip();                         // 0 or 6003
  void Close();
  Decoder decoder() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace unrar
