// rarstore: packs the regular files of one folder as a RAR archive of
// stored entries named "<prefix>\<name>" (the form of the engine's
// configuration archive etc.dll), written to a temporary name and renamed
// into place.
//
// Usage: rarstore <archive> <folder> <prefix>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rarstore/rar_writer.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rarstore <archive> <folder> <prefix>\n");
    return 2;
  }
  std::filesystem::path archive = argv[1];
  std::vector<rarstore::Entry> entries;
  if (!rarstore::ArchiveFolder(argv[2], argv[3], &entries)) {
    std::fprintf(stderr, "rarstore: cannot pack %s\n", argv[2]);
    return 1;
  }
  std::string out = rarstore::WriteArchive(entries);
  std::filesystem::path temp = archive;
  temp += ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file) {
      std::fprintf(stderr, "rarstore: cannot write %s\n", temp.c_str());
      return 1;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, archive, ec);
  if (ec) {
    std::fprintf(stderr, "rarstore: cannot write %s\n", archive.c_str());
    return 1;
  }
  return 0;
}
