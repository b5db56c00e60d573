// libFuzzer harness of the gzip input streams. The input is read in stream
// mode from memory and, written to a file in the harness's private folder
// (in /dev/shm, not on a disk), in file mode (zlib's gz reading); when
// neither shows badbit both must give the same bytes. A stream that shows
// badbit must still have ended.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <string>

#include "harness_support.h"
#include "quarnel/gzip_stream.h"

namespace {

// Reads both streams a block at a time side by side, up to 8 MB each (a
// bomb: enough has been seen), and tells whether they gave the same bytes.
// Nothing is kept: a string grown to megabytes costs a sanitizer build a
// mapping and an unmapping per doubling past 128 KB.
bool SameBytes(std::istream& a, std::istream& b) {
  char chunkA[4096], chunkB[4096];
  bool same = true;
  for (size_t total = 0; total < (8u << 20); total += sizeof chunkA) {
    a.read(chunkA, sizeof chunkA);
    b.read(chunkB, sizeof chunkB);
    const std::streamsize gotA = a.gcount(), gotB = b.gcount();
    if (gotA != gotB || std::memcmp(chunkA, chunkB, static_cast<size_t>(gotA)) != 0) same = false;
    if (gotA == 0 && gotB == 0) break;
  }
  return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputBuf bytes(data, size);
  std::istream source(&bytes);
  ObraCommon::ZelGzipStream streamMode(source);
  const std::string file = fuzz::WriteInput("input.gz", data, size);
  ObraCommon::ZelGzipStream fileMode(file.c_str());
  if (!fileMode.is_open()) std::abort();
  const bool same = SameBytes(streamMode, fileMode);
  if (!streamMode.bad() && !fileMode.bad() && !same) std::abort();
  return 0;
}
