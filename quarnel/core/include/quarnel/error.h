// ZelError: the one exception class of the library, thrown by value. It
// carries a 16-bit code, a message, the place it arose (source), a line and
// column (-1 when unknown) and the URI of the document or resource it is
// about. Code bits 0xF800 are the category; bit 0x400 marks a warning,
// which throwFatalError does not throw.
#pragma once

#include <cstdint>
#include <exception>
#include <new>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/shared_strings.h"

namespace ObraCommon {

using icu::UnicodeString;

enum ZelErrorCategory : uint16_t {
  ZelErrorCodeOBRALIB = 0x0800,  // library, document model, serializer
  ZelErrorCodeIO = 0x1000,       // input and output
};

class QUARNEL_API ZelError {
 public:
  ZelError();
  ZelError(uint16_t code, const UnicodeString& message, const UnicodeString& source = ZelEmptyString::EMPTY_VALUE,
           int32_t lineNumber = -1, int32_t columnNumber = -1,
           const UnicodeString& uri = ZelEmptyString::EMPTY_VALUE);
  // Code 2049, "Out of memory.".
  ZelError(const std::bad_alloc& error, const UnicodeString& source);
  // Code 2050, "C++ exception: " and the exception's text read as UTF-8.
  ZelError(const std::exception& error, const UnicodeString& source);
  ZelError(const ZelError& other);
  ZelError& operator=(const ZelError& other);
  ~ZelError();

  uint16_t getErrorCode() const { return m_code; }
  void setErrorCode(uint16_t code) { m_code = code; }
  ZelErrorCategory getErrorCategory() const { return static_cast<ZelErrorCategory>(m_code & 0xF800u); }
  const UnicodeString& getRawMessage() const { return m_message; }
  void setRawMessage(const UnicodeString& message) { m_message = message; }
  const UnicodeString& getSource() const { return m_source; }
  void setSource(const UnicodeString& source) { m_source = source; }
  int32_t getLineNumber() const { return m_line; }
  void setLineNumber(int32_t line) { m_line = line; }
  int32_t getColumnNumber() const { return m_column; }
  void setColumnNumber(int32_t column) { m_column = column; }
  const UnicodeString& getUri() const { return m_uri; }
  void setUri(const UnicodeString& uri) { m_uri = uri; }

  // "Line <n>, " when the line is known, "Col <n>, " when the column is,
  // then the URI.
  UnicodeString getPositionDescription() const;
  // The raw message, and the position description on a line of its own
  // when there is one.
  UnicodeString getMessage() const;
  // Stores the text as the raw message, cutting off a trailing line feed
  // and position description, so the text of getMessage can be stored back.
  void setMessage(const UnicodeString& message);
  // Appends the text on a new line (no line feed into an empty message).
  void appendMessage(const UnicodeString& message);

  // Throws a copy unless the code is 0 or a warning.
  void throwFatalError() const;

 private:
  uint16_t m_code;
  UnicodeString m_message;
  UnicodeString m_source;
  int32_t m_line;
  int32_t m_column;
  UnicodeString m_uri;
};

}  // namespace ObraCommon
