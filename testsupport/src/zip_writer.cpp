#include "testsupport/zip_writer.h"

#include <zlib.h>

#include <algorithm>

namespace testsupport {

namespace {

void Put16(std::string& s, uint64_t v) {
  for (int i = 0; i < 2; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put32(std::string& s, uint64_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put64(std::string& s, uint64_t v) {
  Put32(s, v & 0xFFFFFFFFu);
  Put32(s, v >> 32);
}

}  // namespace

namespace {
// windowBits chooses the wrapper as zlib reads it: negative for none, 16
// added for gzip.
std::string Deflate(const std::string& data, int windowBits) {
  std::string out(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}
}  // namespace

std::string RawDeflate(const std::string& data) { return Deflate(data, -MAX_WBITS); }

std::string GzipDeflate(const std::string& data) { return Deflate(data, 16 + MAX_WBITS); }

namespace {
// The data followed by `zeros` zero bytes, raw deflated a block at a time, and its
// CRC-32.
std::string DeflateWithZeros(const std::string& data, uint64_t zeros, uLong* crc) {
  const std::string zeroBlock(1 << 20, '\0');
  std::string out;
  z_stream zs{};
  deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  char buffer[1 << 16];
  auto feed = [&](const std::string& bytes, size_t count, int flush) {
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs.avail_in = static_cast<uInt>(count);
    *crc = crc32(*crc, zs.next_in, zs.avail_in);
    do {
      zs.next_out = reinterpret_cast<Bytef*>(buffer);
      zs.avail_out = sizeof buffer;
      deflate(&zs, flush);
      out.append(buffer, sizeof buffer - zs.avail_out);
    } while (zs.avail_out == 0);
  };
  feed(data, data.size(), zeros == 0 ? Z_FINISH : Z_NO_FLUSH);
  while (zeros > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(zeros, zeroBlock.size()));
    zeros -= n;
    feed(zeroBlock, n, zeros == 0 ? Z_FINISH : Z_NO_FLUSH);
  }
  deflateEnd(&zs);
  return out;
}
}  // namespace

void ZipWriter::add(const ZipEntrySpec& spec) {
  uLong wholeCrc = crc32(0, Z_NULL, 0);
  std::string body;
  if (spec.zeros > 0) {
    // Stored zeros would be held whole: they are deflated whatever is asked.
    body = DeflateWithZeros(spec.data, spec.zeros, &wholeCrc);
  } else {
    body = spec.deflate ? RawDeflate(spec.data) : spec.data;
    wholeCrc = crc32(wholeCrc, reinterpret_cast<const Bytef*>(spec.data.data()), static_cast<uInt>(spec.data.size()));
  }
  uint32_t crc = static_cast<uint32_t>(wholeCrc);
  if (spec.wrongCrc) crc ^= 0x01000000u;
  uint64_t size = spec.declaredSize ? *spec.declaredSize : spec.data.size() + spec.zeros;
  bool later = spec.descriptor != ZipEntrySpec::Descriptor::None;
  uint16_t flags = static_cast<uint16_t>((later ? 8 : 0) | (spec.utf8 ? 0x800 : 0) | spec.extraFlags);
  std::string extra;
  if (spec.zip64) {
    Put16(extra, 1);
    Put16(extra, 16);
    Put64(extra, later ? 0 : size);
    Put64(extra, later ? 0 : body.size());
  }
  m_entries.push_back({spec, crc, m_bytes.size(), body.size()});
  std::string& s = m_bytes;
  Put32(s, 0x04034B50u);
  Put16(s, spec.zip64 ? 45 : 20);
  Put16(s, flags);
  Put16(s, spec.deflate || spec.zeros > 0 ? 8 : 0);
  Put16(s, 0);
  Put16(s, 0x21);
  Put32(s, later ? 0 : crc);
  uint64_t localCompressed = spec.zip64 ? 0xFFFFFFFFu : later ? 0 : body.size();
  Put32(s, spec.localCompressed ? *spec.localCompressed : localCompressed);
  Put32(s, spec.zip64 ? 0xFFFFFFFFu : later ? 0 : size);
  Put16(s, spec.name.size());
  Put16(s, extra.size());
  s += spec.name + extra + body;
  if (later) {
    if (spec.descriptor == ZipEntrySpec::Descriptor::Signed) Put32(s, 0x08074B50u);
    Put32(s, crc);
    if (spec.zip64) {
      Put64(s, body.size());
      Put64(s, size);
    } else {
      Put32(s, body.size());
      Put32(s, size);
    }
  }
}

std::string ZipWriter::finish(bool central) const {
  std::string s = m_bytes;
  if (!central) return s;
  uint64_t dirOffset = s.size();
  bool any64 = false;
  for (const Written& w : m_entries) {
    const ZipEntrySpec& spec = w.spec;
    uint64_t size = spec.declaredSize ? *spec.declaredSize : spec.data.size() + spec.zeros;
    uint64_t compressed = spec.centralCompressed ? *spec.centralCompressed : w.compressed;
    std::string extra;
    if (spec.zip64) {
      any64 = true;
      Put16(extra, 1);
      Put16(extra, 24);
      Put64(extra, size);
      Put64(extra, compressed);
      Put64(extra, w.offset);
    }
    bool later = spec.descriptor != ZipEntrySpec::Descriptor::None;
    Put32(s, 0x02014B50u);
    Put16(s, spec.zip64 ? 45 : 20);
    Put16(s, spec.zip64 ? 45 : 20);
    Put16(s, (later ? 8 : 0) | (spec.utf8 ? 0x800 : 0) | spec.extraFlags);
    Put16(s, spec.deflate || spec.zeros > 0 ? 8 : 0);
    Put16(s, 0);
    Put16(s, 0x21);
    Put32(s, w.crc);
    Put32(s, spec.zip64 ? 0xFFFFFFFFu : compressed);
    Put32(s, spec.zip64 ? 0xFFFFFFFFu : size);
    Put16(s, spec.name.size());
    Put16(s, extra.size());
    Put16(s, 0);
    Put16(s, 0);
    Put16(s, 0);
    Put32(s, 0);
    Put32(s, spec.zip64 ? 0xFFFFFFFFu : w.offset);
    s += spec.name + extra;
  }
  uint64_t dirSize = s.size() - dirOffset;
  uint64_t count = m_entries.size();
  if (any64) {
    uint64_t end64 = s.size();
    Put32(s, 0x06064B50u);
    Put64(s, 44);
    Put16(s, 45);
    Put16(s, 45);
    Put32(s, 0);
    Put32(s, 0);
    Put64(s, count);
    Put64(s, count);
    Put64(s, dirSize);
    Put64(s, dirOffset);
    Put32(s, 0x07064B50u);
    Put32(s, 0);
    Put64(s, end64);
    Put32(s, 1);
  }
  Put32(s, 0x06054B50u);
  Put16(s, 0);
  Put16(s, 0);
  Put16(s, any64 ? 0xFFFF : count);
  Put16(s, any64 ? 0xFFFF : count);
  Put32(s, any64 ? 0xFFFFFFFFu : dirSize);
  Put32(s, any64 ? 0xFFFFFFFFu : dirOffset);
  Put16(s, 0);
  return s;
}

}  // namespace testsupport
