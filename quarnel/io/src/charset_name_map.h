// The converter's name for a charset name that documents use: the names
// of one charset family map to the one the engine loads.
#pragma once

namespace ObraCommon {

// charset itself when it is not one of the mapped names (null counts as
// empty).
const char* MapCharsetName(const char* charset);

}  // namespace ObraCommon
