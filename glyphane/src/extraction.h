// One extraction call from start to end: what every entry point of the
// plug-in runs. A call sets up its session, opens the drawing (or takes the
// caller's storage), reads the document twice (a structure pass that writes
// nothing, then the text pass), writes the text through the text output and
// releases everything before it answers its result code.
//
// The calls into the extraction interface (embedded objects, the output
// name of the "2" file entry point) come in through InterfaceCalls, which
// the entry points bind to the interface and tests replace.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "dalvex/compound_file.h"
#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "extraction_port.h"

namespace glyphane {

struct InterfaceCalls {
  ExtractionPort port;
  // Names the file of a "2" file call without a caller's output: 0, or a
  // result code (a name that does not fit 260 bytes: 27).
  int (*get_output_name)(ExtractOutputTarget* target, char* name) = nullptr;
};

// A path or page entry point: the drawing at `input` into a new file at
// `output_path`, or into `stream` when that is set. `page` (1-based) selects
// one page; null reads the whole document.
struct PathCall {
  const char* input = nullptr;
  const char* output_path = nullptr;
  std::ostream* stream = nullptr;
  bool stream_mode = false;
  ExtractOptionsV4* options = nullptr;
  const int32_t* page = nullptr;
  bool page_mode = false;
  ExtractErrorCallback callback = nullptr;
};

// A "2" entry point: the drawing in the caller's `storage` into the
// caller's `file` (under flag A 0x4000), a file named by the interface, or
// `stream`.
struct NestedCall {
  KVB_OleStorage* storage = nullptr;
  KVB_FileHandle file = nullptr;
  std::ostream* stream = nullptr;
  bool stream_mode = false;
  ExtractOptionsV4* options = nullptr;
  ExtractOutputTarget* target = nullptr;
  ExtractErrorCallback callback = nullptr;
};

// Both answer an engine result code; nothing is thrown.
int32_t RunPathCall(const PathCall& call, const InterfaceCalls& calls);
int32_t RunNestedCall(const NestedCall& call, const InterfaceCalls& calls);

}  // namespace glyphane
