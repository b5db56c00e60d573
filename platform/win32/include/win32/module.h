// Module paths and libraries loaded by file name.
#pragma once

#include <string>

namespace win32 {

// The file of the loaded module (program or shared library) that holds
// `address`, and its folder ending in '/'. False when no module holds it.
bool ModulePath(const void* address, std::string* file, std::string* folder);

// Loads the library `name` from the folder of the module holding `caller`
// (RTLD_NOW | RTLD_LOCAL, so plug-ins with equal export names never share
// the global symbol scope). Null on failure.
void* LoadLibraryBeside(const void* caller, const std::string& name);

}  // namespace win32
