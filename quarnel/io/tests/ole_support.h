// A compound file opened from bytes in memory, for the tests of the
// compound-file and property-set readers.
#pragma once

#include <sstream>
#include <string>

#include "quarnel/io_object.h"
#include "quarnel/ole_comp_file.h"

namespace quarnel_test {

struct OpenedCompoundFile {
  explicit OpenedCompoundFile(const std::string& bytes) : in(bytes), io(&in) { ok = file.OLEopen(&io); }
  std::istringstream in;
  ObraCommon::MekStreamIOobj io;
  ObraCommon::OleCompFile file;
  bool ok = false;
};

}  // namespace quarnel_test
