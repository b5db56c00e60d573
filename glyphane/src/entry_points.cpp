// Glyphane's exported entry points: each fills in the call of its kind and
// runs it (extraction.h) with the extraction interface bound for embedded
// objects and output names. GetProperty hands its arguments to Dalvex's
// SummaryInfo unchanged.
#include "glyphane/glyphane.h"

#include "extraction.h"
#include "travix/travix.h"

namespace {

const glyphane::InterfaceCalls& Interface() {
  static const glyphane::InterfaceCalls calls = [] {
    glyphane::InterfaceCalls c;
    c.port.get_insert_file_text = &GetInsertFileText;
    c.port.get_insert_file_text_stream = &GetInsertFileTextStream;
    c.get_output_name = &GetOutputName;
    return c;
  }();
  return calls;
}

int32_t RunPath(const char* input, const char* output_path, std::ostream* stream, bool stream_mode,
                ExtractOptionsV4* options, const int32_t* page, bool page_mode, ExtractErrorCallback callback) {
  glyphane::PathCall call;
  call.input = input;
  call.output_path = output_path;
  call.stream = stream;
  call.stream_mode = stream_mode;
  call.options = options;
  call.page = page;
  call.page_mode = page_mode;
  call.callback = callback;
  return glyphane::RunPathCall(call, Interface());
}

int32_t RunNested(KVB_OleStorage* storage, KVB_FileHandle file, std::ostream* stream, bool stream_mode,
                  ExtractOptionsV4* options, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  glyphane::NestedCall call;
  call.storage = storage;
  call.file = file;
  call.stream = stream;
  call.stream_mode = stream_mode;
  call.options = options;
  call.target = target;
  call.callback = callback;
  return glyphane::RunNestedCall(call, Interface());
}

}  // namespace

extern "C" {

int32_t GetTextWithErrCallback(const char* input, const char* output, ExtractOptionsV4* options, int /*value*/,
                               ExtractErrorCallback callback) {
  return RunPath(input, output, nullptr, false, options, nullptr, false, callback);
}

int32_t GetTextStreamWithErrCallback(const char* input, std::ostream* output, ExtractOptionsV4* options,
                                     int /*value*/, ExtractErrorCallback callback) {
  return RunPath(input, nullptr, output, true, options, nullptr, false, callback);
}

int32_t GetPageTextWithErrCallback(const char* input, const char* output, ExtractOptionsV4* options, int32_t* page,
                                   int /*value*/, ExtractErrorCallback callback) {
  return RunPath(input, output, nullptr, false, options, page, true, callback);
}

int32_t GetPageTextStreamWithErrCallback(const char* input, std::ostream* output, ExtractOptionsV4* options,
                                         int32_t* page, int /*value*/, ExtractErrorCallback callback) {
  return RunPath(input, nullptr, output, true, options, page, true, callback);
}

int32_t GetText2WithErrCallback(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                                int /*value*/, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  return RunNested(storage, output, nullptr, false, options, target, callback);
}

int32_t GetText2StreamWithErrCallback(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4* options,
                                      int /*value*/, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  return RunNested(storage, nullptr, output, true, options, target, callback);
}

int32_t GetProperty(const char* input, const ExtractOptionsV4* options, KVB_SummaryRecord* record,
                    const KVB_PropertyOptions* property_options) {
  return SummaryInfo(input, options, record, property_options);
}

}  // extern "C"
