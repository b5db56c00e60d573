// The memory-buffer source of the Visio reader.
#include "byte_source.h"

#include <algorithm>
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

}  // namespace glyphane
