// A small zip writer for self-made fixtures: stored and deflated entries,
// data descriptors with and without their signature, zip64 sizes, the UTF-8
// name flag, and the damage a reader must survive (sizes that point past the
// end, a wrong CRC, a central directory that claims overlapping data).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ZipEntrySpec {
  enum class Descriptor { None, Signed, Unsigned };
  std::string name;
  std::string data;
  bool deflate = false;
  Descriptor descriptor = Descriptor::None;  // sizes after the data (flag bit 3)
  bool zip64 = false;                        // sizes and offset in extra field 0x0001
  bool utf8 = false;                         // flag bit 11
  bool wrongCrc = false;
  uint16_t extraFlags = 0;                    // or'ed into the flags (1: encrypted)
  std::optional<uint32_t> localCompressed;    // the local header's size, as written
  std::optional<uint64_t> declaredSize;       // the uncompressed size everywhere
  std::optional<uint32_t> centralCompressed;  // the central directory's size
  uint64_t zeros = 0;  // that many zero bytes after `data`, deflated and never held whole
};

class ZipWriter {
 public:
  void add(const ZipEntrySpec& spec);
  // The package, with its central directory unless `central` is false.
  std::string finish(bool central = true) const;

 private:
  struct Written {
    ZipEntrySpec spec;
    uint32_t crc;
    uint64_t offset;
    uint64_t compressed;
  };
  std::string m_bytes;
  std::vector<Written> m_entries;
};

// Raw deflate (no zlib or gzip wrapper) of data at level 6.
std::string RawDeflate(const std::string& data);
// One gzip member of data at level 6.
std::string GzipDeflate(const std::string& data);

}  // namespace testsupport
