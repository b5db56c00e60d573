// ZelError: its constructors, message and position rules.
#include "quarnel/error.h"

#include <cstring>

#include "quarnel/util.h"

namespace ObraCommon {

namespace {

constexpr uint16_t kOutOfMemory = 2049;
constexpr uint16_t kStandardException = 2050;
constexpr uint16_t kWarningBit = 0x400;

}  // namespace

ZelError::ZelError() : m_code(0), m_line(-1), m_column(-1) {}

ZelError::ZelError(uint16_t code, const UnicodeString& message, const UnicodeString& source, int32_t lineNumber,
                   int32_t columnNumber, const UnicodeString& uri)
    : m_code(code), m_message(message), m_source(source), m_line(lineNumber), m_column(columnNumber), m_uri(uri) {}

ZelError::ZelError(const std::bad_alloc&, const UnicodeString& source)
    : m_code(kOutOfMemory), m_message(u"Out of memory."), m_source(source), m_line(-1), m_column(-1) {}

ZelError::ZelError(const std::exception& error, const UnicodeString& source)
    : m_code(kStandardException), m_message(u"C++ exception: "), m_source(source), m_line(-1), m_column(-1) {
  const char* what = error.what();
  // The default converter is UTF-8 here; a null code page names it.
  if (what != nullptr) m_message.append(UnicodeString(what, static_cast<int32_t>(std::strlen(what)), nullptr));
}

ZelError::ZelError(const ZelError& other) = default;
ZelError& ZelError::operator=(const ZelError& other) = default;
ZelError::~ZelError() = default;

UnicodeString ZelError::getPositionDescription() const {
  UnicodeString text;
  if (m_line != -1) text.append(u"Line ").append(ZelUtil::toString(m_line)).append(u", ");
  if (m_column != -1) text.append(u"Col ").append(ZelUtil::toString(m_column)).append(u", ");
  text.append(m_uri);
  return text;
}

UnicodeString ZelError::getMessage() const {
  UnicodeString position = getPositionDescription();
  if (position.isEmpty()) return m_message;
  UnicodeString text(m_message);
  return text.append(u'\n').append(position);
}

void ZelError::setMessage(const UnicodeString& message) {
  m_message = message;
  UnicodeString position = getPositionDescription();
  if (position.isEmpty()) return;
  UnicodeString tail = UnicodeString(u'\n') + position;
  if (m_message.endsWith(tail)) m_message.truncate(m_message.length() - tail.length());
}

void ZelError::appendMessage(const UnicodeString& message) {
  if (message.isEmpty()) return;
  if (!m_message.isEmpty()) m_message.append(u'\n');
  m_message.append(message);
}

void ZelError::throwFatalError() const {
  if (m_code == 0 || (m_code & kWarningBit) != 0) return;
  throw ZelError(*this);
}

}  // namespace ObraCommon
