// The stream output helpers: an unformatted write whose answer is the
// stream's state, and a position that falls back to the count of characters
// in the put area of the stream's own buffer, for buffers that cannot report
// a position. Nothing here throws: a stream that throws on failure is
// answered as failed.
#include <fstream>
#include <sstream>

#include "ostrand/stream_output.h"

namespace {

// Reads a buffer's put area through the protected accessors of its base.
struct PutArea : std::streambuf {
  static std::ptrdiff_t Count(std::streambuf* buffer) {
    char* (std::streambuf::*pbase_of)() const = &PutArea::pbase;
    char* (std::streambuf::*pptr_of)() const = &PutArea::pptr;
    char* start = (buffer->*pbase_of)();
    if (start == nullptr) return 0;
    return (buffer->*pptr_of)() - start;
  }
};

// The buffer the stream object embeds (string and file streams), else the
// one it uses.
std::streambuf* OwnBuffer(std::ostream* os) {
  if (auto* s = dynamic_cast<std::ostringstream*>(os)) return s->rdbuf();
  if (auto* s = dynamic_cast<std::stringstream*>(os)) return s->rdbuf();
  if (auto* s = dynamic_cast<std::ofstream*>(os)) return s->rdbuf();
  return os->rdbuf();
}

bool Failed(const std::ostream& os) { return (os.rdstate() & (std::ios::failbit | std::ios::badbit)) != 0; }

}  // namespace

extern "C" int KVB_WriteStream(std::ostream* os, int count, const char* data) {
  if (os == nullptr || count < 0 || (count > 0 && data == nullptr)) return 1;
  try {
    os->write(data, count);
  } catch (...) {
    return 1;
  }
  return Failed(*os) ? 1 : 0;
}

extern "C" int64_t KVB_StreamTell(std::ostream* os) {
  if (os == nullptr) return 0;
  try {
    int64_t position = -1;
    if (!Failed(*os) && os->rdbuf() != nullptr)
      position = static_cast<int64_t>(os->rdbuf()->pubseekoff(0, std::ios::cur, std::ios::out));
    if (position > 0) return position;
    std::streambuf* buffer = OwnBuffer(os);
    if (buffer == nullptr) return 0;
    std::ptrdiff_t waiting = PutArea::Count(buffer);
    return waiting > 0 ? waiting : 0;
  } catch (...) {
    return 0;
  }
}
