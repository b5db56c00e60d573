// The fixed type ids of the document model's classes. Stored and compared
// by callers (isA, getChildNodeByTypeID), so they are constants of their
// own, never derived from the class names.
#pragma once

namespace ObraCommon {

inline constexpr unsigned int kTypeIdZelNode = 0x74DC3393u;
inline constexpr unsigned int kTypeIdZelDocument = 0xF6B431AFu;
inline constexpr unsigned int kTypeIdZelElement = 0xD31942AAu;
inline constexpr unsigned int kTypeIdElement = 0xD27D366Cu;
inline constexpr unsigned int kTypeIdElementNS = 0xC08077FCu;
// The plain attribute answers with the abstract attribute's id and name.
inline constexpr unsigned int kTypeIdZelAttr = 0xC5B6A2E2u;
inline constexpr unsigned int kTypeIdAttrNS = 0x8EEE55FDu;
inline constexpr unsigned int kTypeIdZelTextNode = 0x92151179u;
inline constexpr unsigned int kTypeIdZelPINode = 0x1A6FA3CFu;
inline constexpr unsigned int kTypeIdZelDocumentFragment = 0x319C59B1u;
inline constexpr unsigned int kTypeIdZelNodeIterable = 0x548EE986u;
inline constexpr unsigned int kTypeIdZelNodeList = 0x316E063Eu;
inline constexpr unsigned int kTypeIdChildNodeList = 0xA76795D5u;
inline constexpr unsigned int kTypeIdTreeNodeList = 0x9814666Du;
inline constexpr unsigned int kTypeIdZelNamedNodeMap = 0x953D7483u;
inline constexpr unsigned int kTypeIdAttrNodeMap = 0xF49D3AEAu;

}  // namespace ObraCommon
