// Vombril's ordinal table: its five entry points with the ordinals callers
// bind them by.
#include <iterator>

#include "vombril/vombril.h"

namespace vombril {

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {107, "GetTextStreamWithErrCallback"},
    {108, "GetTextWithErrCallback"},
    {109, "GetText4WithErrCallback"},
    {110, "GetText3WithErrCallback"},
    {111, "DecodeRar"},
};

}  // namespace

const win32::OrdinalEntry* OrdinalTable(size_t* count) {
  if (count != nullptr) *count = std::size(kOrdinals);
  return kOrdinals;
}

}  // namespace vombril
