// The detector's one road into Quarnel, built as a module of its own and
// opened on the first package the detector meets. Quarnel brings ICU and the
// XML libraries with it; a process that only converts drawings, which loads
// the detector for every file, should not pay for mapping them.
#include <istream>

#include "oox_bridge.h"
#include "quarnel/zip_file.h"

extern "C" {

// Quarnel may throw, allocation included; here that is a package of no
// known type.
__attribute__((visibility("default"))) int probelin_oox_detect_path(const char* path) {
  try {
    return ObraCommon::ZelZipFile::detectOOXDocument(path);
  } catch (...) {
    return 0;
  }
}

__attribute__((visibility("default"))) int probelin_oox_detect_stream(std::istream* in) {
  try {
    return ObraCommon::ZelZipFile::detectOOXDocument(in);
  } catch (...) {
    return 0;
  }
}
}
