// Cindral's internal seam for its tests: the library that provides
// DecodeRar, in place of libvombril.so beside Cindral.
#pragma once

#include <string>

namespace cindral {

// An empty path restores the library beside Cindral.
void SetDecoderLibraryForTesting(const std::string& path);

}  // namespace cindral
