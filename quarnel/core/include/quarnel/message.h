// ZelMessage: a text formatted from a pattern and four text arguments, which
// the pattern refers to as {0} to {3} (ICU MessageFormat syntax).
#pragma once

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/shared_strings.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelMessage {
 public:
  // A pattern that fails to format leaves whatever ICU wrote.
  ZelMessage(const UnicodeString& pattern, const UnicodeString& arg0 = ZelEmptyString::EMPTY_VALUE,
             const UnicodeString& arg1 = ZelEmptyString::EMPTY_VALUE,
             const UnicodeString& arg2 = ZelEmptyString::EMPTY_VALUE,
             const UnicodeString& arg3 = ZelEmptyString::EMPTY_VALUE);
  ZelMessage(const ZelMessage& other);
  ZelMessage& operator=(const ZelMessage& other);
  ~ZelMessage();

  const UnicodeString& toString() const { return m_text; }
  operator const UnicodeString&() const { return m_text; }

 private:
  UnicodeString m_text;
};

}  // namespace ObraCommon
