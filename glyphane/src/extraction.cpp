// One extraction call (see extraction.h).
//
// Order of a path call: session, output target (the output path must fit
// its 316 bytes), compound file, property sets, "VisioDocument", log,
// output file, structure pass, text pass, release, result. A "2" call takes
// the caller's storage and target instead, reads no property sets, and
// reports its result through the error callback.
//
// Whatever the code, a file the call created and left empty is removed;
// a file with text stays. A "2" call that continues a shared output
// writes no byte-order mark into it.
#include "extraction.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "byte_source.h"
#include "code_pages.h"
#include "dalvex/log.h"
#include "document_stream.h"
#include "field_format.h"
#include "header_footer.h"
#include "ostrand/stream_output.h"
#include "output_sink.h"
#include "picture_format.h"
#include "property_sets.h"
#include "text_output.h"

namespace glyphane {

namespace {

constexpr const char* kEngineName = "vsd";
constexpr const char* kDocumentStream = "VisioDocument";
constexpr const char* kAnnotationDatePicture = "yyyy'-'M'-'D";

// The structure pass reads the document for its tables and writes nothing.
class SilentSink final : public VsdSink {
 public:
  int32_t PageReached(int32_t) override { return 0; }
  int32_t PageName(TextRef) override { return 0; }
  int32_t HeaderFooter(const VsdSession&, TextRef) override { return 0; }
  int32_t ShapeText(TextRef) override { return 0; }
  int32_t MasterText(TextRef) override { return 0; }
  int32_t DataText(TextRef) override { return 0; }
  int32_t Annotation(double, std::string_view) override { return 0; }
  int32_t EmbeddedObject(const std::string&, bool* taken) override {
    *taken = false;  // the reader removes the object's file with the page
    return 0;
  }
  int32_t LineBreak() override { return 0; }
};

// What a call holds open. Close() releases it in the order callers rely
// on: the document stream, the compound file the call opened, the output
// file the call opened (removed when it was left empty), and last the log
// the call opened. Handles taken from the caller stay open.
struct Handles {
  uint32_t flags_a = 0;
  KVB_OleStorage* root = nullptr;
  KVB_OleStream* document = nullptr;
  KVB_FileHandle file = nullptr;
  bool own_file = false;
  std::string created;  // the path of the file the call created
  KVB_FileHandle log = nullptr;
  bool own_log = false;

  void Close() {
    if (document != nullptr) KVB_2OLEcloseStream(document);
    document = nullptr;
    if (root != nullptr) KVB_2OLEclose(root);
    root = nullptr;
    if (file != nullptr && own_file) {
      const bool empty = KVB_FileTell(file) == 0;
      KVB_FileClose(file);
      if (empty) RemoveCreated();
    }
    file = nullptr;
    if (log != nullptr && own_log) kvb_logfclose(static_cast<int>(flags_a), log);
    log = nullptr;
  }
  void RemoveCreated() {
    if (!created.empty()) KVB_ASC_remove(created.c_str());
    created.clear();
  }
  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() { Close(); }
};

// The session of one call: the reader's state, the kept document
// properties and the text output.
struct CallState {
  explicit CallState(const ExtractOptionsV4& options) : out(options) {
    session.flags_a = options.flags_a;
    session.text_code_page = TextCodePageOfLanguage(
        std::string(options.language, strnlen(options.language, sizeof options.language)).c_str());
  }
  VsdSession session;
  VsdPropertyRecord properties{};
  TextOutput out;
  std::string input_path;
  SourcePathParts path;

  // A property set's code page, when it states one, replaces both code
  // pages of the call.
  void TakePropertySetCodePage() {
    uint32_t text = session.text_code_page, output = out.output_code_page();
    ApplyPropertySetCodePage(properties.code_page, &text, &output);
    session.text_code_page = text;
    out.set_output_code_page(output);
  }

  FieldDocument Fields() const {
    FieldDocument document;
    document.output_code_page = out.output_code_page();
    document.properties = &properties;
    document.path = input_path;
    return document;
  }

  // Both passes read the document stream from one copy in memory: a part
  // is then used where it lies, and the compound file is read once, in
  // order. A stream beyond the bound, or one that cannot be read to its
  // end, is read part by part from the file instead.
  static constexpr uint64_t kWholeStreamBytes = uint64_t{64} << 20;
  PartBuffer stream_bytes;
  bool stream_loaded = false;
  bool stream_tried = false;

  int32_t Read(KVB_OleStream* stream, VsdSink& sink) {
    if (!stream_tried) {
      stream_tried = true;
      stream_loaded = ReadWholeStream(stream, kWholeStreamBytes, &stream_bytes);
    }
    FieldValueFormatter formatter(Fields());
    if (stream_loaded) {
      MemorySource source(std::string_view(reinterpret_cast<const char*>(stream_bytes.data()), stream_bytes.size()));
      return ReadVisioDocument(source, session, sink, formatter);
    }
    OleStreamSource source(stream);
    return ReadVisioDocument(source, session, sink, formatter);
  }

  // The structure pass: page mode with page 0 reaches no page; its result
  // is not looked at. What the text pass reads again is reset.
  void StructurePass(KVB_OleStream* stream) {
    session.page_mode = true;
    session.selected_page = 0;
    SilentSink silent;
    (void)Read(stream, silent);
    session.ResetForTextPass();
  }
};

// How a text pass ended.
struct PassOutcome {
  int32_t code = 0;
  bool text_written = false;
  bool has_kept = false;
  int32_t kept = 0;
  int32_t last_nested = 0;
  int64_t count = 0;
};

PassOutcome TextPass(CallState& state, KVB_OleStream* stream, ExtractOptionsV4& options,
                     ExtractOutputTarget* target, ExtractErrorCallback callback, const InterfaceCalls& calls) {
  OutputSink sink(state.out, state.session, options, target, callback, calls.port, state.path);
  sink.set_author_utf16(std::string(PropertyText(state.properties, VsdProperty::kAuthor)));
  sink.set_annotation_date([&state](double serial, std::string* text) {
    *text = FormatPicture(serial, Picture{kAnnotationDatePicture, state.session.text_code_page},
                          state.out.output_code_page());
    return 0;
  });
  PassOutcome outcome;
  outcome.code = state.Read(stream, sink);
  outcome.text_written = state.out.text_written();
  outcome.has_kept = sink.has_embedded_error();
  outcome.kept = sink.embedded_error();
  outcome.last_nested = sink.last_nested();
  outcome.count = state.out.count();
  return outcome;
}

int32_t PathCallSteps(const PathCall& call, const InterfaceCalls& calls, Handles& handles) {
  if (call.options == nullptr) return OtherError;
  ExtractOptionsV4& options = *call.options;
  auto state = std::make_unique<CallState>(options);
  handles.flags_a = options.flags_a;

  // The output target of the call's own nested extractions.
  auto target = std::make_unique<ExtractOutputTarget>();
  if (!call.stream_mode) {
    if (call.output_path == nullptr) return FileCantCreate;
    const size_t length = std::strlen(call.output_path);
    if (length >= sizeof target->path) return FilePathTooLong;
    std::memcpy(target->path, call.output_path, length);
  }
  if (call.input == nullptr) return FileCantOpen;
  state->input_path = call.input;
  state->path = SplitSourcePath(call.input);

  handles.root = KVB_2OLEopen(call.input);
  if (handles.root == nullptr) return FileCantOpen;
  if (ReadPropertySets(handles.root, state->session.text_code_page, &state->properties) != 0) return FileCantRead;
  handles.document = KVB_2OLEopenStream(handles.root, kDocumentStream);
  if (handles.document == nullptr) return FileCantOpen;

  char log_name[260] = {};
  if (GetLogFileName(call.stream_mode ? call.input : call.output_path, kEngineName, log_name) == 0 &&
      log_name[0] != '\0') {
    handles.log = kvb_logfopen(static_cast<int>(options.flags_a), log_name);
    handles.own_log = true;
  }
  target->log = handles.log;

  if (call.stream_mode) {
    if (call.stream == nullptr) return FileCantCreate;
    state->out.SetStream(call.stream);
  } else {
    handles.file = KVB_FileOpen(call.output_path, "wb");
    if (handles.file == nullptr) return FileCantCreate;
    handles.own_file = true;
    handles.created = call.output_path;
    state->out.SetFile(handles.file);
  }

  if (call.page_mode) state->TakePropertySetCodePage();
  state->StructurePass(handles.document);
  if (!call.page_mode) state->TakePropertySetCodePage();

  state->out.BeginOutput();
  state->session.page_mode = call.page_mode;
  state->session.selected_page = call.page_mode && call.page != nullptr ? *call.page : 0;
  PassOutcome pass = TextPass(*state, handles.document, options, target.get(), call.callback, calls);

  state.reset();
  target.reset();
  handles.Close();
  if (pass.code != 0) return pass.code;
  if (!pass.text_written) {
    handles.RemoveCreated();
    return NoTextStringFound;
  }
  if (!call.page_mode && pass.has_kept) return pass.kept;
  return 0;
}

// The steps of a "2" call up to its result; *report is set when the result
// goes through the callback rule.
int32_t NestedCallSteps(const NestedCall& call, const InterfaceCalls& calls, Handles& handles, bool* report,
                        int32_t* last_nested) {
  if (call.options == nullptr) return OtherError;
  ExtractOptionsV4& options = *call.options;
  auto state = std::make_unique<CallState>(options);
  handles.flags_a = options.flags_a;
  ExtractOutputTarget own_target{};
  ExtractOutputTarget* target = call.target != nullptr ? call.target : &own_target;
  handles.log = target->log;  // taken, not closed

  const bool caller_output = (options.flags_a & kFlagACallerOutput) != 0;
  int64_t start = 0;
  if (call.stream_mode || caller_output) start = std::max<int32_t>(target->count, 0);

  if (call.stream_mode) {
    if (call.stream == nullptr) return FileCantCreate;
    state->out.SetStream(call.stream);
  } else if (caller_output) {
    if (call.file == nullptr) return FileCantCreate;
    handles.file = call.file;
    state->out.SetFile(handles.file);
  } else {
    char name[260] = {};
    if (calls.get_output_name == nullptr || calls.get_output_name(target, name) != 0 || name[0] == '\0')
      return FileCantCreate;
    name[sizeof name - 1] = '\0';
    handles.file = KVB_FileOpen(name, "wb+");
    if (handles.file == nullptr) return FileCantCreate;
    handles.own_file = true;
    handles.created = name;
    state->out.SetFile(handles.file);
  }

  if (call.storage == nullptr) return FileCantOpen;
  handles.document = KVB_2OLEopenStream(call.storage, kDocumentStream);
  if (handles.document == nullptr) return FileCantOpen;

  // Only an output that holds nothing yet begins with a byte-order mark.
  const int64_t position = call.stream_mode ? KVB_StreamTell(call.stream) : KVB_FileTell(handles.file);
  state->out.set_count(start);
  state->StructurePass(handles.document);
  state->out.BeginOutput(position == 0);
  state->session.page_mode = false;
  state->session.selected_page = 0;
  *report = true;
  PassOutcome pass = TextPass(*state, handles.document, options, target, call.callback, calls);
  *last_nested = pass.last_nested;
  if (call.target != nullptr)
    call.target->count = static_cast<int32_t>(std::clamp<int64_t>(pass.count, 0, INT32_MAX));

  state.reset();
  handles.Close();
  if (pass.code != 0) return pass.code;
  if (!pass.text_written) return NoTextStringFound;
  // Under flag A 0x8000 the last embedded object's error is the result, as
  // for a whole document, so that it reaches the outermost caller.
  if (pass.has_kept) return pass.kept;
  return 0;
}

}  // namespace

int32_t RunPathCall(const PathCall& call, const InterfaceCalls& calls) {
  Handles handles;
  try {
    return PathCallSteps(call, calls, handles);
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory;
  } catch (const std::length_error&) {
    return NotEnoughMemory;
  } catch (...) {
    return OtherError;
  }
}

int32_t RunNestedCall(const NestedCall& call, const InterfaceCalls& calls) {
  bool report = false;
  int32_t last_nested = 0;
  int32_t code = 0;
  {
    Handles handles;
    try {
      code = NestedCallSteps(call, calls, handles, &report, &last_nested);
    } catch (const std::bad_alloc&) {
      code = NotEnoughMemory;
    } catch (const std::length_error&) {
      code = NotEnoughMemory;
    } catch (...) {
      code = OtherError;
    }
  }
  if (!report) return code;
  try {
    const int32_t level = call.target != nullptr ? call.target->level : 0;
    return ReportToCallback(call.callback, level, kEngineName, code, last_nested);
  } catch (...) {
    return code;
  }
}

}  // namespace glyphane
