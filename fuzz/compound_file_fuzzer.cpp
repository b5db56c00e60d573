// libFuzzer harness of the compound-file reader and the zip check: the
// input is written to a file, opened as a compound file, and every storage
// and stream reachable from the root is opened, read whole in requests of
// varying sizes, sought around and closed, children before parents. The
// same file then goes through the zip check.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "compound_file_children.h"
#include "dalvex/compound_file.h"
#include "dalvex/zip_check.h"

namespace {

constexpr int kMaxDepth = 12;
constexpr int kMaxOpens = 4000;

const std::string& InputPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/compound_file_fuzzer." + std::to_string(getpid());
  }();
  return path;
}

void ReadStream(KVB_OleStream* stream, const uint8_t* data, size_t size) {
  static char buffer[9000];
  int request = 1 + (size ? data[size / 2] : 0) * 31;
  int stream_size = KVB_2OLEGetStreamSize(stream);
  while (KVB_2OLEreadStream(stream, buffer, request) > 0) request = request % 8191 + 509;
  KVB_2OLEseekStream(stream, stream_size / 2, 0);
  KVB_2OLEreadStream(stream, buffer, 100);
  KVB_2OLEseekStream(stream, -30, 1);
  KVB_2OLEreadStream(stream, buffer, 2000);
  KVB_2OLEseekStream(stream, -1, 2);
  KVB_2OLEreadStream(stream, buffer, 10);
}

void Walk(KVB_OleStorage* storage, int depth, int* opens, const uint8_t* data, size_t size) {
  unsigned char class_id[16];
  KVB_2OLEGetClassID(storage, class_id);
  for (const dalvex::OleChild& child : dalvex::ListChildren(storage)) {
    if (++*opens > kMaxOpens) return;
    if (KVB_OleStream* stream = KVB_2OLEopenStream(storage, child.name.c_str())) {
      ReadStream(stream, data, size);
      KVB_2OLEcloseStream(stream);
    }
    if (depth < kMaxDepth) {
      if (KVB_OleStorage* sub = KVB_2OLEopenStorage(storage, child.name.c_str())) {
        Walk(sub, depth + 1, opens, data, size);
        if (KVB_2OLEcloseStorage(sub) != 1) std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  if (KVB_OleStorage* root = KVB_2OLEopen(path.c_str())) {
    KVB_OleHeaderInfo header;
    KVB_2OLEGetHeaderInfo(root, &header);
    int opens = 0;
    Walk(root, 0, &opens, data, size);
    if (KVB_2OLEclose(root) != 1) std::abort();
  }
  isValidZipFile(path.c_str());
  return 0;
}
