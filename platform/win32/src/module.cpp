// Module paths through dladdr, libraries loaded beside their caller.
#include "win32/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace win32 {

namespace {

// The running program's own file, whole.
std::string ProgramFile() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && static_cast<size_t>(n) < sizeof buffer ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

// Always a whole path, as later calls may run in another current folder:
// the dynamic linker names the program as it was started (perhaps
// "bin/tool"), so the program's file comes from /proc; a library is named
// as it was opened, which this file does with whole paths.
bool ModulePath(const void* address, std::string* file, std::string* folder) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  std::string path = info.dli_fname;
  if (path.empty() || path.front() != '/') {
    // The program's headers lie in its own mapping.
    Dl_info program{};
    const void* headers = reinterpret_cast<const void*>(getauxval(AT_PHDR));
    bool in_program = headers != nullptr && dladdr(headers, &program) != 0 && program.dli_fbase == info.dli_fbase;
    if (in_program || path.empty()) path = ProgramFile();
    if (path.empty() || path.front() != '/') {
      char* whole = realpath(info.dli_fname, nullptr);
      if (whole == nullptr) return false;
      path = whole;
      free(whole);
    }
  }
  if (file) *file = path;
  if (folder) {
    size_t slash = path.rfind('/');
    *folder = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  }
  return true;
}

void* LoadLibraryBeside(const void* caller, const std::string& name) {
  std::string folder;
  if (!ModulePath(caller, nullptr, &folder)) return nullptr;
  return dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace win32
