// Lookup of exports by ordinal (see ordinals.h).
#include "win32/ordinals.h"

#include <dlfcn.h>

namespace win32 {

const char* OrdinalName(std::span<const OrdinalEntry> table, uint32_t ordinal) {
  for (const OrdinalEntry& entry : table)
    if (entry.ordinal == ordinal) return entry.name;
  return nullptr;
}

void* ProcByOrdinal(void* library, std::span<const OrdinalEntry> table, uint32_t ordinal) {
  const char* name = OrdinalName(table, ordinal);
  if (library == nullptr || name == nullptr) return nullptr;
  return dlsym(library, name);
}

}  // namespace win32
