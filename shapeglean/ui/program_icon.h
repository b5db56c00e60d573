// The program's icon (resource 115), drawn at start-up.
#pragma once

namespace shapeglean {

inline constexpr unsigned kProgramIcon = 115;

// Registers the icon under its resource number.
void RegisterProgramIcon();

}  // namespace shapeglean
