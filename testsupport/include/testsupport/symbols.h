// The dynamic symbols a shared library defines, as `nm -D --defined-only`
// lists them, for tests that hold a library to its export list.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct DynamicSymbol {
  char type = 0;     // nm's letter: 'T' code, 'W' weak, 'V' weak object, ...
  std::string name;  // demangled when asked for, and then may hold blanks
};

// Empty when nm cannot be run on `library`.
std::vector<DynamicSymbol> DefinedDynamicSymbols(const std::string& library, bool demangled = false);

// The names of the defined functions (types T and W).
std::vector<std::string> DefinedFunctions(const std::string& library);

}  // namespace testsupport
