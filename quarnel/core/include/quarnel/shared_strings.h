// The library's two shared texts: ZelEmptyString::EMPTY_VALUE, the default
// of every optional text argument and result, and
// ZelBogusString::BOGUS_VALUE, ICU's bogus (invalid) text, returned where a
// caller must tell "nothing found" from an empty text.
#pragma once

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelEmptyString : public UnicodeString {
 public:
  ZelEmptyString();
  ZelEmptyString(const ZelEmptyString& other);
  ZelEmptyString& operator=(const ZelEmptyString& other);
  ~ZelEmptyString() override;

  static const ZelEmptyString EMPTY_VALUE;
};

class QUARNEL_API ZelBogusString : public UnicodeString {
 public:
  ZelBogusString();
  // A copy of a bogus text is bogus as well.
  ZelBogusString(const ZelBogusString& other);
  ZelBogusString& operator=(const ZelBogusString& other);
  ~ZelBogusString() override;

  static const ZelBogusString BOGUS_VALUE;
};

}  // namespace ObraCommon
