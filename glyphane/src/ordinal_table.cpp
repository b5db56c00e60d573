// Glyphane's ordinal table: the exports callers bind by ordinal. The table
// lives in a small static library for those callers; the plug-in itself
// exports its functions by name only.
#include "glyphane/ordinal_table.h"

#include "glyphane/glyphane.h"

namespace glyphane {

namespace {

constexpr win32::OrdinalEntry kOrdinals[] = {
    {kGlyphaneGetPropertyOrdinal, "GetProperty"},
    {kGlyphaneGetTextStreamOrdinal, "GetTextStreamWithErrCallback"},
    {kGlyphaneGetText2StreamOrdinal, "GetText2StreamWithErrCallback"},
    {kGlyphaneGetTextOrdinal, "GetTextWithErrCallback"},
    {kGlyphaneGetText2Ordinal, "GetText2WithErrCallback"},
    {kGlyphaneGetPageTextOrdinal, "GetPageTextWithErrCallback"},
    {kGlyphaneGetPageTextStreamOrdinal, "GetPageTextStreamWithErrCallback"},
};

}  // namespace

std::span<const win32::OrdinalEntry> OrdinalTable() { return std::span(kOrdinals); }

}  // namespace glyphane
