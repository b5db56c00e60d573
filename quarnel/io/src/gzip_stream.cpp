#include "quarnel/gzip_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "crc32.h"
#include "quarnel/file_stream.h"

namespace ObraCommon {

namespace {

constexpr size_t kPutBack = 10;
constexpr size_t kChunk = 64 * 1024;  // read and inflated at a time: zlib is called seldom

// Thrown by underflow once every good byte is out; the owning istream
// catches it and sets badbit.
[[noreturn]] void throwDataError() { throw std::ios_base::failure("damaged gzip data"); }

std::string Utf8Of(const UnicodeString& text) {
  std::string s;
  text.toUTF8String(s);
  return s;
}

}  // namespace

ZelGzipStreamBuf::ZelGzipStreamBuf(const UnicodeString& path) { open(Utf8Of(path).c_str()); }

ZelGzipStreamBuf::ZelGzipStreamBuf(const unsigned short* path) { open(path); }

ZelGzipStreamBuf::ZelGzipStreamBuf(const char* path) { open(path); }

ZelGzipStreamBuf::ZelGzipStreamBuf(std::istream& source) : m_source(&source) {
  try {
    if (source.good()) source.rdbuf()->pubseekpos(0, std::ios_base::in);
    m_buffer.reset(new char[kPutBack + kChunk]);
    if (!checkHeader(source)) {
      m_mode = Mode::Pass;
      return;
    }
    m_input.reset(new unsigned char[kChunk]);
    m_zsReady = inflateInit2(&m_zs, -MAX_WBITS) == Z_OK;
    if (!m_zsReady) m_error = true;
  } catch (...) {
    // Memory or the source's own exception: the data reads as damaged.
    m_error = true;
    if (m_mode == Mode::Closed) m_mode = Mode::Gzip;
  }
}

ZelGzipStreamBuf::~ZelGzipStreamBuf() {
  if (m_gz != nullptr) gzclose(m_gz);
  if (m_zsReady) inflateEnd(&m_zs);
}

void ZelGzipStreamBuf::open(const unsigned short* path) {
  if (path == nullptr) return;
  open(Utf8Of(UnicodeString(reinterpret_cast<const char16_t*>(path))).c_str());
}

void ZelGzipStreamBuf::open(const char* path) {
  if (path == nullptr) return;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st{};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return;
  }
  char* buffer = new (std::nothrow) char[kPutBack + kChunk];
  if (buffer == nullptr) {
    ::close(fd);
    return;
  }
  m_gz = gzdopen(fd, "rb");
  if (m_gz == nullptr) {
    ::close(fd);
    delete[] buffer;
    return;
  }
  m_buffer.reset(buffer);
  m_mode = Mode::File;
}

template <class Next>
ZelGzipStreamBuf::Header ZelGzipStreamBuf::readHeader(Next next) {
  std::string seen;
  auto take = [&]() {
    int c = next();
    if (c >= 0) seen.push_back(static_cast<char>(c));
    return c;
  };
  if (take() != 0x1F || take() != 0x8B) return Header::NotGzip;
  int method = take();
  int flags = take();
  if (method != 8 || flags < 0 || (flags & 0xE0) != 0) return Header::NotGzip;
  for (int i = 0; i < 6; ++i)
    if (take() < 0) return Header::Damaged;
  if (flags & 4) {
    int lo = take();
    int hi = take();
    if (hi < 0) return Header::Damaged;
    for (int n = lo | (hi << 8); n > 0; --n)
      if (take() < 0) return Header::Damaged;
  }
  for (int bit : {8, 0x10}) {
    if ((flags & bit) == 0) continue;
    int c;
    while ((c = take()) > 0) {
    }
    if (c < 0) return Header::Damaged;
  }
  if (flags & 2) {
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(seen.data()), static_cast<uInt>(seen.size()));
    int lo = next();
    int hi = next();
    if (hi < 0 || static_cast<uLong>(lo | (hi << 8)) != (crc & 0xFFFF)) return Header::Damaged;
  }
  return Header::Ok;
}

bool ZelGzipStreamBuf::checkHeader(std::istream& source) {
  m_seen.clear();
  m_seenPos = 0;
  Header h = readHeader([&]() {
    int c = source.get();
    if (c == std::char_traits<char>::eof()) return -1;
    m_seen.push_back(static_cast<char>(c));
    return c & 0xFF;
  });
  if (h == Header::NotGzip) return false;
  m_mode = Mode::Gzip;
  if (h == Header::Damaged) m_error = true;
  return true;
}

int ZelGzipStreamBuf::nextInputByte() {
  if (m_zs.avail_in == 0 && !m_sourceEnd) {
    std::streamsize n = 0;
    try {
      m_source->read(reinterpret_cast<char*>(m_input.get()), kChunk);
      n = m_source->gcount();
      if (m_source->bad()) m_error = true;
    } catch (...) {
      m_error = true;
    }
    if (n <= 0) m_sourceEnd = true;
    m_zs.next_in = m_input.get();
    m_zs.avail_in = static_cast<uInt>(std::max<std::streamsize>(n, 0));
  }
  if (m_zs.avail_in == 0) return -1;
  --m_zs.avail_in;
  return *m_zs.next_in++;
}

bool ZelGzipStreamBuf::finishMember() {
  unsigned char trailer[8];
  for (unsigned char& b : trailer) {
    int c = nextInputByte();
    if (c < 0) return false;
    b = static_cast<unsigned char>(c);
  }
  auto le32 = [&](int at) {
    return static_cast<uLong>(trailer[at]) | (static_cast<uLong>(trailer[at + 1]) << 8) |
           (static_cast<uLong>(trailer[at + 2]) << 16) | (static_cast<uLong>(trailer[at + 3]) << 24);
  };
  if (le32(0) != (m_crc & 0xFFFFFFFFu) || le32(4) != (m_length & 0xFFFFFFFFu)) return false;
  // What follows a member: another member, or bytes that end the data.
  int first = nextInputByte();
  if (first < 0) {
    m_done = true;
    return true;
  }
  int second = nextInputByte();
  if (first != 0x1F || second != 0x8B) {
    m_done = true;
    return true;
  }
  int given = 0;
  Header h = readHeader([&]() {
    if (given < 2) return given++ == 0 ? first : second;
    return nextInputByte();
  });
  if (h != Header::Ok) return false;
  inflateReset(&m_zs);
  m_crc = crc32(0, Z_NULL, 0);
  m_length = 0;
  return true;
}

size_t ZelGzipStreamBuf::fillGzip(char* out, size_t room) {
  m_zs.next_out = reinterpret_cast<Bytef*>(out);
  m_zs.avail_out = static_cast<uInt>(room);
  while (m_zs.avail_out > 0 && !m_done && !m_error) {
    if (m_zs.avail_in == 0 && !m_sourceEnd) {
      int c = nextInputByte();
      if (c >= 0) {
        --m_zs.next_in;
        ++m_zs.avail_in;
      }
    }
    Bytef* before = m_zs.next_out;
    int r = inflate(&m_zs, Z_NO_FLUSH);
    uInt made = static_cast<uInt>(m_zs.next_out - before);
    m_crc = Crc32Update(static_cast<uint32_t>(m_crc), before, made);
    m_length += made;
    if (r == Z_STREAM_END) {
      if (!finishMember()) m_error = true;
    } else if (r == Z_BUF_ERROR) {
      if (m_zs.avail_in == 0 && m_sourceEnd) m_error = true;  // cut short
    } else if (r != Z_OK) {
      m_error = true;
    }
  }
  return room - m_zs.avail_out;
}

size_t ZelGzipStreamBuf::fillPassThrough(char* out, size_t room) {
  size_t got = 0;
  if (m_seenPos < m_seen.size()) {
    got = std::min(room, m_seen.size() - m_seenPos);
    std::memcpy(out, m_seen.data() + m_seenPos, got);
    m_seenPos += got;
    // The header check may have met the end of a short source.
    if (m_seenPos == m_seen.size()) m_source->clear();
    return got;
  }
  if (m_sourceEnd) return 0;
  try {
    if (m_seen.empty()) m_source->clear(m_source->rdstate() & ~std::ios_base::failbit & ~std::ios_base::eofbit);
    m_source->read(out, static_cast<std::streamsize>(room));
    got = static_cast<size_t>(std::max<std::streamsize>(m_source->gcount(), 0));
    if (m_source->bad()) m_error = true;
  } catch (...) {
    m_error = true;
  }
  if (got == 0) m_sourceEnd = true;
  return got;
}

ZelGzipStreamBuf::int_type ZelGzipStreamBuf::underflow() {
  if (m_buffer == nullptr) return traits_type::eof();
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  size_t keep = gptr() == nullptr ? 0 : std::min<size_t>(kPutBack, static_cast<size_t>(gptr() - eback()));
  char* data = m_buffer.get() + kPutBack;
  if (keep > 0) std::memmove(data - keep, gptr() - keep, keep);
  size_t got = 0;
  switch (m_mode) {
    case Mode::File: {
      int n = gzread(m_gz, data, kChunk);
      int err = Z_OK;
      gzerror(m_gz, &err);
      if (n < 0 || err != Z_OK) m_error = true;
      got = n > 0 ? static_cast<size_t>(n) : 0;
      break;
    }
    case Mode::Pass:
      got = fillPassThrough(data, kChunk);
      break;
    case Mode::Gzip:
      if (!m_error) got = fillGzip(data, kChunk);
      break;
    case Mode::Closed:
      break;
  }
  if (got == 0) {
    setg(data - keep, data, data);
    if (m_error) throwDataError();
    return traits_type::eof();
  }
  setg(data - keep, data, data + got);
  return traits_type::to_int_type(*data);
}

ZelGzipStream::ZelGzipStream(const UnicodeString& path) : std::istream(nullptr), m_buf(path) { init(&m_buf); }
ZelGzipStream::ZelGzipStream(const char* path) : std::istream(nullptr), m_buf(path) { init(&m_buf); }
ZelGzipStream::ZelGzipStream(std::istream& source) : std::istream(nullptr), m_buf(source) { init(&m_buf); }
ZelGzipStream::~ZelGzipStream() = default;

ZelGzipOStreamBuf::ZelGzipOStreamBuf(const UnicodeString& path) : m_ownsOut(true) {
  UnicodeString name(path);
  m_out = new ZelOFileStream(name.getTerminatedBuffer(), std::ios_base::out | std::ios_base::trunc |
                                                            std::ios_base::binary);
  setp(m_put, m_put + sizeof m_put);
}

ZelGzipOStreamBuf::ZelGzipOStreamBuf(std::ostream& out) : m_out(&out) { setp(m_put, m_put + sizeof m_put); }

ZelGzipOStreamBuf::~ZelGzipOStreamBuf() {
  sync();
  if (!m_anyMember && !m_failed) encodeBuffer(Z_FINISH);  // an empty member: still gzip data
  if (m_out != nullptr) m_out->flush();
  if (m_zsReady) deflateEnd(&m_zs);
  if (m_ownsOut) delete m_out;
}

bool ZelGzipOStreamBuf::initZStream() {
  if (m_zsReady) return deflateReset(&m_zs) == Z_OK;
  m_zsReady = deflateInit2(&m_zs, 9, Z_DEFLATED, MAX_WBITS + 16, 9, Z_DEFAULT_STRATEGY) == Z_OK;
  return m_zsReady;
}

bool ZelGzipOStreamBuf::writeOut(size_t count) {
  if (m_out == nullptr || m_failed) return false;
  m_out->write(reinterpret_cast<const char*>(m_outBuf), static_cast<std::streamsize>(count));
  if (!m_out->good()) m_failed = true;
  return !m_failed;
}

int ZelGzipOStreamBuf::encodeBuffer(int flush) {
  size_t pending = static_cast<size_t>(pptr() - pbase());
  setp(m_put, m_put + sizeof m_put);
  if (m_failed) return -1;
  if (!m_memberOpen) {
    if (pending == 0 && flush == Z_NO_FLUSH) return 0;
    if (!initZStream()) {
      m_failed = true;
      return -1;
    }
    m_memberOpen = true;
    m_anyMember = true;
  }
  m_zs.next_in = reinterpret_cast<Bytef*>(m_put);
  m_zs.avail_in = static_cast<uInt>(pending);
  for (;;) {
    m_zs.next_out = m_outBuf;
    m_zs.avail_out = sizeof m_outBuf;
    int r = deflate(&m_zs, flush);
    size_t have = sizeof m_outBuf - m_zs.avail_out;
    if (have > 0 && !writeOut(have)) return -1;
    if (r == Z_STREAM_END) {
      m_memberOpen = false;
      return 0;
    }
    if (r != Z_OK && r != Z_BUF_ERROR) {
      m_memberOpen = false;
      m_failed = true;
      return -1;
    }
    if (flush == Z_NO_FLUSH && m_zs.avail_in == 0 && m_zs.avail_out != 0) return 0;
  }
}

ZelGzipOStreamBuf::int_type ZelGzipOStreamBuf::overflow(int_type c) {
  if (encodeBuffer(Z_NO_FLUSH) < 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int ZelGzipOStreamBuf::sync() {
  if ((pptr() > pbase() || m_memberOpen) && encodeBuffer(Z_FINISH) < 0) return -1;
  if (m_out != nullptr && !m_failed) {
    m_out->flush();
    if (!m_out->good()) m_failed = true;
  }
  return m_failed ? -1 : 0;
}

ZelGzipOStream::ZelGzipOStream(const UnicodeString& path) : std::ostream(nullptr), m_buf(path) {
  init(&m_buf);
  if (!m_buf.is_open()) setstate(std::ios_base::failbit);
}

ZelGzipOStream::ZelGzipOStream(std::ostream& out) : std::ostream(nullptr), m_buf(out) { init(&m_buf); }

ZelGzipOStream::~ZelGzipOStream() = default;

}  // namespace ObraCommon
