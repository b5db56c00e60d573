// The project's RAR writer: RAR 2.9/4 archives of stored (uncompressed)
// entries. The tool rarstore packs the configuration archive etc.dll with
// it; tests make their fixtures with it, including entries a hostile or
// damaged archive would hold (links, traversal names, the encrypted flag,
// a wrong checksum).
#pragma once

#include <string>
#include <vector>

namespace rarstore {

struct Entry {
  std::string name;             // stored name bytes
  std::string data;             // stored data (a link's target for links)
  bool unicode_flag = false;    // the Unicode-name flag; the name bytes are then UTF-8
  bool folder = false;          // a folder entry (no data)
  bool unix_link = false;       // a symbolic link from a Unix host
  bool encrypted = false;       // the encrypted flag; the data is stored as given
  bool wrong_checksum = false;  // the data's CRC-32 is stored inverted
};

// The archive's bytes: marker, archive header, one file header with its
// data per entry, end block.
std::string WriteArchive(const std::vector<Entry>& entries);

// The regular files of `folder`, in byte order of their names, stored as
// "<prefix>\<name>" with Windows attributes. False when the folder cannot
// be listed or read, or a file is too large.
bool ArchiveFolder(const std::string& folder, const std::string& prefix, std::vector<Entry>* entries);

}  // namespace rarstore
