// The memory stream: a growable stream buffer of char made of equal-sized
// blocks, and the input/output stream over it. It is a write-then-read
// scratch stream and a buffering, seekable front for input streams that
// cannot seek, which it reads block by block on demand. Data never moves
// once written; positions are byte offsets from the start of the data.
// Nothing throws.
#pragma once

#include <deque>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API ZelMemStreamBuf : public std::streambuf {
 public:
  // growBytes 0 is taken as the default, 8192.
  explicit ZelMemStreamBuf(std::istream* source = nullptr, unsigned growBytes = 8192, bool owns = false);
  // An empty buffer with the other's grow-bytes and keep-memory setting.
  ZelMemStreamBuf(const ZelMemStreamBuf& other);
  ZelMemStreamBuf& operator=(const ZelMemStreamBuf&) = delete;
  ~ZelMemStreamBuf() override;

  // With keep memory false a forward reader holds at most two blocks.
  void setKeepMemory(bool keep) { m_keepMemory = keep; }
  // Queues a source behind the others; owned sources are deleted once used
  // up, cleared or destroyed.
  void setSource(std::istream* source, bool owns);
  // Reads every source to its end.
  unsigned length();
  // Empties the stream; one block stays, so grow-bytes is fixed from then.
  void remove();
  void appendToString(std::string& out);
  // n 0 takes the pattern up to its terminating zero.
  bool searchSeek(const char* pattern, unsigned n = 0);
  bool skipSeek(const char* pattern, unsigned n = 0);
  void seekEOL();
  unsigned getGrowBytes() const { return m_growBytes; }
  void setGrowBytes(unsigned growBytes);
  unsigned getRemains() const { return static_cast<unsigned>(egptr() - gptr()); }
  unsigned copyStream(std::istream& in, unsigned n);
  void abandonBuffer();
  unsigned getBuffer(const char*& data);
  void trim(unsigned n);
  unsigned calcOTFTableChecksum();

 protected:
  int_type overflow(int_type ch) override;
  int_type pbackfail(int_type ch) override;
  int_type underflow() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir way,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override;
  pos_type seekpos(pos_type position,
                   std::ios_base::openmode which = std::ios_base::in | std::ios_base::out) override;

  void appendBuffer(bool fresh);
  void flushBuffer();
  unsigned getIndex(const char* blockStart);

 private:
  static constexpr unsigned kNotFound = static_cast<unsigned>(-1);

  unsigned validEnd(size_t index) const;
  unsigned heldLength() const;
  void readSourceOnce();
  void dropFrontSource();
  void freeFrontBlock();
  bool ensureHeld(unsigned long long position);
  char byteAt(unsigned long long position) const;
  bool matchesAt(unsigned long long position, const char* pattern, unsigned n);
  unsigned long long readPosition();
  bool searchStart(const char* pattern, unsigned& n, unsigned long long& start);
  void placeGet(unsigned long long position);
  void setPut(size_t index, unsigned offset);

  std::deque<char*> m_blocks;
  unsigned m_current = 0;
  unsigned m_lastFill = 0;
  std::deque<std::istream*> m_sources;
  std::deque<bool> m_owns;
  unsigned m_growBytes;
  bool m_keepMemory = true;
};

class QUARNEL_API ZelMemStream : public std::iostream {
 public:
  explicit ZelMemStream(std::istream* source = nullptr, unsigned growBytes = 8192, bool owns = false);
  // Holds a copy of the other's whole data, with its read and write
  // positions.
  ZelMemStream(const ZelMemStream& other);
  ZelMemStream& operator=(const ZelMemStream&) = delete;
  ~ZelMemStream() override;

  ZelMemStreamBuf* rdbuf() const { return const_cast<ZelMemStreamBuf*>(&m_buf); }

  void setKeepMemory(bool keep) { m_buf.setKeepMemory(keep); }
  void setSource(std::istream* source, bool owns) { m_buf.setSource(source, owns); }
  unsigned length() { return m_buf.length(); }
  unsigned size() { return m_buf.length(); }
  bool isEmpty() { return m_buf.length() == 0; }
  bool empty() { return m_buf.length() == 0; }
  void appendToString(std::string& out) { m_buf.appendToString(out); }
  bool searchSeek(const char* pattern, unsigned n = 0) { return m_buf.searchSeek(pattern, n); }
  bool skipSeek(const char* pattern, unsigned n = 0) { return m_buf.skipSeek(pattern, n); }
  void seekEOL() { m_buf.seekEOL(); }
  unsigned copyStream(std::istream& in, unsigned n) { return m_buf.copyStream(in, n); }
  void abandonBuffer() { m_buf.abandonBuffer(); }
  unsigned getBuffer(const char*& data) { return m_buf.getBuffer(data); }
  void trim(unsigned n) { m_buf.trim(n); }
  void setGrowBytes(unsigned growBytes) { m_buf.setGrowBytes(growBytes); }
  unsigned calcOTFTableChecksum() { return m_buf.calcOTFTableChecksum(); }

  void remove();
  ZelMemStream& erase();
  ZelMemStream& begin();
  ZelMemStream& append(const std::string& bytes);
  ZelMemStream& operator+=(const std::string& bytes) { return append(bytes); }
  ZelMemStream& writeStr(const char* text);

 private:
  ZelMemStreamBuf m_buf;
};

}  // namespace ObraCommon
