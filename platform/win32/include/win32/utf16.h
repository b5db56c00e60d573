// UTF-16 text (char16_t) to and from UTF-8, the narrow text of this
// platform. Ill-formed input fails; nothing is replaced silently.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace win32 {

// UTF-8 of a UTF-16 text; nothing when the text holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// UTF-16 of a UTF-8 text; nothing when the text is not well-formed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// Length in units of a NUL-terminated UTF-16 text.
size_t Utf16Length(const char16_t* text);

}  // namespace win32
