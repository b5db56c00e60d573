#include "quarnel/zip_file.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <sstream>
#include <utility>

#include "crc32.h"
#include "quarnel/file_stream.h"

namespace ObraCommon {

namespace {

constexpr size_t kPutBack = 10;
constexpr uint64_t kBlock = 64 * 1024;  // bytes read from the source at a time
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr uint64_t kEndSearch = 22 + 65535;

[[noreturn]] void throwDataError() { throw std::ios_base::failure("damaged zip entry"); }

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const unsigned char* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// Reads count bytes at pos; false when fewer are there.
bool ReadAt(std::istream& in, uint64_t pos, void* out, size_t count) {
  in.clear();
  if (!in.seekg(static_cast<std::streamoff>(pos))) return false;
  in.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
  return in.gcount() == static_cast<std::streamsize>(count);
}

uint64_t SourceSize(std::istream& in) {
  in.clear();
  std::streampos here = in.tellg();
  if (here < 0 || !in.seekg(0, std::ios_base::end)) return 0;
  std::streampos end = in.tellg();
  in.seekg(here);
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

// Zip names are UTF-8 here; bytes that are not read as CP437, the zip
// default, so that distinct names stay distinct.
UnicodeString NameOf(const std::string& bytes) {
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  int32_t length = static_cast<int32_t>(bytes.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return UnicodeString(bytes.data(), length, "ibm-437");
  }
  return UnicodeString::fromUTF8(bytes);
}

// Hands out `length` bytes of a seekable source from `offset`, read in
// blocks at their own position, so that several buffers may share the
// source. Data known to be damaged, or checked against a CRC-32 that it
// does not match, sets badbit once its end is reached, after every byte.
class RangeBuf : public std::streambuf {
 public:
  RangeBuf(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length, bool bad, bool checkCrc,
           uint32_t crc)
      : m_source(std::move(source)),
        m_offset(offset),
        m_length(m_source ? length : 0),
        m_bad(bad || m_source == nullptr),
        m_checkCrc(checkCrc && !m_bad),
        m_expectedCrc(crc),
        m_blockSize(static_cast<size_t>(std::clamp<uint64_t>(m_length, 1, kBlock))),
        m_buffer(new char[kPutBack + m_blockSize]) {
    rewind();
  }
  void rewind() {
    m_start = 0;
    setg(m_buffer.get(), m_buffer.get(), m_buffer.get());
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    uint64_t at = m_start + static_cast<uint64_t>(egptr() - eback());
    size_t keep = std::min<size_t>(kPutBack, static_cast<size_t>(egptr() - eback()));
    std::memmove(m_buffer.get(), egptr() - keep, keep);
    char* data = m_buffer.get() + keep;
    m_start = at - keep;
    setg(m_buffer.get(), data, data);
    if (at >= m_length) {
      if (damaged()) throwDataError();
      return traits_type::eof();
    }
    size_t want = static_cast<size_t>(std::min<uint64_t>(m_blockSize, m_length - at));
    size_t got = ReadSome(at, data, want);
    if (got < want) {
      m_bad = true;  // the source ends early or fails
      m_length = at + got;
    }
    if (m_checkCrc && at == m_crcAt) {
      m_crc = Crc32Update(static_cast<uint32_t>(m_crc), reinterpret_cast<const unsigned char*>(data), got);
      m_crcAt += got;
    }
    setg(m_buffer.get(), data, data + got);
    if (got == 0) throwDataError();
    return traits_type::to_int_type(*data);
  }
  pos_type seekoff(off_type off, std::ios_base::seekdir way, std::ios_base::openmode which) override {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    const off_type here = static_cast<off_type>(m_start) + (gptr() - eback());
    const off_type base = way == std::ios_base::beg ? 0 : way == std::ios_base::cur ? here : static_cast<off_type>(m_length);
    const off_type to = base + off;
    if (to < 0 || to > static_cast<off_type>(m_length)) return pos_type(off_type(-1));
    const off_type first = static_cast<off_type>(m_start), last = first + (egptr() - eback());
    if (to >= first && to <= last) {
      setg(eback(), eback() + (to - first), egptr());
    } else {
      m_start = static_cast<uint64_t>(to);
      setg(m_buffer.get(), m_buffer.get(), m_buffer.get());
    }
    return pos_type(to);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }

 private:
  size_t ReadSome(uint64_t at, char* out, size_t count) {
    std::istream& in = *m_source;
    in.clear();
    if (!in.seekg(static_cast<std::streamoff>(m_offset + at))) return 0;
    in.read(out, static_cast<std::streamsize>(count));
    return static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0));
  }
  // At the end: the CRC-32 covers the bytes a reader skipped too.
  bool damaged() {
    if (m_bad || !m_checkCrc) return m_bad;
    if (m_crcAt < m_length) {
      std::unique_ptr<char[]> skipped(new char[m_blockSize]);
      while (m_crcAt < m_length && !m_bad) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(m_blockSize, m_length - m_crcAt));
        size_t got = ReadSome(m_crcAt, skipped.get(), want);
        m_crc = Crc32Update(static_cast<uint32_t>(m_crc), reinterpret_cast<const unsigned char*>(skipped.get()), got);
        m_crcAt += got;
        if (got < want) m_bad = true;
      }
    }
    if ((m_crc & 0xFFFFFFFFu) != m_expectedCrc) m_bad = true;
    m_checkCrc = false;
    return m_bad;
  }

  std::shared_ptr<std::istream> m_source;
  uint64_t m_offset;
  uint64_t m_length;
  bool m_bad;
  bool m_checkCrc;
  uint32_t m_expectedCrc;
  uLong m_crc = crc32(0, Z_NULL, 0);
  uint64_t m_crcAt = 0;  // the CRC-32 covers the bytes before this
  size_t m_blockSize;
  std::unique_ptr<char[]> m_buffer;
  uint64_t m_start = 0;  // where eback() stands in the range
};

class RangeStream : public std::istream {
 public:
  RangeStream(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length, bool bad, bool checkCrc,
              uint32_t crc)
      : std::istream(nullptr), m_buf(std::move(source), offset, length, bad, checkCrc, crc) {
    init(&m_buf);
  }
  void rewind() {
    m_buf.rewind();
    clear();
  }

 private:
  RangeBuf m_buf;
};

// A stream the caller owns and keeps alive: shared without ownership.
std::shared_ptr<std::istream> Borrowed(std::istream& in) { return std::shared_ptr<std::istream>(&in, [](std::istream*) {}); }

}  // namespace

// ---- ZelZipEntry

ZelZipEntry::ZelZipEntry(std::istream& source) : m_source(source), m_position(0), m_signature(0) {
  std::streampos here = source.tellg();
  m_position = here < 0 ? 0 : static_cast<uint64_t>(here);
  m_signature = read32();
}

ZelZipEntry::~ZelZipEntry() = default;

bool ZelZipEntry::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }

UnicodeString ZelZipEntry::getTypeName() const { return UnicodeString(u"ZelZipEntry"); }

uint32_t ZelZipEntry::getSignature(std::istream& stream) {
  std::streampos here = stream.tellg();
  uint32_t sig = read32(stream);
  stream.clear();
  if (here >= 0) stream.seekg(here);
  return sig;
}

uint32_t ZelZipEntry::read32(std::istream& stream) {
  unsigned char b[4];
  stream.read(reinterpret_cast<char*>(b), 4);
  return stream.gcount() == 4 ? Le32(b) : 0;
}

uint16_t ZelZipEntry::read16() {
  unsigned char b[2];
  m_source.read(reinterpret_cast<char*>(b), 2);
  return m_source.gcount() == 2 ? Le16(b) : 0;
}

uint32_t ZelZipEntry::read32() { return read32(m_source); }

// ---- ZelZipFileEntry

ZelZipFileEntry::ZelZipFileEntry(std::istream& source) : ZelZipFileEntry(source, SourceSize(source)) {}

// The package knows its source's size: no seek to the end per entry.
ZelZipFileEntry::ZelZipFileEntry(std::istream& source, uint64_t sourceSize)
    : ZelZipEntry(source), m_sourceSize(sourceSize) {
  m_versionNeeded = read16();
  m_flags = read16();
  m_method = read16();
  m_modTime = read16();
  m_modDate = read16();
  m_crc32 = read32();
  m_compressedSize = read32();
  m_uncompressedSize = read32();
  m_fileNameLength = read16();
  m_extraLength = read16();
  m_rawName.resize(m_fileNameLength);
  source.read(m_rawName.data(), m_fileNameLength);
  m_rawName.resize(static_cast<size_t>(std::max<std::streamsize>(source.gcount(), 0)));
  m_fileName = NameOf(m_rawName);
  m_dataOffset = m_position + kLocalHeaderSize + m_fileNameLength + m_extraLength;
  source.clear();
  source.seekg(static_cast<std::streamoff>(std::min(m_dataOffset + m_compressedSize, m_sourceSize)));
}

ZelZipFileEntry::~ZelZipFileEntry() = default;

bool ZelZipFileEntry::isA(unsigned int id) const { return id == getStaticTypeID() || ZelZipEntry::isA(id); }

UnicodeString ZelZipFileEntry::getTypeName() const { return UnicodeString(u"ZelZipFileEntry"); }

// Only data lying wholly inside the source is read, so a size in a crafted
// header never decides a read by itself.
bool ZelZipFileEntry::dataInSource() const {
  return !m_tooLarge && m_dataOffset <= m_sourceSize && m_compressedSize <= m_sourceSize - m_dataOffset;
}

std::shared_ptr<std::istream> ZelZipFileEntry::sourceForNewStream() {
  if (m_sharedSource != nullptr) return m_sharedSource;
  std::string bytes(m_compressedSize, '\0');
  if (m_compressedSize > 0 && !ReadAt(m_source, m_dataOffset, bytes.data(), m_compressedSize)) return nullptr;
  return std::make_shared<std::istringstream>(std::move(bytes));
}

// Stored data is as it was written: its size is compared at once and its
// CRC-32 over the bytes handed out. Encrypted entries cannot be checked, and
// other methods are handed out as they are.
std::istream* ZelZipFileEntry::getCompressedStream(bool newStream) {
  try {
    const bool inSource = dataInSource();
    const bool stored = (m_flags & 1) == 0 && m_method == STORED;
    // Stored data never yields more than the entry declares.
    uint64_t length = inSource ? m_compressedSize : 0;
    if (stored) length = std::min<uint64_t>(length, m_uncompressedSize);
    const bool bad = !inSource || (stored && m_compressedSize != m_uncompressedSize);
    if (newStream) {
      std::shared_ptr<std::istream> source = inSource ? sourceForNewStream() : nullptr;
      uint64_t offset = source == m_sharedSource ? m_dataOffset : 0;
      return new RangeStream(std::move(source), offset, length, bad, stored, m_crc32);
    }
    if (m_compressedStream == nullptr)
      m_compressedStream = std::make_unique<RangeStream>(Borrowed(m_source), m_dataOffset, length, bad, stored, m_crc32);
    static_cast<RangeStream*>(m_compressedStream.get())->rewind();
    return m_compressedStream.get();
  } catch (...) {
    return nullptr;
  }
}

std::istream* ZelZipFileEntry::getUncompressedStream(bool newStream) {
  if (m_method != DEFLATED || !dataInSource()) return getCompressedStream(newStream);  // the latter shows badbit
  try {
    auto make = [&](std::shared_ptr<std::istream> source, uint64_t offset) {
      auto* s = new ZelInflaterStream(std::move(source), offset, m_compressedSize);
      // Encrypted data cannot be checked, but is never let grow either.
      s->rdbuf()->expect(m_crc32, m_uncompressedSize, (m_flags & 1) == 0);
      return s;
    };
    if (newStream) {
      std::shared_ptr<std::istream> source = sourceForNewStream();
      return make(source, source != nullptr && source == m_sharedSource ? m_dataOffset : 0);
    }
    if (m_uncompressedStream == nullptr) m_uncompressedStream.reset(make(Borrowed(m_source), m_dataOffset));
    static_cast<ZelInflaterStream*>(m_uncompressedStream.get())->reset();
    return m_uncompressedStream.get();
  } catch (...) {
    return nullptr;
  }
}

// ---- ZelInflaterStreamBuf

ZelInflaterStreamBuf::ZelInflaterStreamBuf(const unsigned char* bytes, unsigned int length, bool copy)
    : m_bytes(bytes), m_length(length) {
  if (copy && length > 0) {
    m_copy.reset(new (std::nothrow) unsigned char[length]);
    if (m_copy == nullptr) {
      m_length = 0;
      m_error = true;
    } else {
      std::memcpy(m_copy.get(), bytes, length);
    }
    m_bytes = m_copy.get();
  }
  bool failed = m_error;
  reset();
  m_error = m_error || failed;
}

ZelInflaterStreamBuf::ZelInflaterStreamBuf(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length)
    : m_length(length), m_source(std::move(source)), m_offset(offset) {
  m_blockSize = static_cast<size_t>(std::clamp<uint64_t>(length, 1, kBlock));
  m_block.reset(new (std::nothrow) unsigned char[m_blockSize]);
  bool failed = m_source == nullptr || m_block == nullptr;
  reset();
  m_error = m_error || failed;
}

ZelInflaterStreamBuf::~ZelInflaterStreamBuf() {
  if (m_zsReady) inflateEnd(&m_zs);
}

void ZelInflaterStreamBuf::expect(uint32_t crc, uint64_t size, bool crcKnown) {
  m_check = true;
  m_checkCrc = crcKnown;
  m_expectedCrc = crc;
  m_expectedSize = size;
}

void ZelInflaterStreamBuf::reset() {
  if (m_zsReady) inflateEnd(&m_zs);
  m_zs = z_stream{};
  m_zsReady = inflateInit2(&m_zs, -MAX_WBITS) == Z_OK;
  if (m_source == nullptr) {
    m_zs.next_in = const_cast<Bytef*>(m_bytes);
    m_zs.avail_in = m_bytes == nullptr ? 0 : static_cast<uInt>(m_length);
  }
  m_taken = 0;
  m_crc = crc32(0, Z_NULL, 0);
  m_total = 0;
  m_done = false;
  m_error = !m_zsReady;
  if (m_buffer == nullptr) setg(nullptr, nullptr, nullptr);
  else setg(m_buffer.get(), m_buffer.get() + kPutBack, m_buffer.get() + kPutBack);
}

// Made on first need, no larger than the data the entry declares.
char* ZelInflaterStreamBuf::outputBuffer() {
  if (m_buffer == nullptr) {
    m_bufferSize = m_check ? static_cast<size_t>(std::clamp<uint64_t>(m_expectedSize, 4096, kOutput)) : kOutput;
    m_buffer.reset(new char[kPutBack + m_bufferSize]);
    setg(m_buffer.get(), m_buffer.get() + kPutBack, m_buffer.get() + kPutBack);
  }
  return m_buffer.get() + kPutBack;
}

size_t ZelInflaterStreamBuf::inflateInto(char* out, size_t room) {
  m_zs.next_out = reinterpret_cast<Bytef*>(out);
  m_zs.avail_out = static_cast<uInt>(std::min<size_t>(room, 1u << 30));
  while (m_zs.avail_out > 0 && !m_done && !m_error) {
    if (m_zs.avail_in == 0 && m_source != nullptr && m_taken < m_length) {
      // The next block of input, read where it lies.
      size_t want = static_cast<size_t>(std::min<uint64_t>(m_blockSize, m_length - m_taken));
      if (m_block == nullptr || !ReadAt(*m_source, m_offset + m_taken, m_block.get(), want)) {
        m_error = true;
        break;
      }
      m_taken += want;
      m_zs.next_in = m_block.get();
      m_zs.avail_in = static_cast<uInt>(want);
    }
    Bytef* before = m_zs.next_out;
    // Once all input is in, Z_FINISH: an entry that fits the room left is
    // inflated without a window to keep.
    const bool allIn = m_source == nullptr || m_taken == m_length;
    int r = inflate(&m_zs, allIn ? Z_FINISH : Z_NO_FLUSH);
    uInt made = static_cast<uInt>(m_zs.next_out - before);
    if (m_check && m_total + made > m_expectedSize) {
      // More than the entry declares: keep the declared bytes only.
      made = static_cast<uInt>(m_expectedSize - m_total);
      m_zs.next_out = before + made;
      m_error = true;
    }
    m_crc = Crc32Update(static_cast<uint32_t>(m_crc), before, made);
    m_total += made;
    if (m_error) break;
    if (r == Z_STREAM_END) {
      m_done = true;
      if (m_check && (m_total != m_expectedSize || (m_checkCrc && (m_crc & 0xFFFFFFFFu) != m_expectedCrc)))
        m_error = true;
    } else if (r == Z_BUF_ERROR) {
      if (m_zs.avail_out != 0) m_error = true;  // the data ends before its end
    } else if (r != Z_OK) {
      m_error = true;
    }
  }
  return static_cast<size_t>(reinterpret_cast<char*>(m_zs.next_out) - out);
}

ZelInflaterStreamBuf::int_type ZelInflaterStreamBuf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  char* data = outputBuffer();
  size_t keep = std::min<size_t>(kPutBack, static_cast<size_t>(gptr() - eback()));
  std::memmove(data - keep, gptr() - keep, keep);
  size_t got = inflateInto(data, m_bufferSize);
  setg(data - keep, data, data + got);
  if (got == 0) {
    if (m_error) throwDataError();
    return traits_type::eof();
  }
  return traits_type::to_int_type(*data);
}

// As a read byte by byte would: damage met before the count is reached
// throws, and the reading stream sets badbit.
std::streamsize ZelInflaterStreamBuf::xsgetn(char* out, std::streamsize count) {
  constexpr auto kDirect = static_cast<std::streamsize>(kOutput);
  std::streamsize n = 0;
  while (n < count) {
    if (gptr() < egptr()) {
      std::streamsize take = std::min<std::streamsize>(count - n, egptr() - gptr());
      std::memcpy(out + n, gptr(), static_cast<size_t>(take));
      gbump(static_cast<int>(take));
      n += take;
      continue;
    }
    if (count - n >= kDirect) {
      size_t got = inflateInto(out + n, static_cast<size_t>(count - n));
      if (got > 0) {
        n += static_cast<std::streamsize>(got);
        size_t keep = std::min<size_t>(kPutBack, static_cast<size_t>(n));
        char* data = outputBuffer();
        std::memcpy(data - keep, out + n - keep, keep);
        setg(data - keep, data, data);
        continue;
      }
      if (m_error) throwDataError();
      break;
    }
    if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
  }
  return n;
}

ZelInflaterStream::ZelInflaterStream(const unsigned char* bytes, unsigned int length, bool copy)
    : std::istream(nullptr), m_buf(bytes, length, copy) {
  init(&m_buf);
}

ZelInflaterStream::ZelInflaterStream(std::shared_ptr<std::istream> source, uint64_t offset, uint64_t length)
    : std::istream(nullptr), m_buf(std::move(source), offset, length) {
  init(&m_buf);
}

ZelInflaterStream::~ZelInflaterStream() = default;

void ZelInflaterStream::reset() {
  m_buf.reset();
  clear();
}

// ---- ZelZipFile

ZelZipFile::ZelZipFile() = default;

ZelZipFile::ZelZipFile(const char* path) { open(path); }

ZelZipFile::ZelZipFile(const UnicodeString& path) { open(path); }

ZelZipFile::ZelZipFile(std::istream* stream, bool owns) { open(stream, owns); }

ZelZipFile::ZelZipFile(const ZelZipFile& other)
    : m_source(other.m_source),
      m_sharedSource(other.m_sharedSource),
      m_entries(other.m_entries),
      m_byName(other.m_byName),
      m_relsById(other.m_relsById),
      m_relsByType(other.m_relsByType),
      m_relTargetModes(other.m_relTargetModes),
      m_contentTypesRead(other.m_contentTypesRead) {}

ZelZipFile& ZelZipFile::operator=(const ZelZipFile& other) {
  if (this == &other) return *this;
  releaseSource();
  m_source = other.m_source;
  m_ownsSource = false;
  m_sharedSource = other.m_sharedSource;
  m_entries = other.m_entries;
  m_byName = other.m_byName;
  m_relsById = other.m_relsById;
  m_relsByType = other.m_relsByType;
  m_relTargetModes = other.m_relTargetModes;
  m_contentTypesRead = other.m_contentTypesRead;
  return *this;
}

ZelZipFile::~ZelZipFile() {
  m_byName.clear();
  m_entries.clear();
  releaseSource();
}

void ZelZipFile::releaseSource() {
  m_sharedSource.reset();
  m_source = nullptr;
  m_ownsSource = false;
}

void ZelZipFile::open(const UnicodeString& path) {
  releaseSource();
  try {
    UnicodeString name(path);
    m_source = new ZelIFileStream(name.getTerminatedBuffer(), std::ios_base::in | std::ios_base::binary);
    m_sharedSource.reset(m_source);
    m_ownsSource = true;
  } catch (...) {
    m_source = nullptr;
  }
  init();
}

void ZelZipFile::open(const char* path) { open(path == nullptr ? UnicodeString() : UnicodeString::fromUTF8(path)); }

void ZelZipFile::open(std::istream* stream, bool owns) {
  releaseSource();
  m_source = stream;
  m_ownsSource = owns;
  if (owns && stream != nullptr) m_sharedSource.reset(stream);
  init();
}

ZelZipFileEntry* ZelZipFile::getFileEntry(unsigned int index) const {
  return index < m_entries.size() ? m_entries[index].get() : nullptr;
}

ZelZipFileEntry* ZelZipFile::getFileEntry(const UnicodeString& name) const {
  auto it = m_byName.find(name);
  return it == m_byName.end() ? nullptr : it->second.get();
}

bool ZelZipFile::isZipFile(std::istream* stream) {
  if (stream == nullptr) return false;
  uint32_t sig = ZelZipEntry::getSignature(*stream);
  return sig == ZelZipEntry::CENTRAL_HEADER || sig == ZelZipEntry::LOCAL_HEADER || sig == ZelZipEntry::END_OF_CENTRAL;
}

bool ZelZipFile::isZipFile(const UnicodeString& path) {
  UnicodeString name(path);
  ZelIFileStream in(name.getTerminatedBuffer(), std::ios_base::in | std::ios_base::binary);
  return in.is_open() && isZipFile(&in);
}

bool ZelZipFile::isZipFile(const char* path) {
  return path != nullptr && isZipFile(UnicodeString::fromUTF8(path));
}

void ZelZipFile::init() {
  m_entries.clear();
  m_byName.clear();
  m_relsById.clear();
  m_relsByType.clear();
  m_relTargetModes.clear();
  m_contentTypesRead = false;
  if (m_source == nullptr || m_source->fail()) return;
  try {
    std::streampos start = m_source->tellg();
    if (start < 0) return;
    uint64_t size = SourceSize(*m_source);
    uint64_t pos = static_cast<uint64_t>(start);
    bool sizesElsewhere = false;
    // Positions are 64-bit and only grow, so the walk always ends.
    while (pos + 4 <= size) {
      m_source->clear();
      m_source->seekg(static_cast<std::streamoff>(pos));
      uint32_t sig = ZelZipEntry::getSignature(*m_source);
      if (sig == ZelZipEntry::LOCAL_HEADER) {
        ZelPtr<ZelZipFileEntry> entry(new ZelZipFileEntry(*m_source, size));
        m_entries.push_back(entry);
        if ((entry->m_flags & 8) != 0 || entry->m_compressedSize == 0xFFFFFFFFu ||
            entry->m_uncompressedSize == 0xFFFFFFFFu)
          sizesElsewhere = true;
        pos = entry->m_dataOffset + entry->m_compressedSize;
        if (pos > size) break;
        // A writer that knew the sizes early still puts the checksum after
        // the data: the descriptor there completes the entry.
        unsigned char d[16];
        if ((entry->m_flags & 8) != 0 && size - pos >= 16 && ReadAt(*m_source, pos, d, 16) &&
            Le32(d) == ZelZipEntry::DATA_DESCRIPTOR && Le32(d + 8) == entry->m_compressedSize) {
          entry->m_crc32 = Le32(d + 4);
          entry->m_uncompressedSize = Le32(d + 12);
        }
      } else if (sig == ZelZipEntry::DATA_DESCRIPTOR) {
        pos += 16;
      } else {
        break;
      }
    }
    if (sizesElsewhere) {
      std::vector<ZelPtr<ZelZipFileEntry>> listed;
      if (readCentralDirectory(size, listed)) m_entries.swap(listed);
    }
  } catch (...) {
    // Memory ran out: the entries found so far stand.
  }
  for (const auto& entry : m_entries) {
    entry->m_sharedSource = m_sharedSource;
    m_byName[entry->getFileName()] = entry;
  }
  m_source->clear();
}

// The list of the central directory, when every part of it is sound: its
// end record within the last 64 KiB and 22 bytes, counts, offsets and sizes
// inside the source, each entry's local header at its offset with the same
// name, and data ranges that do not overlap.
bool ZelZipFile::readCentralDirectory(uint64_t size, std::vector<ZelPtr<ZelZipFileEntry>>& out) {
  std::istream& in = *m_source;
  uint64_t tailSize = std::min(size, kEndSearch);
  if (tailSize < 22) return false;
  std::string tail(tailSize, '\0');
  if (!ReadAt(in, size - tailSize, tail.data(), tailSize)) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(tail.data());
  int64_t at = static_cast<int64_t>(tailSize) - 22;
  while (at >= 0 && Le32(t + at) != ZelZipEntry::END_OF_CENTRAL) --at;
  if (at < 0) return false;
  uint64_t endPos = size - tailSize + static_cast<uint64_t>(at);
  const unsigned char* end = t + at;
  uint64_t count = Le16(end + 10);
  uint64_t dirSize = Le32(end + 12);
  uint64_t dirOffset = Le32(end + 16);
  if (count == 0xFFFF || dirSize == 0xFFFFFFFFu || dirOffset == 0xFFFFFFFFu) {
    unsigned char locator[20];
    unsigned char end64[56];
    if (endPos < 20 || !ReadAt(in, endPos - 20, locator, 20) || Le32(locator) != 0x07064B50u) return false;
    uint64_t end64Pos = Le64(locator + 8);
    if (end64Pos > endPos - 20 || endPos - 20 - end64Pos < 56 || !ReadAt(in, end64Pos, end64, 56) ||
        Le32(end64) != 0x06064B50u)
      return false;
    count = Le64(end64 + 32);
    dirSize = Le64(end64 + 40);
    dirOffset = Le64(end64 + 48);
  }
  if (dirOffset > size || dirSize > size - dirOffset || count > dirSize / kCentralHeaderSize) return false;

  struct Range {
    uint64_t begin, end;
  };
  std::vector<Range> ranges;
  uint64_t pos = dirOffset;
  const uint64_t dirEnd = dirOffset + dirSize;
  for (uint64_t i = 0; i < count; ++i) {
    unsigned char h[kCentralHeaderSize];
    if (dirEnd - pos < kCentralHeaderSize || !ReadAt(in, pos, h, kCentralHeaderSize) ||
        Le32(h) != ZelZipEntry::CENTRAL_HEADER)
      return false;
    uint16_t nameLength = Le16(h + 28), extraLength = Le16(h + 30), commentLength = Le16(h + 32);
    uint64_t recordSize = kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (dirEnd - pos < recordSize) return false;
    std::string name(nameLength, '\0'), extra(extraLength, '\0');
    if (!ReadAt(in, pos + kCentralHeaderSize, name.data(), nameLength) ||
        !ReadAt(in, pos + kCentralHeaderSize + nameLength, extra.data(), extraLength))
      return false;
    uint64_t compressed = Le32(h + 20), uncompressed = Le32(h + 24), local = Le32(h + 42);
    // Extra field 0x0001 holds, in this order, the values whose 32-bit
    // fields are all ones.
    const auto* x = reinterpret_cast<const unsigned char*>(extra.data());
    for (size_t off = 0; off + 4 <= extra.size();) {
      uint16_t id = Le16(x + off), len = Le16(x + off + 2);
      if (off + 4 + len > extra.size()) break;
      if (id == 0x0001) {
        size_t f = off + 4, fEnd = off + 4 + len;
        for (uint64_t* field : {&uncompressed, &compressed, &local}) {
          if (*field != 0xFFFFFFFFu) continue;
          if (fEnd - f < 8) return false;
          *field = Le64(x + f);
          f += 8;
        }
      }
      off += 4 + len;
    }
    if (local > size || size - local < kLocalHeaderSize) return false;
    in.clear();
    in.seekg(static_cast<std::streamoff>(local));
    ZelPtr<ZelZipFileEntry> entry(new ZelZipFileEntry(in, size));
    if (entry->getSignature() != ZelZipEntry::LOCAL_HEADER || entry->m_rawName != name) return false;
    if (entry->m_dataOffset > size || compressed > size - entry->m_dataOffset) return false;
    entry->m_versionNeeded = Le16(h + 6);
    entry->m_flags = Le16(h + 8);
    entry->m_method = Le16(h + 10);
    entry->m_modTime = Le16(h + 12);
    entry->m_modDate = Le16(h + 14);
    entry->m_crc32 = Le32(h + 16);
    // Sizes beyond 32 bits are more than an entry here holds: such an entry
    // is listed, as damaged, and the entries after it stay.
    entry->m_tooLarge = compressed > 0xFFFFFFFFu || uncompressed > 0xFFFFFFFFu;
    entry->m_compressedSize = static_cast<uint32_t>(std::min<uint64_t>(compressed, 0xFFFFFFFFu));
    entry->m_uncompressedSize = static_cast<uint32_t>(std::min<uint64_t>(uncompressed, 0xFFFFFFFFu));
    ranges.push_back({local, entry->m_dataOffset + compressed});
    out.push_back(entry);
    pos += recordSize;
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].begin < ranges[i - 1].end) return false;  // shared data: the zip-bomb layout
  return true;
}

}  // namespace ObraCommon
