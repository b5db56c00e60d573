// The extraction interface (see travix.h).
//
// The first operation starts the conversion engine (startProcess, then
// cconvLoadRule) once for the process; when either fails every operation
// answers 1003. The engine is ended once, when the library is unloaded at
// the end of the process.
//
// The detector and the extractors are loaded on first use from this
// library's own folder, each in its own symbol scope (the extractors export
// the same names), resolved by name through their ordinal tables and never
// unloaded. A missing library answers 1001, a missing export 1002; the RAR
// extractor is optional: when its file is not there, archives are not
// supported (2002).
//
// Nested extractions (embedded objects, archived files) raise the target's
// level by one around the call, so that callbacks see the depth, and are
// refused beyond three levels, so that a chain of embedded drawings cannot
// recurse without end.
#include "travix/travix.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <mutex>
#include <span>
#include <string>

#include "dalvex/cconv.h"
#include "glyphane/glyphane.h"
#include "glyphane/ordinal_table.h"
#include "probelin/ordinal_table.h"
#include "probelin/probelin.h"
#include "win32/module.h"

namespace {

constexpr int32_t kVisioFormat = 378;
constexpr int32_t kRarFormat = 373;
constexpr size_t kNameBytes = 260;

constexpr win32::OrdinalEntry kOrdinals[] = {
    {kGetOutputNameOrdinal, "GetOutputName"},
    {kDetectFormatOrdinal, "DetectFormat"},
    {kGetTextV4Ordinal, "GetText_V4"},
    {kGetPropertyV4Ordinal, "GetProperty_V4"},
    {kGetMemberTextOrdinal, "GetMemberText"},
    {kGetInsertFileTextOrdinal, "GetInsertFileText"},
    {kGetInsertFileTextStreamOrdinal, "GetInsertFileTextStream"},
    {kGetMemberTextStreamOrdinal, "GetMemberTextStream"},
};

// The RAR extractor's entry point that a whole archive goes to.
constexpr win32::OrdinalEntry kVombrilOrdinals[] = {{108, "GetTextWithErrCallback"}};
typedef int32_t (*VombrilGetTextFn)(const char* archive, const char* output, ExtractOptionsV4* options, int value,
                                    ExtractErrorCallback callback);

// ---- the engine ----

std::once_flag engine_once;
bool engine_ready = false;
bool engine_started = false;

int32_t EnsureEngine() {
  std::call_once(engine_once, [] {
    if (startProcess() != 1) return;
    engine_started = true;
    engine_ready = cconvLoadRule() == 1;
  });
  return engine_ready ? 0 : CantInitialize;
}

__attribute__((destructor)) void EndEngine() {
  if (engine_started) endProcess();
  engine_started = false;
}

// ---- the plug-ins ----

const void* Self() { return reinterpret_cast<const void*>(&travix_OrdinalTable); }

// A plug-in loaded on first use; `error` is 0 once it is loaded.
struct Plugin {
  std::once_flag once;
  void* handle = nullptr;
  int32_t error = DllLoadFailed;

  int32_t Load(const char* file) {
    std::call_once(once, [&] {
      handle = win32::LoadLibraryBeside(Self(), file);
      error = handle != nullptr ? 0 : DllLoadFailed;
    });
    return error;
  }
  void* Proc(std::span<const win32::OrdinalEntry> table, uint32_t ordinal) const {
    return handle != nullptr ? win32::ProcByOrdinal(handle, table, ordinal) : nullptr;
  }
};

Plugin probelin_plugin, glyphane_plugin, vombril_plugin;

struct Glyphane {
  GlyphaneGetTextFn get_text = nullptr;
  GlyphaneGetText2Fn get_text2 = nullptr;
  GlyphaneGetText2StreamFn get_text2_stream = nullptr;
  GlyphaneGetPropertyFn get_property = nullptr;
};

// Binds Glyphane's entry points: 0, 1001 or 1002.
int32_t BindGlyphane(Glyphane* out) {
  if (int32_t failed = glyphane_plugin.Load("libglyphane.so")) return failed;
  auto table = glyphane::OrdinalTable();
  out->get_text = reinterpret_cast<GlyphaneGetTextFn>(glyphane_plugin.Proc(table, kGlyphaneGetTextOrdinal));
  out->get_text2 = reinterpret_cast<GlyphaneGetText2Fn>(glyphane_plugin.Proc(table, kGlyphaneGetText2Ordinal));
  out->get_text2_stream =
      reinterpret_cast<GlyphaneGetText2StreamFn>(glyphane_plugin.Proc(table, kGlyphaneGetText2StreamOrdinal));
  out->get_property =
      reinterpret_cast<GlyphaneGetPropertyFn>(glyphane_plugin.Proc(table, kGlyphaneGetPropertyOrdinal));
  if (!out->get_text || !out->get_text2 || !out->get_text2_stream || !out->get_property) return DllFuncCantFound;
  return 0;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// ---- detection ----

template <size_t N>
void CopyText(char (&to)[N], const char* from, size_t from_size) {
  const size_t n = strnlen(from, from_size);
  const size_t copied = n < N ? n : N - 1;
  std::memcpy(to, from, copied);
  to[copied] = '\0';
}

// Detects `source` with the detector: 0 with `info` filled, 2001 when
// nothing is known, 1001/1002 when the detector is missing.
int32_t Detect(const char* source, FormatInfo* info) {
  if (source == nullptr || info == nullptr) return CantDetectFile;
  if (int32_t failed = probelin_plugin.Load("libprobelin.so")) return failed;
  auto detect =
      reinterpret_cast<int (*)(FileDtctRecord*)>(probelin_plugin.Proc(probelin::OrdinalTable(), 4));
  if (detect == nullptr) return DllFuncCantFound;
  DtctInput input{};
  input.path = source;
  input.mode = kDtctModePath;
  FileDtctRecord record{};
  record.input = &input;
  const int result = detect(&record);
  if (result == kDtctNothing || result == kDtctNoTableRow || record.name[0] == '\0') return CantDetectFile;
  FormatInfo found{};
  CopyText(found.name, record.name, sizeof record.name);
  CopyText(found.second_text, record.second_text, sizeof record.second_text);
  CopyText(found.language, record.language, sizeof record.language);
  found.format_id = record.format_id;
  found.sub_version = record.sub;
  found.format_class = result;
  found.state = record.protection != 0 ? 1 : 0;
  *info = found;
  return 0;
}

// ---- nested extractions ----

// Raises a target's level by one for the time of a nested call.
class LevelRaise {
 public:
  explicit LevelRaise(ExtractOutputTarget* target) : target_(target) { ++target_->level; }
  ~LevelRaise() { --target_->level; }
  LevelRaise(const LevelRaise&) = delete;
  LevelRaise& operator=(const LevelRaise&) = delete;

 private:
  ExtractOutputTarget* target_;
};

bool TooDeep(const ExtractOutputTarget* target) { return target != nullptr && target->level >= kMaxNestingLevel; }

// An embedded or archived drawing through Glyphane's "2" entry points. A
// file output gets the text appended (flag A 0x4000 on a copy of the
// request); a stream output gets the request unchanged.
int32_t NestedDrawing(KVB_OleStorage* storage, KVB_FileHandle file, std::ostream* stream, bool stream_mode,
                      ExtractOptionsV4* options, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  Glyphane glyphane;
  if (int32_t failed = BindGlyphane(&glyphane)) return failed;
  ExtractOutputTarget own_target{};
  if (target == nullptr) target = &own_target;
  ExtractOptionsV4 appending;
  if (!stream_mode && options != nullptr) {
    appending = *options;
    appending.flags_a |= kFlagACallerOutput;
    options = &appending;
  }
  LevelRaise raise(target);
  if (stream_mode) return glyphane.get_text2_stream(storage, stream, options, 0, target, callback);
  return glyphane.get_text2(storage, file, options, 0, target, callback);
}

bool HoldsDrawing(KVB_OleStorage* storage) {
  if (storage == nullptr) return false;
  KVB_OleStream* stream = KVB_2OLEopenStream(storage, "VisioDocument");
  if (stream == nullptr) return false;
  KVB_2OLEcloseStream(stream);
  return true;
}

int32_t InsertFile(KVB_OleStorage* storage, KVB_FileHandle file, std::ostream* stream, bool stream_mode,
                   ExtractOptionsV4* options, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  if (TooDeep(target)) return OleOutOfLimit;
  if (int32_t failed = EnsureEngine()) return failed;
  if (!HoldsDrawing(storage)) return OleNotSuppoted;
  return NestedDrawing(storage, file, stream, stream_mode, options, target, callback);
}

int32_t MemberText(const char* path, KVB_FileHandle file, std::ostream* stream, bool stream_mode,
                   ExtractOptionsV4* options, ExtractOutputTarget* target, ExtractErrorCallback callback) {
  if (TooDeep(target)) return CompressedFileOutOfLimit;
  if (int32_t failed = EnsureEngine()) return failed;
  FormatInfo info{};
  const int32_t detected = Detect(path, &info);
  if (detected == CantDetectFile) return CompressedFileCantDetect;
  if (detected != 0) return detected;
  // This interface has no extractor for an archive inside an archive, nor
  // for any format but a drawing.
  if (info.format_id != kVisioFormat) return CompressedFileNotSuppoted;
  KVB_OleStorage* root = KVB_2OLEopen(path);
  const int32_t result = NestedDrawing(root, file, stream, stream_mode, options, target, callback);
  if (root != nullptr) KVB_2OLEclose(root);
  return result;
}

// ---- output names ----

// `text` into `name` (260 bytes): 0, or 27 when it does not fit.
int32_t PutName(const std::string& text, char* name) {
  if (text.size() >= kNameBytes) return FilePathTooLong;
  std::memcpy(name, text.c_str(), text.size() + 1);
  return 0;
}

int32_t OutputName(const ExtractOutputTarget* target, char* name) {
  if (name == nullptr) return FilePathTooLong;
  name[0] = '\0';
  const std::string path =
      target != nullptr ? std::string(target->path, strnlen(target->path, sizeof target->path)) : std::string();
  if (path.empty()) {
    char temp[kNameBytes] = {};
    if (KVB_ASC_tmpnam(temp) == nullptr) return FileCantCreate;
    return PutName(std::string(temp) + ".txt", name);
  }
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  const std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                               ? path.substr(0, dot)
                               : path;
  // Numbers are tried in order; so many taken names mean something is
  // wrong with the folder, and the search stops.
  for (uint32_t n = 1; n <= 100000; ++n) {
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    (void)ec;
    const std::string candidate = base + "_" + std::string(digits, end) + ".txt";
    if (candidate.size() >= kNameBytes) return FilePathTooLong;
    if (!FileExists(candidate)) return PutName(candidate, name);
  }
  return FileCantCreate;
}

template <typename Fn>
int32_t Guarded(Fn fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory;
  } catch (...) {
    return SystemError;
  }
}

}  // namespace

extern "C" {

int32_t DetectFormat(const char* source, FormatInfo* info) {
  return Guarded([&] {
    if (int32_t failed = EnsureEngine()) return failed;
    return Detect(source, info);
  });
}

int32_t GetText_V4(const char* source, const char* destination, ExtractOptionsV4* options,
                   ExtractErrorCallback callback) {
  return Guarded([&]() -> int32_t {
    if (int32_t failed = EnsureEngine()) return failed;
    FormatInfo info{};
    if (int32_t failed = Detect(source, &info)) return failed;
    if (info.format_id == kVisioFormat) {
      Glyphane glyphane;
      if (int32_t failed = BindGlyphane(&glyphane)) return failed;
      return glyphane.get_text(source, destination, options, 0, callback);
    }
    if (info.format_id == kRarFormat) {
      std::string folder;
      if (!win32::ModulePath(Self(), nullptr, &folder) || !FileExists(folder + "libvombril.so")) return NotSuppoted;
      if (int32_t failed = vombril_plugin.Load("libvombril.so")) return failed;
      auto get_text = reinterpret_cast<VombrilGetTextFn>(vombril_plugin.Proc(kVombrilOrdinals, 108));
      if (get_text == nullptr) return DllFuncCantFound;
      return get_text(source, destination, options, 0, callback);
    }
    return NotSuppoted;
  });
}

int32_t GetProperty_V4(const char* source, ExtractOptionsV4* options, DocPropertyRecord* record) {
  return Guarded([&]() -> int32_t {
    if (int32_t failed = EnsureEngine()) return failed;
    FormatInfo info{};
    if (int32_t failed = Detect(source, &info)) return failed;
    if (info.format_id != kVisioFormat) return NotSuppoted;
    Glyphane glyphane;
    if (int32_t failed = BindGlyphane(&glyphane)) return failed;
    static_assert(sizeof(DocPropertyRecord) == sizeof(KVB_SummaryRecord));
    static_assert(offsetof(DocPropertyRecord, category) == offsetof(KVB_SummaryRecord, category));
    const KVB_PropertyOptions property_options{5000, 0, 0, 0};
    return glyphane.get_property(source, options, reinterpret_cast<KVB_SummaryRecord*>(record), &property_options);
  });
}

int32_t GetOutputName(ExtractOutputTarget* target, char* name) {
  return Guarded([&] { return OutputName(target, name); });
}

int32_t GetInsertFileText(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                          ExtractOutputTarget* target, ExtractErrorCallback callback) {
  return Guarded([&] { return InsertFile(storage, output, nullptr, false, options, target, callback); });
}

int32_t GetInsertFileTextStream(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4* options,
                                ExtractOutputTarget* target, ExtractErrorCallback callback) {
  return Guarded([&] { return InsertFile(storage, nullptr, output, true, options, target, callback); });
}

int32_t GetMemberText(const char* path, KVB_FileHandle output, ExtractOptionsV4* options, ExtractOutputTarget* target,
                      int /*kind*/, ExtractErrorCallback callback) {
  return Guarded([&] { return MemberText(path, output, nullptr, false, options, target, callback); });
}

int32_t GetMemberTextStream(const char* path, std::ostream* output, ExtractOptionsV4* options,
                            ExtractOutputTarget* target, int /*kind*/, ExtractErrorCallback callback) {
  return Guarded([&] { return MemberText(path, nullptr, output, true, options, target, callback); });
}

const win32::OrdinalEntry* travix_OrdinalTable(size_t* count) {
  if (count != nullptr) *count = sizeof kOrdinals / sizeof kOrdinals[0];
  return kOrdinals;
}

}  // extern "C"
