// The extraction interface through the library's ordinals (see
// extraction_interface.h). The library is loaded on first use from the
// program's folder; when it or an export is missing, calls answer
// DllLoadFailed or DllFuncCantFound.
#include "bridge/extraction_interface.h"

#include <atomic>
#include <cstring>
#include <span>

#include <dlfcn.h>

#include "win32/module.h"
#include "win32/ordinals.h"

namespace shapeglean {
namespace {

class TravixLibrary : public ExtractionInterface {
 public:
  int32_t Detect(const std::string& source, FormatInfo* info) override {
    std::lock_guard<std::mutex> lock(guard_);
    if (int32_t failed = Bind()) return failed;
    if (detect_ == nullptr) return DllFuncCantFound;
    return detect_(source.c_str(), info);
  }

  int32_t GetText(const std::string& source, const std::string& destination, ExtractOptionsV4* options,
                  ExtractErrorCallback callback) override {
    std::lock_guard<std::mutex> lock(guard_);
    if (int32_t failed = Bind()) return failed;
    if (get_text_ == nullptr) return DllFuncCantFound;
    return get_text_(source.c_str(), destination.c_str(), options, callback);
  }

  int32_t GetProperty(const std::string& source, ExtractOptionsV4* options, DocPropertyRecord* record) override {
    std::lock_guard<std::mutex> lock(guard_);
    if (int32_t failed = Bind()) return failed;
    if (get_property_ == nullptr) return DllFuncCantFound;
    return get_property_(source.c_str(), options, record);
  }

 private:
  // Loads the library once; 0 when it is there.
  int32_t Bind() {
    if (library_ != nullptr) return 0;
    if (tried_) return DllLoadFailed;
    tried_ = true;
    library_ = win32::LoadLibraryBeside(reinterpret_cast<const void*>(&Extraction), "libtravix.so");
    if (library_ == nullptr) return DllLoadFailed;
    using TableFn = const win32::OrdinalEntry* (*)(size_t*);
    auto table_fn = reinterpret_cast<TableFn>(dlsym(library_, "travix_OrdinalTable"));
    if (table_fn == nullptr) return 0;
    size_t count = 0;
    const win32::OrdinalEntry* entries = table_fn(&count);
    std::span<const win32::OrdinalEntry> table(entries, entries ? count : 0);
    detect_ = reinterpret_cast<DetectFormatFn>(win32::ProcByOrdinal(library_, table, kDetectFormatOrdinal));
    get_text_ = reinterpret_cast<GetTextV4Fn>(win32::ProcByOrdinal(library_, table, kGetTextV4Ordinal));
    get_property_ = reinterpret_cast<GetPropertyV4Fn>(win32::ProcByOrdinal(library_, table, kGetPropertyV4Ordinal));
    return 0;
  }

  std::mutex guard_;
  bool tried_ = false;
  void* library_ = nullptr;
  DetectFormatFn detect_ = nullptr;
  GetTextV4Fn get_text_ = nullptr;
  GetPropertyV4Fn get_property_ = nullptr;
};

std::atomic<ExtractionInterface*> installed{nullptr};

}  // namespace

ExtractionInterface& Extraction() {
  static TravixLibrary library;
  ExtractionInterface* fake = installed.load();
  return fake ? *fake : library;
}

void SetExtraction(ExtractionInterface* fake) { installed.store(fake); }

bool IsListableVisio(int32_t result, const FormatInfo& info) {
  if (result != 0 || info.state != 0) return false;
  // The name must end inside the record.
  if (std::memchr(info.name, '\0', sizeof info.name) == nullptr) return false;
  for (const char* name : {"Visio 4.0", "Visio 5.0", "Visio 2000/2002", "Visio 2003/2007"})
    if (std::strcmp(info.name, name) == 0) return true;
  return false;
}

}  // namespace shapeglean
