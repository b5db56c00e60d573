// A stand-in for the RAR extractor's DecodeRar, for Cindral's tests: it
// unpacks the archive with libarchive into the destination folder and
// records how it was called.
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {
int calls = 0;
std::string last_archive, last_destination, last_password;
}  // namespace

extern "C" __attribute__((visibility("default"))) int stub_decode_calls() { return calls; }
extern "C" __attribute__((visibility("default"))) const char* stub_last(int which) {
  return which == 0 ? last_archive.c_str() : which == 1 ? last_destination.c_str() : last_password.c_str();
}

extern "C" __attribute__((visibility("default"))) int DecodeRar(const char* archive_path,
                                                               const char* destination,
                                                               const char* password) {
  ++calls;
  last_archive = archive_path ? archive_path : "";
  last_destination = destination ? destination : "";
  last_password = password ? password : "";
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  if (archive_read_open_filename(a, archive_path, 1 << 16) != ARCHIVE_OK) {
    archive_read_free(a);
    return 6001;
  }
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
    std::string name = archive_entry_pathname(entry);
    for (char& c : name)
      if (c == '\\') c = '/';
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) continue;
    std::filesystem::path path = std::filesystem::path(destination) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer.data(), buffer.size())) > 0) out.write(buffer.data(), n);
  }
  archive_read_free(a);
  return 0;
}
