// Binds the extraction interface's member operations lazily: the interface
// library is found beside Vombril, and each operation is looked up by its
// ordinal in the interface's table (409, 423), or by its name when the
// table does not list it. Nothing is cached until it resolves, so an
// interface that gains the operations later is found then.
#include "interface_port.h"

#include <mutex>
#include <span>

#include <dlfcn.h>

#include "win32/module.h"
#include "win32/ordinals.h"

namespace vombril {

namespace {

constexpr char kInterfaceLibrary[] = "libtravix.so";
constexpr uint32_t kMemberTextOrdinal = 409;
constexpr uint32_t kMemberTextStreamOrdinal = 423;

std::mutex guard;
const InterfacePort* test_port = nullptr;
InterfacePort bound;
void* library = nullptr;

typedef const win32::OrdinalEntry* (*OrdinalTableFn)(size_t* count);

void* Resolve(uint32_t ordinal, const char* name, int32_t* error) {
  if (library == nullptr) library = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&Resolve), kInterfaceLibrary);
  if (library == nullptr) {
    *error = DllLoadFailed;
    return nullptr;
  }
  void* symbol = nullptr;
  if (auto table_fn = reinterpret_cast<OrdinalTableFn>(dlsym(library, "travix_OrdinalTable"))) {
    size_t count = 0;
    const win32::OrdinalEntry* table = table_fn(&count);
    if (table != nullptr) symbol = win32::ProcByOrdinal(library, std::span(table, count), ordinal);
  }
  if (symbol == nullptr) symbol = dlsym(library, name);
  if (symbol == nullptr) *error = DllFuncCantFound;
  return symbol;
}

}  // namespace

void SetInterfacePortForTesting(const InterfacePort* port) {
  std::lock_guard<std::mutex> lock(guard);
  test_port = port;
}

int32_t CallMemberText(const char* path, KVB_FileHandle output, ExtractOptionsV4* options,
                       ExtractOutputTarget* target, ExtractErrorCallback callback) {
  MemberTextFn fn = nullptr;
  int32_t error = 0;
  {
    std::lock_guard<std::mutex> lock(guard);
    if (test_port != nullptr) {
      fn = test_port->member_text;
      if (fn == nullptr) error = DllFuncCantFound;
    } else {
      if (bound.member_text == nullptr)
        bound.member_text = reinterpret_cast<MemberTextFn>(Resolve(kMemberTextOrdinal, "GetMemberText", &error));
      fn = bound.member_text;
    }
  }
  return fn != nullptr ? fn(path, output, options, target, 2, callback) : error;
}

int32_t CallMemberTextStream(const char* path, std::ostream* output, ExtractOptionsV4* options,
                             ExtractOutputTarget* target, ExtractErrorCallback callback) {
  MemberTextStreamFn fn = nullptr;
  int32_t error = 0;
  {
    std::lock_guard<std::mutex> lock(guard);
    if (test_port != nullptr) {
      fn = test_port->member_text_stream;
      if (fn == nullptr) error = DllFuncCantFound;
    } else {
      if (bound.member_text_stream == nullptr)
        bound.member_text_stream = reinterpret_cast<MemberTextStreamFn>(
            Resolve(kMemberTextStreamOrdinal, "GetMemberTextStream", &error));
      fn = bound.member_text_stream;
    }
  }
  return fn != nullptr ? fn(path, output, options, target, 2, callback) : error;
}

}  // namespace vombril
