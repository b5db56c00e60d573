// Dalvex's zip validity check, for the extraction interface: whether a file
// is a sound single-disk zip archive before anyone tries to unpack it. It
// reads the first local header's signature and the end-of-central-directory
// record; it reads no entry and inflates nothing.
#pragma once

#include "dalvex/export.h"

extern "C" {

// 1 when the file begins with a local header and ends (within the longest
// possible comment) with an end record of a single-disk archive whose
// central directory lies before that record; 0 otherwise or when the file
// cannot be opened.
DALVEX_API int isValidZipFile(const char* path);

}  // extern "C"
