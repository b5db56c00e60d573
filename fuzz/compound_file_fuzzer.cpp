// libFuzzer harness of the compound-file reader and the zip check, through
// Dalvex's exports only: the input is written to a file and opened as a
// compound file. The exports find children by name, so the harness takes
// its candidate names from the input itself (every 128-byte slot after the
// header that looks like a directory entry, plus the names the engine asks
// for) and tries each as a storage and a stream below the root and below
// every storage so found; each stream is read whole in requests of varying
// sizes, sought around and closed, children before parents. The same file
// then goes through the zip check.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"
#include "dalvex/zip_check.h"
#include "harness_support.h"

namespace {

constexpr int kMaxDepth = 6;
constexpr int kMaxOpens = 3000;
constexpr size_t kMaxNames = 48;

// A directory entry's name (UTF-16LE, its length in bytes with the NUL at
// offset 64) as the exports take it: UTF-8, units below 0x80 as one byte.
void AddCandidate(const uint8_t* entry, std::set<std::string>* names) {
  unsigned length = entry[64] | entry[65] << 8;
  uint8_t type = entry[66];
  if (length < 4 || length > 64 || length % 2 != 0 || type < 1 || type > 2) return;
  std::string name;
  for (unsigned i = 0; i + 2 < length; i += 2) {
    unsigned unit = entry[i] | entry[i + 1] << 8;
    if (unit == 0) return;
    if (unit < 0x80) {
      name.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      name.push_back(static_cast<char>(0xC0 | unit >> 6));
      name.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      name.push_back(static_cast<char>(0xE0 | unit >> 12));
      name.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      name.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  names->insert(name);
}

std::vector<std::string> CandidateNames(const uint8_t* data, size_t size) {
  std::set<std::string> names = {"VisioDocument", "\005SummaryInformation", "\005DocumentSummaryInformation",
                                 "ObjectPool", "CONTENTS", "\001Ole10Native", "\001CompObj"};
  for (size_t offset = 512; offset + 128 <= size && names.size() < kMaxNames; offset += 128)
    AddCandidate(data + offset, &names);
  return {names.begin(), names.end()};
}

void ReadStream(KVB_OleStream* stream, const uint8_t* data, size_t size) {
  static char buffer[9000];
  int request = 1 + (size ? data[size / 2] : 0) * 31;
  int stream_size = KVB_2OLEGetStreamSize(stream);
  char name[80];
  KVB_2OLEGetStreamName(stream, name, sizeof name);
  while (KVB_2OLEreadStream(stream, buffer, request) > 0) request = request % 8191 + 509;
  KVB_2OLEseekStream(stream, stream_size / 2, 0);
  KVB_2OLEreadStream(stream, buffer, 100);
  KVB_2OLEseekStream(stream, -30, 1);
  KVB_2OLEreadStream(stream, buffer, 2000);
  KVB_2OLEseekStream(stream, -1, 2);
  KVB_2OLEreadStream(stream, buffer, 10);
}

struct Walk {
  const std::vector<std::string>& names;
  const uint8_t* data;
  size_t size;
  int opens = 0;

  void Storage(KVB_OleStorage* storage, int depth) {
    unsigned char class_id[16];
    KVB_2OLEGetClassID(storage, class_id);
    for (const std::string& name : names) {
      if (++opens > kMaxOpens) return;
      if (KVB_OleStream* stream = KVB_2OLEopenStream(storage, name.c_str())) {
        ReadStream(stream, data, size);
        if (KVB_2OLEcloseStream(stream) != 1) std::abort();
      }
      if (depth >= kMaxDepth) continue;
      if (KVB_OleStorage* sub = KVB_2OLEopenStorage(storage, name.c_str())) {
        // A parent with an open child must refuse to close (a root always
        // refuses: KVB_2OLEclose closes it).
        if (KVB_2OLEcloseStorage(storage) != 0) std::abort();
        Storage(sub, depth + 1);
        if (KVB_2OLEcloseStorage(sub) != 1) std::abort();
      }
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = fuzz::WriteInput("input.cfb", data, size);
  if (KVB_OleStorage* root = KVB_2OLEopen(path.c_str())) {
    KVB_OleHeaderInfo header;
    KVB_2OLEGetHeaderInfo(root, &header);
    std::vector<std::string> names = CandidateNames(data, size);
    Walk walk{names, data, size};
    walk.Storage(root, 0);
    if (KVB_2OLEclose(root) != 1) std::abort();
  }
  isValidZipFile(path.c_str());
  fuzz::Remove(path);
  return 0;
}
