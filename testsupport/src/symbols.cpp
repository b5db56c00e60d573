#include "testsupport/symbols.h"

#include <cstdio>
#include <memory>

namespace testsupport {

std::vector<DynamicSymbol> DefinedDynamicSymbols(const std::string& library, bool demangled) {
  std::vector<DynamicSymbol> symbols;
  std::string command = std::string(demangled ? "nm -DC" : "nm -D") + " --defined-only '" + library + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return symbols;
  std::string text;
  char chunk[4096];
  while (std::fgets(chunk, sizeof chunk, pipe.get())) {
    text += chunk;
    if (text.back() != '\n' && !std::feof(pipe.get())) continue;  // a line longer than the chunk
    if (text.back() == '\n') text.pop_back();
    // "<address> <type> <name>"
    size_t first = text.find(' ');
    size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos && second == first + 2)
      symbols.push_back({text[first + 1], text.substr(second + 1)});
    text.clear();
  }
  return symbols;
}

std::vector<std::string> DefinedFunctions(const std::string& library) {
  std::vector<std::string> names;
  for (const DynamicSymbol& s : DefinedDynamicSymbols(library))
    if (s.type == 'T' || s.type == 'W') names.push_back(s.name);
  return names;
}

}  // namespace testsupport
