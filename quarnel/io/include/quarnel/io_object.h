// I/O objects: random-access byte sources and sinks with an explicit
// Open/Close life and a flag word. The compound-file reader reads every
// compound file through one, a file on disk through MekFileIOobj and a file
// that arrives as an input stream through MekStreamIOobj. Nothing throws:
// failures are told by the results (false, -1, 0 bytes).
#pragma once

#include <cstdint>
#include <istream>

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API MekIOobj {
 public:
  enum : uint32_t {
    kOpened = 0x1,
    kMacBinary = 0x2,  // the data proper starts 128 bytes into the file
    kBinary = 0x4,
    kWritable = 0x8,
  };

  MekIOobj() = default;
  MekIOobj(const MekIOobj&) = delete;
  MekIOobj& operator=(const MekIOobj&) = delete;
  virtual ~MekIOobj();

  virtual bool Open() = 0;
  virtual bool Close() = 0;
  // Bytes moved, 0 at the end, -1 on error or when not supported.
  virtual int Read(char* buffer, int count);
  virtual int Write(const char* buffer, int count);
  // whence: 0 from the start, 1 from the current position, 2 from the end.
  virtual bool Seek(long offset, int whence);
  virtual long Tell();

  int Read(unsigned char* buffer, int count) { return Read(reinterpret_cast<char*>(buffer), count); }
  int Write(const unsigned char* buffer, int count) {
    return Write(reinterpret_cast<const char*>(buffer), count);
  }

  bool IsOpened() const { return (m_flags & kOpened) != 0; }
  bool IsMACBinary() const { return (m_flags & kMacBinary) != 0; }
  bool IsBinary() const { return (m_flags & kBinary) != 0; }
  bool IsWritable() const { return (m_flags & kWritable) != 0; }
  void SetOpened() { m_flags |= kOpened; }
  void SetMACBinary() { m_flags |= kMacBinary; }
  void SetBinary() { m_flags |= kBinary; }
  void SetWritable() { m_flags |= kWritable; }

  // Length of the data in bytes as measured by Open; -1 when it cannot be
  // told in 31 bits (2 GiB or more) or the source failed.
  int32_t GetSize() const { return m_size; }
  uint32_t GetFlags() const { return m_flags; }

 protected:
  uint32_t m_flags = 0;
  int32_t m_size = 0;
};

// Over the system's descriptor calls, on a path or on an adopted
// descriptor. Mode letters: 'r' read-only, 'w' writable, 'b' binary, 't'
// text (the two differ in nothing here but the flag); others are skipped.
class QUARNEL_API MekFileIOobj : public MekIOobj {
 public:
  MekFileIOobj(const char* path, const char* mode);
  // Adopts fd: Open uses it and Close closes it, after which the object
  // forgets it (the number may be given to another file), so a later Open
  // fails.
  MekFileIOobj(int fd, const char* mode);
  ~MekFileIOobj() override;

  bool Open() override;
  bool Close() override;
  using MekIOobj::Read;
  using MekIOobj::Write;
  int Read(char* buffer, int count) override;
  int Write(const char* buffer, int count) override;
  bool Seek(long offset, int whence) override;
  long Tell() override;

 protected:
  MekFileIOobj() = default;

 private:
  char* m_path = nullptr;
  int m_fd = -1;
};

// Over a caller-owned input stream, which it never deletes. Read-only.
class QUARNEL_API MekStreamIOobj : public MekIOobj {
 public:
  explicit MekStreamIOobj(std::istream* stream);
  ~MekStreamIOobj() override;

  bool Open() override;
  bool Close() override;
  using MekIOobj::Read;
  int Read(char* buffer, int count) override;
  bool Seek(long offset, int whence) override;
  long Tell() override;

 protected:
  MekStreamIOobj() = default;

 private:
  std::istream* m_stream = nullptr;
};

}  // namespace ObraCommon
