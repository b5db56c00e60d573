// Name numbers the XML layer compares against.
#pragma once

#include "quarnel/name_enum.h"

namespace ObraCommon {

// Built-in texts "http://www.w3.org/2000/xmlns/" and
// "http://www.w3.org/XML/1998/namespace": the namespace names Namespaces in
// XML reserves for xmlns attributes and for the prefix xml.
inline constexpr ZelNameEnum kXmlnsNamespaceName = 739;
inline constexpr ZelNameEnum kXmlNamespaceName = 740;

}  // namespace ObraCommon
