// libFuzzer harness of the gzip input streams. The input is read in stream
// mode from memory and, written to a file, in file mode (zlib's gz
// reading); when neither shows badbit both must give the same bytes. A
// stream that shows badbit must still have ended.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "quarnel/gzip_stream.h"

namespace {

struct Result {
  std::string bytes;
  bool bad;
};

Result Drain(std::istream& in) {
  Result r;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    r.bytes.append(chunk, static_cast<size_t>(in.gcount()));
    if (r.bytes.size() > (64u << 20)) break;  // a bomb: enough has been seen
  }
  r.bad = in.bad();
  return r;
}

std::string ScratchFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/gzip_stream_fuzz.XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  close(fd);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string file = ScratchFile();
  std::string input(reinterpret_cast<const char*>(data), size);
  std::istringstream source(input);
  ObraCommon::ZelGzipStream streamMode(source);
  Result a = Drain(streamMode);

  FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  ObraCommon::ZelGzipStream fileMode(file.c_str());
  if (!fileMode.is_open()) std::abort();
  Result b = Drain(fileMode);

  if (!a.bad && !b.bad && a.bytes != b.bytes) std::abort();
  return 0;
}
