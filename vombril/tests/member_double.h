// A double of the extraction interface's member operations for Vombril's
// tests: it copies each unpacked file's bytes into the output, advances the
// target's running count by them, and records every call.
#pragma once

#include <string>
#include <vector>

#include "interface_port.h"

namespace vombril_test {

struct MemberCall {
  std::string path;
  bool existed = false;       // the unpacked file was there during the call
  std::string bytes;          // its content
  int32_t count_seen = 0;     // the target's running count on entry
  ExtractErrorCallback callback = nullptr;
  bool stream = false;
};

struct MemberDouble {
  std::vector<MemberCall> calls;
  std::vector<int32_t> results;  // the result of call i (0 beyond the list)

  // Binds the double for the lifetime of this object.
  MemberDouble();
  ~MemberDouble();
};

}  // namespace vombril_test
