// The process-wide temporary-name text: "s", the process id in base 32
// (digits 0-9, a-v), ".", and a counter in base 32 that is empty at first.
#pragma once

#include <cstdint>
#include <string>

namespace dalvex {

inline std::string Base32(uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % 32]);
    value /= 32;
  } while (value != 0);
  return out;
}

// The name for `pid` after `counter` advances: "sv8." for (1000, 0),
// "sv8.1" for (1000, 1).
inline std::string TempNameText(uint32_t pid, uint64_t counter) {
  return "s" + Base32(pid) + "." + (counter == 0 ? std::string() : Base32(counter));
}

}  // namespace dalvex
