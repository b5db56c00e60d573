// The I/O objects over descriptors and over input streams.
#include "quarnel/io_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace ObraCommon {

namespace {

constexpr long kMacBinaryHeader = 128;

// A 64-bit length as the 31-bit size field holds it.
int32_t SizeField(long long length) {
  if (length < 0 || length > std::numeric_limits<int32_t>::max()) return -1;
  return static_cast<int32_t>(length);
}

// The flags of a mode text, letter by letter.
uint32_t ModeFlags(const char* mode) {
  uint32_t flags = 0;
  for (const char* c = mode; c != nullptr && *c != '\0'; ++c) {
    switch (*c) {
      case 'r': flags &= ~MekIOobj::kWritable; break;
      case 'w': flags |= MekIOobj::kWritable; break;
      case 'b': flags |= MekIOobj::kBinary; break;
      case 't': flags &= ~MekIOobj::kBinary; break;
      default: break;
    }
  }
  return flags;
}

int Whence(int whence) {
  switch (whence) {
    case 0: return SEEK_SET;
    case 1: return SEEK_CUR;
    case 2: return SEEK_END;
    default: return -1;
  }
}

}  // namespace

MekIOobj::~MekIOobj() = default;
int MekIOobj::Read(char*, int) { return -1; }
int MekIOobj::Write(const char*, int) { return -1; }
bool MekIOobj::Seek(long, int) { return false; }
long MekIOobj::Tell() { return -1; }

MekFileIOobj::MekFileIOobj(const char* path, const char* mode) {
  if (path != nullptr) m_path = strdup(path);
  m_flags = ModeFlags(mode);
}

MekFileIOobj::MekFileIOobj(int fd, const char* mode) : m_fd(fd) { m_flags = ModeFlags(mode); }

MekFileIOobj::~MekFileIOobj() {
  MekFileIOobj::Close();
  std::free(m_path);
}

bool MekFileIOobj::Open() {
  if (IsOpened()) return true;
  if (m_path != nullptr) {
    // Binary and text mode differ in nothing here; a writable open never
    // truncates.
    int flags = (IsWritable() ? (O_RDWR | O_CREAT) : O_RDONLY) | O_CLOEXEC;
    m_fd = ::open(m_path, flags, 0600);
    struct stat st;
    if (m_fd >= 0 && !IsWritable() && ::stat(m_path, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(m_fd);
      m_fd = -1;
    }
  }
  if (m_fd < 0) return false;
  SetOpened();
  if (!IsWritable()) {
    m_size = SizeField(::lseek(m_fd, 0, SEEK_END));
    ::lseek(m_fd, 0, SEEK_SET);
  }
  return true;
}

bool MekFileIOobj::Close() {
  if (!IsOpened()) return true;
  ::close(m_fd);
  m_flags &= ~kOpened;
  // A path opens again; an adopted number is no longer ours.
  m_fd = -1;
  return true;
}

int MekFileIOobj::Read(char* buffer, int count) {
  if (count < 0 || (buffer == nullptr && count > 0)) return -1;
  return static_cast<int>(::read(m_fd, buffer, static_cast<size_t>(count)));
}

int MekFileIOobj::Write(const char* buffer, int count) {
  if (count < 0 || (buffer == nullptr && count > 0)) return -1;
  return static_cast<int>(::write(m_fd, buffer, static_cast<size_t>(count)));
}

bool MekFileIOobj::Seek(long offset, int whence) {
  int way = Whence(whence);
  if (way < 0) return false;
  if (IsMACBinary() && whence == 0) offset += kMacBinaryHeader;
  return ::lseek(m_fd, offset, way) != -1;
}

long MekFileIOobj::Tell() {
  long position = ::lseek(m_fd, 0, SEEK_CUR);
  if (position < 0 || !IsMACBinary()) return position;
  return position - kMacBinaryHeader;
}

MekStreamIOobj::MekStreamIOobj(std::istream* stream) : m_stream(stream) { m_flags = kBinary; }
MekStreamIOobj::~MekStreamIOobj() = default;

bool MekStreamIOobj::Open() {
  if (IsOpened()) return true;
  if (m_stream == nullptr) {
    m_size = -1;
  } else {
    m_stream->seekg(0, std::ios::end);
    m_size = m_stream->fail() ? -1 : SizeField(static_cast<long long>(m_stream->tellg()));
    m_stream->seekg(0, std::ios::beg);
  }
  SetOpened();
  return true;
}

bool MekStreamIOobj::Close() { return true; }

int MekStreamIOobj::Read(char* buffer, int count) {
  if (m_stream == nullptr || count < 0 || (buffer == nullptr && count > 0)) return -1;
  if (m_stream->eof()) return 0;
  m_stream->read(buffer, count);
  return static_cast<int>(m_stream->gcount());
}

bool MekStreamIOobj::Seek(long offset, int whence) {
  if (m_stream == nullptr) return false;
  // A read that reached the end leaves eofbit and failbit; they say nothing
  // about where the next read may start, so a seek clears them first.
  m_stream->clear(m_stream->rdstate() & std::ios::badbit);
  std::ios::seekdir dir;
  switch (whence) {
    case 0:
      dir = std::ios::beg;
      if (IsMACBinary()) offset += kMacBinaryHeader;
      break;
    case 1: dir = std::ios::cur; break;
    case 2: dir = std::ios::end; break;
    default: return false;
  }
  if (!m_stream->fail()) m_stream->seekg(offset, dir);
  return !m_stream->fail();
}

long MekStreamIOobj::Tell() {
  if (m_stream == nullptr || m_stream->fail()) return -1;
  return static_cast<long>(m_stream->tellg());
}

}  // namespace ObraCommon
