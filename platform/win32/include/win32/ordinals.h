// Exports by ordinal.
//
// Each deliverable exports its functions by name and keeps a constant table
// of {ordinal, name}; a caller that binds by ordinal looks the name up in the
// table and resolves it with dlsym.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace win32 {

struct OrdinalEntry {
  uint32_t ordinal;
  const char* name;
};

// The name of `ordinal` in `table`, or null.
const char* OrdinalName(std::span<const OrdinalEntry> table, uint32_t ordinal);

// The address of the export `ordinal` of the loaded library `library`
// (a dlopen handle), or null.
void* ProcByOrdinal(void* library, std::span<const OrdinalEntry> table, uint32_t ordinal);

}  // namespace win32
