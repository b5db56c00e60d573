// Cindral's ordinal table: its one export with the ordinal callers bind it by.
#include <iterator>

#include "cindral/key_value.h"

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {100, "kvb_GetKeyValue"},
};

}  // namespace

extern "C" const win32::OrdinalEntry* cindral_OrdinalTable(size_t* count) {
  if (count) *count = std::size(kOrdinals);
  return kOrdinals;
}
