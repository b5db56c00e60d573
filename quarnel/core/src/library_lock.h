// The library-wide lock that a default ZelMutex holds. It is built on first
// use and never destroyed, so a static constructor or destructor of any
// part of the library can take it in any order. Later static locks follow
// the same pattern.
#pragma once

#include "quarnel/lock.h"

namespace ObraCommon {

ZelLock& libraryLock();

}  // namespace ObraCommon
