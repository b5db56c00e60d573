#include "quarnel/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

#include "error_raise.h"
#include "quarnel/error.h"
#include "quarnel/file_stream.h"
#include "win32/temp_folder.h"

namespace ObraCommon {

namespace {

constexpr int kOrigin = 27;
constexpr int kAttempts = 100;

std::string Utf8(const UnicodeString& text) {
  std::string s;
  text.toUTF8String(s);
  return s;
}

UnicodeString SystemError(int err) { return UnicodeString::fromUTF8(std::strerror(err)); }

}  // namespace

ZelTempFile::ZelTempFile() = default;

ZelTempFile::ZelTempFile(const char* dir, const char* prefix, const char* ext)
    : m_name(getTempFile(dir, prefix, ext)) {}

ZelTempFile::ZelTempFile(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext)
    : m_name(getTempFile(dir, prefix, ext)) {}

ZelTempFile::~ZelTempFile() {
  try {
    remove();
  } catch (const ZelError&) {
    // A destructor must not throw; the file stays behind.
  }
}

ZelCStr ZelTempFile::setFileName(const char* name) { return setFileName(UnicodeString(ZelCStr(name))); }

ZelCStr ZelTempFile::setFileName(const UnicodeString& name) {
  remove();
  m_name = name;
  return ZelCStr(m_name);
}

ZelCStr ZelTempFile::setFileName(const char* dir, const char* prefix, const char* ext) {
  remove();
  m_name = getTempFile(dir, prefix, ext);
  return ZelCStr(m_name);
}

ZelCStr ZelTempFile::setFileName(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext) {
  remove();
  m_name = getTempFile(dir, prefix, ext);
  return ZelCStr(m_name);
}

ZelCStr ZelTempFile::releaseFileName() {
  ZelCStr name(m_name);
  m_name.remove();
  return name;
}

void ZelTempFile::remove() const {
  if (m_name.isEmpty() || removeTempFile(m_name)) return;
  throwIOError(4109, kOrigin, m_name + UnicodeString(u" ") + SystemError(errno));
}

bool ZelTempFile::inflate(std::ostream& out, const unsigned char* data, unsigned int length) {
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(data);
  zs.avail_in = data == nullptr ? 0 : length;
  unsigned char chunk[4096];
  int r;
  do {
    zs.next_out = chunk;
    zs.avail_out = sizeof chunk;
    r = ::inflate(&zs, Z_NO_FLUSH);
    size_t made = sizeof chunk - zs.avail_out;
    if (made > 0) out.write(reinterpret_cast<const char*>(chunk), static_cast<std::streamsize>(made));
  } while (r == Z_OK);
  inflateEnd(&zs);
  return r == Z_STREAM_END && out.good();
}

bool ZelTempFile::inflate(const unsigned char* data, unsigned int length) const {
  UnicodeString name(m_name);
  ZelOFileStream out(name.getTerminatedBuffer(), std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
  if (!out.is_open()) return false;
  bool ok = inflate(out, data, length);
  out.close();
  return ok && !out.fail();
}

ZelCStr ZelTempFile::getTempFile(const char* dir, const char* prefix, const char* ext) {
  return getTempFile(dir == nullptr ? UnicodeString() : UnicodeString(ZelCStr(dir)),
                     UnicodeString(ZelCStr(prefix)), UnicodeString(ZelCStr(ext)));
}

ZelCStr ZelTempFile::getTempFile(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext) {
  static std::mutex lock;
  static uint32_t counter = [] {
    std::random_device seed;
    return static_cast<uint32_t>(std::mt19937(seed())());
  }();
  std::lock_guard<std::mutex> hold(lock);
  UnicodeString base = dir.isEmpty() ? UnicodeString(getTempDirectory()) : dir;
  int failures = 0;
  for (;;) {
    char number[32];
    std::snprintf(number, sizeof number, "%03x_%04x", static_cast<unsigned>(getpid()), counter++);
    UnicodeString name = base + prefix + UnicodeString(number, -1, US_INV) + ext;
    // Exclusive, and never through a link someone planted on the name.
    int fd = ::open(Utf8(name).c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return ZelCStr(name);
    }
    int err = errno;
    if (err == EEXIST) continue;
    if (++failures >= kAttempts)
      throwIOError(4110, kOrigin, name + UnicodeString(u" (cannot create)\n") + SystemError(err));
  }
}

bool ZelTempFile::removeTempFile(const char* name) { return name == nullptr || removeTempFile(UnicodeString(ZelCStr(name))); }

bool ZelTempFile::removeTempFile(const UnicodeString& name) {
  std::string path = Utf8(name);
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
  for (int i = 0; i < 10; ++i)
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  return false;
}

ZelCStr ZelTempFile::getTempDirectory() {
  std::string folder = win32::TempFolder();
  return ZelCStr(UnicodeString::fromUTF8(folder.empty() ? "./" : folder));
}

}  // namespace ObraCommon
