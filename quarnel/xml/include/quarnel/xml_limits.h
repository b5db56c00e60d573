// The bounds the own XML parser keeps on hostile input. Entity texts count
// against a budget of UTF-16 units delivered; the structural bounds end the
// input once passed.
#pragma once

#include <cstdint>

namespace ObraCommon::XmlLimits {

// Entities whose text is being read at one time.
inline constexpr int kMaxOpenEntities = 64;
// Units entity texts may deliver; passed only when they are also more than
// kMaxExpansionRatio times the bytes read from the document.
inline constexpr int64_t kMaxEntityUnits = 8'000'000;
inline constexpr int64_t kMaxExpansionRatio = 100;
// Open elements, attributes of one tag, UTF-16 units of one name.
inline constexpr int kMaxDepth = 1 << 22;
inline constexpr int kMaxAttributes = 1 << 20;
inline constexpr int kMaxNameLength = 1 << 16;

}  // namespace ObraCommon::XmlLimits
