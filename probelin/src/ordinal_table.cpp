// Probelin's ordinal table: the exports callers bind by ordinal. The table
// lives in a small static library for those callers; the plug-in itself
// exports its functions by name only.
#include "probelin/ordinal_table.h"

#include <iterator>

namespace probelin {

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {4, "KVB_FileDtct"},
    {5, "getMSOffice2007DataAsMemStream"},
};

}  // namespace

std::span<const win32::OrdinalEntry> OrdinalTable() { return std::span(kOrdinals); }

}  // namespace probelin
