// ZelMessage over ICU's static MessageFormat::format.
#include "quarnel/message.h"

#include <unicode/fmtable.h>
#include <unicode/msgfmt.h>

namespace ObraCommon {

ZelMessage::ZelMessage(const UnicodeString& pattern, const UnicodeString& arg0, const UnicodeString& arg1,
                       const UnicodeString& arg2, const UnicodeString& arg3) {
  const icu::Formattable arguments[] = {icu::Formattable(arg0), icu::Formattable(arg1), icu::Formattable(arg2),
                                        icu::Formattable(arg3)};
  UErrorCode status = U_ZERO_ERROR;
  icu::MessageFormat::format(pattern, arguments, 4, m_text, status);
}

ZelMessage::ZelMessage(const ZelMessage& other) = default;
ZelMessage& ZelMessage::operator=(const ZelMessage& other) = default;
ZelMessage::~ZelMessage() = default;

}  // namespace ObraCommon
