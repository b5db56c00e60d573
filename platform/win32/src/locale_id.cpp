// The system's default locale id (see locale_id.h).
#include "win32/locale_id.h"

#include <cstdlib>

#include <unicode/uloc.h>

namespace win32 {

uint32_t LocaleIdOfName(const std::string& posix_name) {
  // The codeset after '.' and the modifier after '@' do not change the id.
  std::string name = posix_name.substr(0, posix_name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return 0;
  char canonical[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  uloc_canonicalize(name.c_str(), canonical, sizeof canonical, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) return 0;
  return uloc_getLCID(canonical);
}

std::string LocaleNameOfId(uint32_t locale_id) {
  if (locale_id == 0) return {};
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(locale_id, name, sizeof name, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING || length <= 0) return {};
  return std::string(name, static_cast<size_t>(length));
}

uint32_t SystemDefaultLocaleId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LocaleIdOfName(value);
  }
  return 0;
}

}  // namespace win32
