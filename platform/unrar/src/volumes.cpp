// Volume names of a RAR set, found as the UnRAR library finds them: by the
// name of the volume given, counting up while the next name exists.
#include <cctype>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "unrar/unrar.h"

namespace unrar {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
  return true;
}

// The number `text` increased by one with the same digit count, or empty
// when it would need more digits.
std::string Increment(std::string digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return std::string();
}

// The name after `name` in its set, or empty.
std::string NextVolume(const std::string& name) {
  if (EndsWithNoCase(name, ".rar")) {
    // "<base>.partN.rar": the digits before ".rar" after ".part".
    size_t end = name.size() - 4, begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
    if (begin < end && begin >= 5 && EndsWithNoCase(name.substr(0, begin), ".part")) {
      std::string next = Increment(name.substr(begin, end - begin));
      return next.empty() ? next : name.substr(0, begin) + next + name.substr(end);
    }
    return name.substr(0, name.size() - 3) + name[name.size() - 3] + "00";
  }
  // ".r00", ".r01" ...: two digits after ".r".
  if (name.size() >= 4 && name[name.size() - 4] == '.' &&
      std::tolower(static_cast<unsigned char>(name[name.size() - 3])) == 'r' &&
      std::isdigit(static_cast<unsigned char>(name[name.size() - 2])) &&
      std::isdigit(static_cast<unsigned char>(name[name.size() - 1]))) {
    std::string next = Increment(name.substr(name.size() - 2));
    return next.empty() ? next : name.substr(0, name.size() - 2) + next;
  }
  return std::string();
}

}  // namespace

std::vector<std::string> VolumeNames(const std::string& first) {
  std::vector<std::string> names{first};
  constexpr size_t kMaxVolumes = 10000;
  for (std::string next = NextVolume(first); !next.empty() && names.size() < kMaxVolumes && Exists(next);
       next = NextVolume(next))
    names.push_back(next);
  return names;
}

}  // namespace unrar
