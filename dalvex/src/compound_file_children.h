// Inside Dalvex only: the children of a compound-file storage, for tools of
// the project that walk a whole file (the fuzzing harness). Callers of the
// engine find storages and streams by name instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"

namespace dalvex {

struct OleChild {
  std::string name;  // UTF-8, as KVB_2OLEopenStorage and KVB_2OLEopenStream take it
  uint8_t type;      // 1 storage, 2 stream, 5 root, other values as stored
};

// The storage's children in pre-order of their sibling tree, each directory
// entry at most once; empty for null or a storage without children.
std::vector<OleChild> ListChildren(KVB_OleStorage* storage);

}  // namespace dalvex
