// File streams: a stream buffer of char over a stdio FILE opened from a
// UTF-16 (or UTF-8) path, and input and output streams that own one. A file
// the buffer opened itself is read ahead into the buffer's own get area; an
// adopted FILE is read and written byte by byte through its own buffering,
// so that the FILE used through stdio and through the stream keeps one
// order of bytes. A conversion facet imbued into the buffer's locale
// converts each character on its way.
#pragma once

#include <cstdio>
#include <istream>
#include <locale>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API ZelFileStreamBuf : public std::streambuf {
 public:
  // Adopts file when not null: the destructor leaves it open, close closes
  // it.
  explicit ZelFileStreamBuf(FILE* file = nullptr);
  ZelFileStreamBuf(const ZelFileStreamBuf&) = delete;
  ZelFileStreamBuf& operator=(const ZelFileStreamBuf&) = delete;
  ~ZelFileStreamBuf() override;

  // The mode carries std::ios_base::openmode bits. Null when a file is
  // already open, the mode names neither in nor out, the path is not
  // well-formed, names a directory or cannot be opened.
  ZelFileStreamBuf* open(const char16_t* path, int mode);
  ZelFileStreamBuf* open(const char16_t* path, short mode);
  ZelFileStreamBuf* open(const char* path, short mode);
  // Null when no file is held or fclose fails.
  ZelFileStreamBuf* close();
  bool is_open() const { return m_file != nullptr; }

  // The stdio mode string of an open mode ("" when it names neither in nor
  // out): the letters this buffer passes to fopen.
  static std::string modeString(int mode);

 protected:
  enum _Initfl { _Newfl, _Openfl, _Closefl };
  void _Init(FILE* file, _Initfl which);
  void _Initcvt(const std::codecvt<char, char, std::mbstate_t>* facet);

  void imbue(const std::locale& loc) override;
  int_type overflow(int_type ch) override;
  int_type pbackfail(int_type ch) override;
  int_type underflow() override;
  int_type uflow() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override;
  pos_type seekpos(pos_type position,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override;
  std::streambuf* setbuf(char* buffer, std::streamsize count) override;
  int sync() override;
  std::streamsize xsgetn(char* buffer, std::streamsize count) override;
  std::streamsize xsputn(const char* buffer, std::streamsize count) override;

 private:
  ZelFileStreamBuf* openUtf8(const char* path, int mode);
  // Reads ahead: a file of its own, no conversion.
  bool readsAhead() const { return m_closeFile && m_cvt == nullptr; }
  bool dropReadAhead();
  bool fillArea();
  bool seekInArea(off_type target);

  FILE* m_file = nullptr;
  bool m_closeFile = false;
  const std::codecvt<char, char, std::mbstate_t>* m_cvt = nullptr;
  std::mbstate_t m_state{};
  std::mbstate_t m_savedState{};
  std::string m_scratch;  // the bytes of the last character converted
  std::unique_ptr<char[]> m_area;  // the get area while reading ahead
  off_type m_fileAt = -1;          // where the FILE stands while reading ahead; -1: not known
  std::unique_ptr<char[]> m_writeBuffer;  // the FILE's buffer when the file is opened for writing only
};

class QUARNEL_API ZelIFileStream : public std::istream {
 public:
  ZelIFileStream();
  ZelIFileStream(const char16_t* path, int mode);
  ZelIFileStream(const ZelIFileStream&) = delete;
  ZelIFileStream& operator=(const ZelIFileStream&) = delete;
  ~ZelIFileStream() override;

  void open(const char16_t* path, int mode);
  void open(const char16_t* path, short mode);
  void close();
  bool is_open() const { return m_buf.is_open(); }
  ZelFileStreamBuf* rdbuf() const { return const_cast<ZelFileStreamBuf*>(&m_buf); }

 private:
  ZelFileStreamBuf m_buf;
};

class QUARNEL_API ZelOFileStream : public std::ostream {
 public:
  ZelOFileStream();
  ZelOFileStream(const char16_t* path, int mode);
  ZelOFileStream(const ZelOFileStream&) = delete;
  ZelOFileStream& operator=(const ZelOFileStream&) = delete;
  ~ZelOFileStream() override;

  void open(const char16_t* path, int mode);
  void open(const char16_t* path, short mode);
  void close();
  bool is_open() const { return m_buf.is_open(); }
  ZelFileStreamBuf* rdbuf() const { return const_cast<ZelFileStreamBuf*>(&m_buf); }

 private:
  ZelFileStreamBuf m_buf;
};

}  // namespace ObraCommon
