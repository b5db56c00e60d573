// The two sources of the Visio reader: a memory buffer, and a compound-file
// stream read through Dalvex (whose positions and counts are 32-bit).
#include "byte_source.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace glyphane {

bool MemorySource::SeekFromStart(uint64_t offset) {
  if (offset > bytes_.size()) return false;
  position_ = offset;
  return true;
}

size_t MemorySource::Read(void* buffer, size_t count) {
  size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - position_));
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

const uint8_t* MemorySource::View(uint64_t offset, uint64_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return nullptr;
  return reinterpret_cast<const uint8_t*>(bytes_.data()) + offset;
}

OleStreamSource::OleStreamSource(KVB_OleStream* stream) : stream_(stream) {
  int end = stream_ ? KVB_2OLEseekStream(stream_, 0, 2) : -1;
  size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  if (stream_) KVB_2OLEseekStream(stream_, 0, 0);
}

bool OleStreamSource::SeekFromStart(uint64_t offset) {
  if (stream_ == nullptr || offset > size_ || offset > INT_MAX) return false;
  return KVB_2OLEseekStream(stream_, static_cast<int>(offset), 0) == static_cast<int>(offset);
}

size_t OleStreamSource::Read(void* buffer, size_t count) {
  if (stream_ == nullptr) return 0;
  size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < count) {
    int want = static_cast<int>(std::min<size_t>(count - done, INT_MAX));
    int got = KVB_2OLEreadStream(stream_, out + done, want);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace glyphane

namespace glyphane {

bool ReadWholeStream(KVB_OleStream* stream, uint64_t limit, PartBuffer* out) {
  *out = PartBuffer();
  OleStreamSource source(stream);
  const uint64_t size = source.Size();
  if (stream == nullptr || size > limit) return false;
  out->resize(size);
  if (!source.SeekFromStart(0) || source.Read(out->data(), size) != size) {
    *out = PartBuffer();
    return false;
  }
  return true;
}

}  // namespace glyphane
