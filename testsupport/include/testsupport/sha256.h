// SHA-256 of byte strings, for tests that compare contents with what an
// independent program reports as a hash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const uint8_t* p);
  uint32_t h_[8];
  uint8_t pending_[64];
  size_t pending_size_ = 0;
  uint64_t total_ = 0;
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace testsupport
