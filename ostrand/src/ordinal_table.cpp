// Ostrand's ordinal table: its exports with the ordinals callers bind them by.
#include <iterator>

#include "ostrand/stream_output.h"

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {100, "KVB_WriteStream"},
    {101, "KVB_StreamTell"},
};

}  // namespace

extern "C" const win32::OrdinalEntry* ostrand_OrdinalTable(size_t* count) {
  if (count) *count = std::size(kOrdinals);
  return kOrdinals;
}
