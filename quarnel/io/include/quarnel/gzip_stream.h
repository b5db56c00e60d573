// Gzip streams (RFC 1952) over zlib. Input reads a file through zlib's gz
// reading, or a caller's stream with its own header check and raw inflate;
// data without a gzip header passes through unchanged. Every member of the
// data is read and its CRC-32 and length are checked. A reading error is
// reported after every good byte has been delivered: the buffer's underflow
// then throws, which the owning istream turns into badbit (rethrowing only
// when the caller asked for exceptions on badbit).
//
// Output compresses at level 9 to a file or a caller's stream. A flush
// completes the member written so far; later writes start a new member, so
// the result is always valid multi-member gzip data.
#pragma once

#include <zlib.h>

#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelGzipStreamBuf : public std::streambuf {
 public:
  explicit ZelGzipStreamBuf(const UnicodeString& path);
  explicit ZelGzipStreamBuf(const unsigned short* path);
  explicit ZelGzipStreamBuf(const char* path);
  explicit ZelGzipStreamBuf(std::istream& source);
  ZelGzipStreamBuf(const ZelGzipStreamBuf&) = delete;
  ZelGzipStreamBuf& operator=(const ZelGzipStreamBuf&) = delete;
  ~ZelGzipStreamBuf() override;

  bool is_open() const { return m_buffer != nullptr; }
  int_type underflow() override;

 protected:
  // Reads a gzip member header from source. The bytes it takes are kept,
  // so that data which is not gzip can be delivered from its first byte.
  bool checkHeader(std::istream& source);

 private:
  enum class Mode { Closed, File, Pass, Gzip };
  enum class Header { Ok, NotGzip, Damaged };
  template <class Next>
  static Header readHeader(Next next);

  void open(const unsigned short* path);
  void open(const char* path);
  int nextInputByte();
  size_t fillPassThrough(char* out, size_t room);
  size_t fillGzip(char* out, size_t room);
  bool finishMember();

  std::unique_ptr<char[]> m_buffer;
  gzFile m_gz = nullptr;
  std::istream* m_source = nullptr;
  z_stream m_zs{};
  std::unique_ptr<unsigned char[]> m_input;
  Mode m_mode = Mode::Closed;
  bool m_zsReady = false;
  bool m_sourceEnd = false;
  bool m_done = false;
  bool m_error = false;
  uLong m_crc = 0;
  uLong m_length = 0;
  std::string m_seen;    // header bytes taken by checkHeader
  size_t m_seenPos = 0;  // of m_seen, already delivered in pass-through
};

class QUARNEL_API ZelGzipStream : public std::istream {
 public:
  explicit ZelGzipStream(const UnicodeString& path);
  explicit ZelGzipStream(const char* path);
  explicit ZelGzipStream(std::istream& source);
  ZelGzipStream(const ZelGzipStream&) = delete;
  ZelGzipStream& operator=(const ZelGzipStream&) = delete;
  ~ZelGzipStream() override;
  bool is_open() const { return m_buf.is_open(); }

 private:
  ZelGzipStreamBuf m_buf;
};

class QUARNEL_API ZelGzipOStreamBuf : public std::streambuf {
 public:
  explicit ZelGzipOStreamBuf(const UnicodeString& path);
  explicit ZelGzipOStreamBuf(std::ostream& out);
  ZelGzipOStreamBuf(const ZelGzipOStreamBuf&) = delete;
  ZelGzipOStreamBuf& operator=(const ZelGzipOStreamBuf&) = delete;
  ~ZelGzipOStreamBuf() override;

  // False when the file form could not open its file.
  bool is_open() const { return m_out != nullptr && !m_out->fail(); }
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  int encodeBuffer(int flush);
  bool initZStream();
  bool writeOut(size_t count);

  // Written bytes are deflated, and deflated bytes written, 16 KiB at a
  // time: fewer calls, the same output.
  char m_put[16384];
  unsigned char m_outBuf[16384];
  std::ostream* m_out = nullptr;
  bool m_ownsOut = false;
  z_stream m_zs{};
  bool m_zsReady = false;
  bool m_memberOpen = false;
  bool m_anyMember = false;
  bool m_failed = false;
};

class QUARNEL_API ZelGzipOStream : public std::ostream {
 public:
  explicit ZelGzipOStream(const UnicodeString& path);
  explicit ZelGzipOStream(std::ostream& out);
  ZelGzipOStream(const ZelGzipOStream&) = delete;
  ZelGzipOStream& operator=(const ZelGzipOStream&) = delete;
  ~ZelGzipOStream() override;

 private:
  ZelGzipOStreamBuf m_buf;
};

}  // namespace ObraCommon
