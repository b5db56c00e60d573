// The extraction interface's exports. Until the engine's extractors are
// routed through here, every operation answers NotSuppoted (2002) and
// leaves the caller's records as they were.
#include "travix/travix.h"

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {kDetectFormatOrdinal, "DetectFormat"},
    {kGetTextV4Ordinal, "GetText_V4"},
    {kGetPropertyV4Ordinal, "GetProperty_V4"},
};

}  // namespace

extern "C" {

int32_t DetectFormat(const char* /*source*/, FormatInfo* /*info*/) { return NotSuppoted; }

int32_t GetText_V4(const char* /*source*/, const char* /*destination*/, ExtractOptionsV4* /*options*/,
                   ExtractErrorCallback /*callback*/) {
  return NotSuppoted;
}

int32_t GetProperty_V4(const char* /*source*/, ExtractOptionsV4* /*options*/, DocPropertyRecord* /*record*/) {
  return NotSuppoted;
}

const win32::OrdinalEntry* travix_OrdinalTable(size_t* count) {
  if (count != nullptr) *count = sizeof kOrdinals / sizeof kOrdinals[0];
  return kOrdinals;
}

}  // extern "C"
