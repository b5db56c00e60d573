// The bounds the own XML parser keeps on hostile input. Entity texts count
// against a budget of UTF-16 units delivered; the structural and length
// bounds end the input once passed (0x183C).
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
// UTF-16 units of one value the parser builds: an attribute value, a text
// (as next joins it, or as one token), a CDATA section, a comment, a
// processing instruction, a literal of a declaration (an entity value
// among them) and the document type declaration's text. A caller that
// expects larger ones raises it with XmlParserImpl::setValueLengthLimit.
inline constexpr int32_t kMaxValueLength = 10'000'000;

}  // namespace ObraCommon::XmlLimits
