// Bytes held in memory read in place through a stream buffer, as the peers
// read their buffers: an istringstream would copy the whole text every
// iteration, and the copy would be timed.
#pragma once

#include <streambuf>
#include <string>

namespace bench {

struct BytesInPlace : std::streambuf {
  explicit BytesInPlace(const std::string& bytes) {
    char* at = const_cast<char*>(bytes.data());
    setg(at, at, at + bytes.size());
  }
};

}  // namespace bench
