// The file stream buffer and its two streams. A file the buffer opened
// itself is read through a get area of its own, filled by fread in large
// pieces, so that single characters cost no call; the FILE stays at the end
// of what the area holds, and every other operation first steps the FILE
// back to the stream's position. A seek to a byte the area holds only moves
// the read position in it (the zip reader seeks to each header and entry
// it reads). An adopted FILE may be used through stdio
// at any moment, so there the buffer keeps its areas empty and every
// character passes through uflow and overflow to the FILE. Bulk writes go
// to fwrite when no conversion facet is imbued; an imbued facet converts
// each character on its way. A buffer and its FILE belong to one thread at
// a time, so single characters take stdio's unlocked calls.
#include "quarnel/file_stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "win32/utf16.h"

namespace ObraCommon {

namespace {

using Codecvt = std::codecvt<char, char, std::mbstate_t>;

// Longest byte sequence one character may convert to; a facet that wants
// more is treated as failing.
constexpr size_t kMaxCharBytes = 64;

// The get area of a file the buffer opened: large enough that fread reads
// past the FILE's own buffer straight into it.
constexpr size_t kAreaBytes = size_t{64} << 10;
// Of a large read straight into the caller's buffer, the bytes kept in the
// area for putting back.
constexpr size_t kKeptBytes = 64;

// The FILE's buffer of a file opened for writing only: stdio's own, of a
// disk block, makes a system call of every write of a block or more.
constexpr size_t kWriteBufferBytes = size_t{64} << 10;

bool NamesDirectory(FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

// The streams tell a failed open or close by failbit.
void OpenOrFail(std::ios& stream, ZelFileStreamBuf& buf, const char16_t* path, int mode) {
  if (buf.open(path, mode) == nullptr) stream.setstate(std::ios::failbit);
}

void CloseOrFail(std::ios& stream, ZelFileStreamBuf& buf) {
  if (buf.close() == nullptr) stream.setstate(std::ios::failbit);
}

}  // namespace

std::string ZelFileStreamBuf::modeString(int mode) {
  const int in = std::ios::in;
  const int out = std::ios::out;
  const bool trunc = (mode & std::ios::trunc) != 0;
  switch (mode & (in | out)) {
    case std::ios::in: return "r";
    case std::ios::out:
      return !trunc && (mode & (std::ios::ate | std::ios::app)) != 0 ? "a" : "w";
    case std::ios::in | std::ios::out: return trunc ? "w+" : "a+";
    default: return "";
  }
}

ZelFileStreamBuf::ZelFileStreamBuf(FILE* file) {
  _Init(file, _Newfl);
  _Initcvt(&std::use_facet<Codecvt>(getloc()));
}

ZelFileStreamBuf::~ZelFileStreamBuf() {
  if (m_closeFile && m_file != nullptr) fclose(m_file);
}

void ZelFileStreamBuf::_Init(FILE* file, _Initfl which) {
  m_file = file;
  m_closeFile = which == _Openfl;
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
  m_state = std::mbstate_t{};
  m_savedState = std::mbstate_t{};
  m_scratch.clear();
  m_fileAt = -1;
}

void ZelFileStreamBuf::_Initcvt(const Codecvt* facet) {
  m_cvt = facet == nullptr || facet->always_noconv() ? nullptr : facet;
}

void ZelFileStreamBuf::imbue(const std::locale& loc) {
  dropReadAhead();
  _Initcvt(&std::use_facet<Codecvt>(loc));
}

// Steps the FILE back over what the get area holds unread and empties the
// area; false (the area kept) when the FILE cannot seek.
bool ZelFileStreamBuf::dropReadAhead() {
  m_fileAt = -1;  // the caller moves the FILE
  if (gptr() == nullptr) return true;
  const off_t unread = egptr() - gptr();
  if (unread > 0 && fseeko(m_file, -unread, SEEK_CUR) != 0) return false;
  setg(nullptr, nullptr, nullptr);
  return true;
}

// The next piece of the file into the get area; false at its end.
bool ZelFileStreamBuf::fillArea() {
  if (m_area == nullptr) m_area = std::make_unique<char[]>(kAreaBytes);
  const size_t n = fread(m_area.get(), 1, kAreaBytes, m_file);
  setg(m_area.get(), m_area.get(), m_area.get() + n);
  if (m_fileAt >= 0) m_fileAt += static_cast<off_type>(n);
  return n > 0;
}

// Moves the read position to target when the area holds it (or ends just
// before it); false otherwise. The FILE stays at the area's end.
bool ZelFileStreamBuf::seekInArea(off_type target) {
  if (gptr() == nullptr || !readsAhead()) return false;
  if (m_fileAt < 0) m_fileAt = ftello(m_file);
  const off_type start = m_fileAt - (egptr() - eback());
  if (m_fileAt < 0 || target < start || target > m_fileAt) return false;
  setg(eback(), eback() + (target - start), egptr());
  return true;
}

ZelFileStreamBuf* ZelFileStreamBuf::open(const char16_t* path, int mode) {
  if (path == nullptr) return nullptr;
  std::optional<std::string> narrow = win32::Utf16ToUtf8(std::u16string_view(path, win32::Utf16Length(path)));
  if (!narrow) return nullptr;
  return openUtf8(narrow->c_str(), mode);
}

ZelFileStreamBuf* ZelFileStreamBuf::open(const char16_t* path, short mode) {
  return open(path, static_cast<int>(mode));
}

ZelFileStreamBuf* ZelFileStreamBuf::open(const char* path, short mode) {
  if (path == nullptr) return nullptr;
  return openUtf8(path, mode);
}

ZelFileStreamBuf* ZelFileStreamBuf::openUtf8(const char* path, int mode) {
  if (m_file != nullptr) return nullptr;
  std::string letters = modeString(mode);
  if (letters.empty()) return nullptr;
  letters += 'e';  // close-on-exec
  FILE* file = fopen(path, letters.c_str());
  if (file == nullptr) return nullptr;
  // fopen reads a directory here; callers rely on a folder opening nothing.
  if (NamesDirectory(file)) {
    fclose(file);
    return nullptr;
  }
  if ((mode & std::ios::in) == 0) {
    if (m_writeBuffer == nullptr) m_writeBuffer = std::make_unique<char[]>(kWriteBufferBytes);
    setvbuf(file, m_writeBuffer.get(), _IOFBF, kWriteBufferBytes);
  }
  _Init(file, _Openfl);
  _Initcvt(&std::use_facet<Codecvt>(getloc()));
  return this;
}

ZelFileStreamBuf* ZelFileStreamBuf::close() {
  if (m_file == nullptr) return nullptr;
  int result = fclose(m_file);
  _Init(nullptr, _Closefl);
  return result == 0 ? this : nullptr;
}

ZelFileStreamBuf::int_type ZelFileStreamBuf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  if (pptr() != nullptr && pptr() < epptr()) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
  }
  if (m_file == nullptr || !dropReadAhead()) return traits_type::eof();
  if (m_cvt == nullptr) return putc_unlocked(ch, m_file) == EOF ? traits_type::eof() : ch;
  const char c = traits_type::to_char_type(ch);
  m_scratch.assign(8, '\0');
  for (;;) {
    const char* from_next = &c;
    char* to_next = m_scratch.data();
    std::codecvt_base::result r =
        m_cvt->out(m_state, &c, &c + 1, from_next, m_scratch.data(), m_scratch.data() + m_scratch.size(), to_next);
    if (r == std::codecvt_base::noconv) return fputc(ch, m_file) == EOF ? traits_type::eof() : ch;
    if (r == std::codecvt_base::error) return traits_type::eof();
    if (from_next == &c) {
      // Nothing consumed: more room may help, up to a bound.
      if (r != std::codecvt_base::partial || m_scratch.size() >= kMaxCharBytes) return traits_type::eof();
      m_scratch.append(8, '\0');
      continue;
    }
    size_t n = static_cast<size_t>(to_next - m_scratch.data());
    return fwrite(m_scratch.data(), 1, n, m_file) == n ? ch : traits_type::eof();
  }
}

ZelFileStreamBuf::int_type ZelFileStreamBuf::uflow() {
  if (gptr() != nullptr && gptr() < egptr()) {
    int_type ch = traits_type::to_int_type(*gptr());
    gbump(1);
    return ch;
  }
  if (m_file == nullptr) return traits_type::eof();
  if (readsAhead()) {
    if (!fillArea()) return traits_type::eof();
    int_type ch = traits_type::to_int_type(*gptr());
    gbump(1);
    return ch;
  }
  if (m_cvt == nullptr) {
    int c = getc_unlocked(m_file);
    return c == EOF ? traits_type::eof() : traits_type::to_int_type(static_cast<char>(c));
  }
  m_savedState = m_state;
  m_scratch.clear();
  for (;;) {
    int c = fgetc(m_file);
    if (c == EOF || m_scratch.size() >= kMaxCharBytes) return traits_type::eof();
    m_scratch.push_back(static_cast<char>(c));
    std::mbstate_t state = m_savedState;
    const char* from_next = nullptr;
    char out = 0;
    char* to_next = &out;
    std::codecvt_base::result r = m_cvt->in(state, m_scratch.data(), m_scratch.data() + m_scratch.size(),
                                            from_next, &out, &out + 1, to_next);
    if (r == std::codecvt_base::noconv) return traits_type::to_int_type(m_scratch[0]);
    if (r == std::codecvt_base::error) return traits_type::eof();
    if (to_next != &out) {
      m_state = state;
      return traits_type::to_int_type(out);
    }
  }
}

ZelFileStreamBuf::int_type ZelFileStreamBuf::underflow() {
  if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (m_file != nullptr && readsAhead()) {
    return fillArea() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
  }
  int_type ch = uflow();
  if (traits_type::eq_int_type(ch, traits_type::eof())) return ch;
  return pbackfail(ch);
}

ZelFileStreamBuf::int_type ZelFileStreamBuf::pbackfail(int_type ch) {
  const bool is_eof = traits_type::eq_int_type(ch, traits_type::eof());
  if (gptr() != nullptr && eback() < gptr() &&
      (is_eof || traits_type::eq_int_type(ch, traits_type::to_int_type(gptr()[-1])))) {
    gbump(-1);
    return traits_type::not_eof(ch);
  }
  if (m_file == nullptr || is_eof) return traits_type::eof();
  if (!dropReadAhead()) {
    // A FILE that cannot seek: the character takes the place before the
    // read position in the area.
    if (eback() == gptr()) return traits_type::eof();
    gbump(-1);
    *gptr() = traits_type::to_char_type(ch);
    return ch;
  }
  if (m_cvt == nullptr) return ungetc(ch, m_file) == EOF ? traits_type::eof() : ch;
  if (m_scratch.empty()) return traits_type::eof();
  for (size_t i = m_scratch.size(); i-- > 0;) {
    if (ungetc(static_cast<unsigned char>(m_scratch[i]), m_file) == EOF) return traits_type::eof();
  }
  m_scratch.clear();
  m_state = m_savedState;
  return ch;
}

ZelFileStreamBuf::pos_type ZelFileStreamBuf::seekoff(off_type offset, std::ios_base::seekdir way,
                                                     std::ios_base::openmode) {
  if (m_file == nullptr) return pos_type(off_type(-1));
  if (gptr() != nullptr && way != std::ios_base::end) {
    // Telling, and seeking inside the area, leave the area in place.
    if (m_fileAt < 0 && readsAhead()) m_fileAt = ftello(m_file);
    const off_t at = m_fileAt >= 0 ? m_fileAt : ftello(m_file);
    if (at < 0) return pos_type(off_type(-1));
    const off_type here = at - (egptr() - gptr());
    const off_type target = way == std::ios_base::beg ? offset : here + offset;
    if (target == here || seekInArea(target)) {
      pos_type result(target);
      result.state(m_state);
      return result;
    }
  }
  if (!dropReadAhead()) return pos_type(off_type(-1));
  int whence = way == std::ios_base::beg ? SEEK_SET : way == std::ios_base::cur ? SEEK_CUR : SEEK_END;
  if (fseeko(m_file, offset, whence) != 0) return pos_type(off_type(-1));
  off_t at = ftello(m_file);
  if (at < 0) return pos_type(off_type(-1));
  if (readsAhead()) m_fileAt = at;
  pos_type result(at);
  result.state(m_state);
  return result;
}

ZelFileStreamBuf::pos_type ZelFileStreamBuf::seekpos(pos_type position, std::ios_base::openmode) {
  if (m_file == nullptr) return pos_type(off_type(-1));
  if (seekInArea(off_type(position))) {
    m_state = position.state();
    m_scratch.clear();
    return position;
  }
  if (!dropReadAhead() || fseeko(m_file, off_type(position), SEEK_SET) != 0) return pos_type(off_type(-1));
  off_t at = ftello(m_file);
  if (at < 0) return pos_type(off_type(-1));
  if (readsAhead()) m_fileAt = at;
  m_state = position.state();
  m_scratch.clear();
  pos_type result(at);
  result.state(m_state);
  return result;
}

std::streambuf* ZelFileStreamBuf::setbuf(char* buffer, std::streamsize count) {
  if (m_file == nullptr || !dropReadAhead()) return nullptr;
  return setvbuf(m_file, buffer, _IOFBF, static_cast<size_t>(count)) == 0 ? this : nullptr;
}

int ZelFileStreamBuf::sync() {
  if (m_file == nullptr) return 0;
  // A FILE that cannot seek keeps what the area holds, as stdio does.
  dropReadAhead();
  return fflush(m_file) == 0 ? 0 : -1;
}

std::streamsize ZelFileStreamBuf::xsgetn(char* buffer, std::streamsize count) {
  if (m_file == nullptr || m_cvt != nullptr || count <= 0) return std::streambuf::xsgetn(buffer, count);
  if (!readsAhead()) return static_cast<std::streamsize>(fread(buffer, 1, static_cast<size_t>(count), m_file));
  std::streamsize done = 0;
  while (done < count) {
    if (gptr() < egptr()) {
      const std::streamsize n = std::min<std::streamsize>(egptr() - gptr(), count - done);
      std::memcpy(buffer + done, gptr(), static_cast<size_t>(n));
      gbump(static_cast<int>(n));
      done += n;
      continue;
    }
    const size_t want = static_cast<size_t>(count - done);
    if (want < kAreaBytes) {
      if (!fillArea()) break;
      continue;
    }
    // A large rest goes straight from the FILE into the caller's buffer;
    // the area then holds the last bytes of it, where a put-back finds
    // them (the area read before would give a byte from before the rest).
    const size_t n = fread(buffer + done, 1, want, m_file);
    if (m_fileAt >= 0) m_fileAt += static_cast<off_type>(n);
    done += static_cast<std::streamsize>(n);
    if (n > 0) {
      if (m_area == nullptr) m_area = std::make_unique<char[]>(kAreaBytes);
      const size_t kept = std::min(n, kKeptBytes);
      std::memcpy(m_area.get(), buffer + done - static_cast<std::streamsize>(kept), kept);
      setg(m_area.get(), m_area.get() + kept, m_area.get() + kept);
    }
    if (n < want) break;
  }
  return done;
}

std::streamsize ZelFileStreamBuf::xsputn(const char* buffer, std::streamsize count) {
  if (m_file == nullptr || m_cvt != nullptr || count <= 0) return std::streambuf::xsputn(buffer, count);
  if (!dropReadAhead()) return 0;
  return static_cast<std::streamsize>(fwrite(buffer, 1, static_cast<size_t>(count), m_file));
}

ZelIFileStream::ZelIFileStream() : std::istream(nullptr) { init(&m_buf); }

ZelIFileStream::ZelIFileStream(const char16_t* path, int mode) : std::istream(nullptr) {
  init(&m_buf);
  open(path, mode);
}

ZelIFileStream::~ZelIFileStream() = default;

void ZelIFileStream::open(const char16_t* path, int mode) { OpenOrFail(*this, m_buf, path, mode | std::ios::in); }

void ZelIFileStream::open(const char16_t* path, short mode) { open(path, static_cast<int>(mode)); }

void ZelIFileStream::close() { CloseOrFail(*this, m_buf); }

ZelOFileStream::ZelOFileStream() : std::ostream(nullptr) { init(&m_buf); }

ZelOFileStream::ZelOFileStream(const char16_t* path, int mode) : std::ostream(nullptr) {
  init(&m_buf);
  open(path, mode);
}

ZelOFileStream::~ZelOFileStream() = default;

void ZelOFileStream::open(const char16_t* path, int mode) { OpenOrFail(*this, m_buf, path, mode | std::ios::out); }

void ZelOFileStream::open(const char16_t* path, short mode) { open(path, static_cast<int>(mode)); }

void ZelOFileStream::close() { CloseOrFail(*this, m_buf); }

}  // namespace ObraCommon
