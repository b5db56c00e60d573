// Temporary files: an object that owns one file by name and removes it
// when it is replaced or destroyed, static operations that create and remove
// such files, and raw-deflate inflation into the file or any stream. Names
// are <folder><prefix><pid as %03x>_<counter as %04x><extension>, each file
// created exclusively (a name that exists, a link included, is skipped).
#pragma once

#include <ostream>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/zel_cstr.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelTempFile {
 public:
  ZelTempFile();
  ZelTempFile(const char* dir, const char* prefix, const char* ext);
  ZelTempFile(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext);
  ZelTempFile(const ZelTempFile&) = delete;
  ZelTempFile& operator=(const ZelTempFile&) = delete;
  // Removes the owned file; a failure to remove it is dropped here.
  ~ZelTempFile();

  bool isTempFile() const { return !m_name.isEmpty(); }
  ZelCStr getFileName() const { return ZelCStr(m_name); }
  ZelCStr setFileName(const char* name);
  ZelCStr setFileName(const UnicodeString& name);
  ZelCStr setFileName(const char* dir, const char* prefix, const char* ext);
  ZelCStr setFileName(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext);
  ZelCStr releaseFileName();
  // Throws ZelError 4109 when the file stays; the name is kept either way.
  void remove() const;

  bool inflate(const unsigned char* data, unsigned int length) const;
  static bool inflate(std::ostream& out, const unsigned char* data, unsigned int length);

  // Throws ZelError 4110 after 100 failed attempts.
  static ZelCStr getTempFile(const char* dir, const char* prefix, const char* ext);
  static ZelCStr getTempFile(const UnicodeString& dir, const UnicodeString& prefix, const UnicodeString& ext);
  static bool removeTempFile(const char* name);
  static bool removeTempFile(const UnicodeString& name);
  // Asked anew on every call; ends with "/".
  static ZelCStr getTempDirectory();

 private:
  UnicodeString m_name;
};

}  // namespace ObraCommon
