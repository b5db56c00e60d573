// Module paths through dladdr, libraries loaded beside their caller.
#include "win32/module.h"

#include <dlfcn.h>

namespace win32 {

bool ModulePath(const void* address, std::string* file, std::string* folder) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  std::string path = info.dli_fname;
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
