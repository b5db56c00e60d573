// The module that names Office Open XML packages through Quarnel, opened on
// first use (oox_bridge.cpp).
#pragma once

#include <iosfwd>

// File name of the module, looked for beside the detector.
#define PROBELIN_OOX_MODULE "libprobelin_oox.so"

extern "C" {
// The package type (0 when none) of a file, or of a stream from its
// current position, which is restored.
int probelin_oox_detect_path(const char* path);
int probelin_oox_detect_stream(std::istream* in);
}
