// A test plug-in that exports the Visio extractor's entry-point names and
// counts its calls, loaded beside the real one to show that neither takes
// the other's calls.
#include <cstdint>

#include "dalvex/extract_records.h"

struct KVB_OleStorageRecord;

namespace {
int calls = 0;
}

extern "C" {

__attribute__((visibility("default"))) int twin_Calls() { return calls; }

__attribute__((visibility("default"))) int32_t GetTextWithErrCallback(const char*, const char*, ExtractOptionsV4*,
                                                                      int, ExtractErrorCallback) {
  ++calls;
  return 4321;
}

__attribute__((visibility("default"))) int32_t GetText2WithErrCallback(KVB_OleStorageRecord*, std::FILE*,
                                                                       ExtractOptionsV4*, int,
                                                                       ExtractOutputTarget*, ExtractErrorCallback) {
  ++calls;
  return 4321;
}

}  // extern "C"
