// The system's default locale id (a Windows LCID such as 1033 for en_US),
// taken from the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty, mapped through ICU.
#pragma once

#include <cstdint>
#include <string>

namespace win32 {

// The locale id of a POSIX locale name ("ja_JP.UTF-8", "zh_CN.GB18030@x");
// 0 for "C", "POSIX", an empty or unknown name.
uint32_t LocaleIdOfName(const std::string& posix_name);

// The ICU name of a locale id (1041 → "ja_JP"); empty when unknown.
std::string LocaleNameOfId(uint32_t locale_id);

// The locale id of the environment's locale, 0 when none is chosen.
uint32_t SystemDefaultLocaleId();

}  // namespace win32
