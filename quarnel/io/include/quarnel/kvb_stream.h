// Charset-converting streams over the engine's converter. The input
// stream reads bytes in a named charset from a source stream and delivers
// UTF-16 code units in little-endian byte order; the output stream takes
// such units and writes them in a named charset to a target stream, with
// line-end conversion, an optional byte-order mark, an output byte limit
// and a raw bypass. The engine must have been started with its charsets
// loaded; otherwise every stream is simply not open. Nothing throws.
#pragma once

#include <unicode/unistr.h>

#include <istream>
#include <ostream>
#include <streambuf>

#include "dalvex/cconv.h"
#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelKVBStreamBuf : public std::streambuf {
 public:
  // A null charset lets ZelKVBStream::detectEncoding choose it from the
  // source (which must then be seekable).
  ZelKVBStreamBuf(std::istream* source, const char* charset);
  ZelKVBStreamBuf(const ZelKVBStreamBuf&) = delete;
  ZelKVBStreamBuf& operator=(const ZelKVBStreamBuf&) = delete;
  ~ZelKVBStreamBuf() override;

  // The start succeeded; stays true after the end of the input.
  bool is_open() const { return m_output != nullptr; }

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* out, std::streamsize count) override;

 private:
  bool init(const char* charset, bool bigEndian);
  bool convert();
  size_t readSource(char* at, size_t room);
  int refill(char* out, int kept, int capacity);
  void endSession();

  CconvSession m_session;
  std::istream* m_source;
  char* m_input = nullptr;   // raw source bytes; null once the input is used up
  char* m_output = nullptr;  // converted units, the get area
};

class QUARNEL_API ZelKVBStream : public std::istream {
 public:
  ZelKVBStream(std::istream* source, const char* charset);
  ZelKVBStream(const ZelKVBStream&) = delete;
  ZelKVBStream& operator=(const ZelKVBStream&) = delete;
  ~ZelKVBStream() override;

  bool is_open() const { return m_buf.is_open(); }

  // The charset of the stream's first 2,048 bytes and their byte order, as
  // the engine's encoding check names them. The stream is left at its
  // start. False when nothing could be read or no charset was named.
  static bool detectEncoding(std::istream* stream, UnicodeString& name, bool& bigEndian);
  // The same for the resource a path or URI (UTF-8) names; false when it
  // cannot be opened.
  static bool detectEncoding(const char* path, UnicodeString& name, bool& bigEndian);

 private:
  ZelKVBStreamBuf m_buf;
};

class QUARNEL_API ZelKVBOStreamBuf : public std::streambuf {
 public:
  // How the converter writes a line end: any value other than these writes
  // CR LF; the two separators only in targets wider than one byte.
  enum LF_CONVERT : int {
    LF_CRLF = 1,
    LF_CR = 2,
    LF_LF = 3,
    LF_LINE_SEPARATOR = 4,
    LF_PARAGRAPH_SEPARATOR = 5,
  };

  ZelKVBOStreamBuf(std::ostream* target, const char* charset, bool bigEndian = false, LF_CONVERT lineEnds = LF_CRLF,
                   bool byteOrderMark = false);
  ZelKVBOStreamBuf(const ZelKVBOStreamBuf&) = delete;
  ZelKVBOStreamBuf& operator=(const ZelKVBOStreamBuf&) = delete;
  ~ZelKVBOStreamBuf() override;

  bool is_open() const { return m_output != nullptr; }
  // 0: no limit. Bytes already written are not counted against it.
  void setLimit(unsigned limit) { m_limit = limit; }
  bool isLimitOver();
  std::ostream* getOutputStream();
  unsigned getOutputLength() const { return m_outputLength; }
  void writeRawBuffer(const char* data, unsigned n);
  void writeRawStream(std::istream& in);

 protected:
  int_type overflow(int_type ch) override;
  int sync() override;

 private:
  bool init(const char* charset, bool bigEndian, LF_CONVERT lineEnds, bool byteOrderMark);
  // Converts what the put area holds; with holdBase, also keeps back a last
  // character that a combining mark written next may join.
  void convertPut(bool holdBase);
  void convertStep(const char* input, int length, int& position);
  void emit(const char* bytes, unsigned n);
  void putRaw(const char* data, unsigned n);
  void endSession();

  CconvSession m_session;
  std::ostream* m_target;
  unsigned m_outputLength = 0;
  unsigned m_limit = 0;
  char* m_input = nullptr;      // the put area
  uint8_t* m_output = nullptr;  // converted bytes on their way to the target
};

class QUARNEL_API ZelKVBOStream : public std::ostream {
 public:
  ZelKVBOStream(std::ostream* target, const char* charset, bool bigEndian = false,
                ZelKVBOStreamBuf::LF_CONVERT lineEnds = ZelKVBOStreamBuf::LF_CRLF, bool byteOrderMark = false);
  ZelKVBOStream(const ZelKVBOStream&) = delete;
  ZelKVBOStream& operator=(const ZelKVBOStream&) = delete;
  ~ZelKVBOStream() override;

  // The string's code units as little-endian bytes; a bogus string writes
  // nothing.
  ZelKVBOStream& writeString(const UnicodeString& text);
  void setLimit(unsigned limit) { m_buf.setLimit(limit); }
  bool isLimitOver() { return m_buf.isLimitOver(); }
  std::ostream* getOutputStream() { return m_buf.getOutputStream(); }
  unsigned getOutputLength() const { return m_buf.getOutputLength(); }
  bool is_open() const { return m_buf.is_open(); }
  ZelKVBOStream& writeRawBuffer(const char* data, unsigned n);
  ZelKVBOStream& writeRawStream(std::istream& in);

 private:
  ZelKVBOStreamBuf m_buf;
};

}  // namespace ObraCommon
