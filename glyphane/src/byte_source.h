// The one way the Visio reader gets at the bytes of a "VisioDocument"
// stream: seek from the start, then read. Two sources stand behind it: a
// memory buffer (tests and fuzzing) and Dalvex's compound-file stream. The
// reader never asks for more than the source says it holds, so a length read
// from a file cannot make it allocate beyond the stream's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dalvex/compound_file.h"
#include "part_bytes.h"

namespace glyphane {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Positions the next read at `offset` bytes from the start; false when the
  // position cannot be reached.
  virtual bool SeekFromStart(uint64_t offset) = 0;
  // Reads up to `count` bytes and answers how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // The number of bytes in the stream.
  virtual uint64_t Size() const = 0;
  // The bytes [offset, offset + count) in place, for a source that holds
  // them in memory; null otherwise (then they are read with Read).
  virtual const uint8_t* View(uint64_t offset, uint64_t count) const {
    (void)offset;
    (void)count;
    return nullptr;
  }
};

// A stream held in memory; the bytes must outlive the source.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  bool SeekFromStart(uint64_t offset) override;
  size_t Read(void* buffer, size_t count) override;
  uint64_t Size() const override { return bytes_.size(); }
  const uint8_t* View(uint64_t offset, uint64_t count) const override;

 private:
  std::string_view bytes_;
  uint64_t position_ = 0;
};

// A stream of a compound file opened with Dalvex's reader; the caller
// keeps the stream open while the source is used.
class OleStreamSource final : public ByteSource {
 public:
  explicit OleStreamSource(KVB_OleStream* stream);
  bool SeekFromStart(uint64_t offset) override;
  size_t Read(void* buffer, size_t count) override;
  uint64_t Size() const override { return size_; }

 private:
  KVB_OleStream* stream_;
  uint64_t size_ = 0;
};

// Reads the whole of `stream` into `out` when it holds at most `limit`
// bytes; false (and `out` empty) when it is longer or cannot be read to its
// end, so that the caller reads it part by part as before.
bool ReadWholeStream(KVB_OleStream* stream, uint64_t limit, PartBuffer* out);

}  // namespace glyphane
