// Bounded reads inside one part (or one chunk) of a Visio document. Every
// number and text the reader takes from a file goes through these helpers:
// a read that would leave the span answers "absent" instead of touching
// bytes outside it. All numbers are little-endian.
#pragma once

#include <cstdint>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace glyphane {

// The bytes of a part read whole or decompressed. They are written in full
// before they are read, so making room clears nothing (a vector would write
// every new byte first).
class PartBuffer {
 public:
  PartBuffer() = default;
  // `size` bytes whose values the owner sets.
  explicit PartBuffer(size_t size) { resize(size); }
  // A copy of [first, last).
  PartBuffer(const uint8_t* first, const uint8_t* last) {
    resize(static_cast<size_t>(last - first));
    if (size_ > 0) std::memcpy(bytes_.get(), first, size_);
  }
  PartBuffer(PartBuffer&& other) noexcept { *this = std::move(other); }
  PartBuffer& operator=(PartBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  const uint8_t* begin() const { return bytes_.get(); }
  const uint8_t* end() const { return bytes_.get() + size_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }

  // Keeps the first bytes; room beyond the capacity comes unset.
  void resize(size_t size) {
    if (size > capacity_) {
      std::unique_ptr<uint8_t[]> grown(new uint8_t[size]);
      if (size_ > 0) std::memcpy(grown.get(), bytes_.get(), size_);
      bytes_ = std::move(grown);
      capacity_ = size;
    }
    size_ = size;
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

class PartBytes {
 public:
  PartBytes() = default;
  PartBytes(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

  uint64_t size() const { return size_; }
  const uint8_t* data() const { return data_; }

  // True when [pos, pos + n) lies inside the span.
  bool Has(uint64_t pos, uint64_t n) const { return pos <= size_ && n <= size_ - pos; }

  // The sub-span [pos, pos + n), cut to what lies inside.
  PartBytes Sub(uint64_t pos, uint64_t n) const {
    if (pos >= size_) return {};
    if (n > size_ - pos) n = size_ - pos;
    return PartBytes(data_ + pos, n);
  }

  std::optional<uint8_t> U8(uint64_t pos) const {
    if (!Has(pos, 1)) return std::nullopt;
    return data_[pos];
  }
  std::optional<uint16_t> U16(uint64_t pos) const {
    if (!Has(pos, 2)) return std::nullopt;
    return static_cast<uint16_t>(data_[pos] | (data_[pos + 1] << 8));
  }
  std::optional<uint32_t> U32(uint64_t pos) const {
    if (!Has(pos, 4)) return std::nullopt;
    return static_cast<uint32_t>(data_[pos]) | (static_cast<uint32_t>(data_[pos + 1]) << 8) |
           (static_cast<uint32_t>(data_[pos + 2]) << 16) |
           (static_cast<uint32_t>(data_[pos + 3]) << 24);
  }
  std::optional<double> F64(uint64_t pos) const {
    if (!Has(pos, 8)) return std::nullopt;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | data_[pos + i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // The bytes [pos, pos + n), cut to what lies inside the span.
  std::string Bytes(uint64_t pos, uint64_t n) const {
    PartBytes sub = Sub(pos, n);
    return std::string(reinterpret_cast<const char*>(sub.data_), sub.size_);
  }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace glyphane
