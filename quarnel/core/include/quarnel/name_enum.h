// ZelNameEnum: the number of a name. 0 is the empty name, 1 to 1,597 the
// built-in names (quarnel/builtin_names.h gives those the library compares
// against), and 1,598 on the names added at run time to the shared name
// table, in the order of their first use.
#pragma once

#include <cstdint>

namespace ObraCommon {

using ZelNameEnum = int32_t;

inline constexpr ZelNameEnum ZEL_NAME_EMPTY = 0;
inline constexpr ZelNameEnum ZEL_NAME_LAST_BUILTIN = 1597;

}  // namespace ObraCommon
