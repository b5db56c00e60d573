// The two calls Glyphane makes into the outside extraction interface for
// an embedded object: the text of a compound file appended to a file, or to
// a stream. Until the interface is bound, a port without functions answers
// 1002 (the function cannot be found); tests put their own functions in.
#pragma once

#include <iosfwd>

#include "dalvex/compound_file.h"
#include "dalvex/extract_records.h"
#include "dalvex/portability.h"

namespace glyphane {

struct ExtractionPort {
  int (*get_insert_file_text)(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                              ExtractOutputTarget* target, ExtractErrorCallback callback) = nullptr;
  int (*get_insert_file_text_stream)(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4* options,
                                     ExtractOutputTarget* target, ExtractErrorCallback callback) = nullptr;

  int GetInsertFileText(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                        ExtractOutputTarget* target, ExtractErrorCallback callback) const {
    if (get_insert_file_text == nullptr) return DllFuncCantFound;
    return get_insert_file_text(storage, output, options, target, callback);
  }
  int GetInsertFileTextStream(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4* options,
                              ExtractOutputTarget* target, ExtractErrorCallback callback) const {
    if (get_insert_file_text_stream == nullptr) return DllFuncCantFound;
    return get_insert_file_text_stream(storage, output, options, target, callback);
  }
};

}  // namespace glyphane
