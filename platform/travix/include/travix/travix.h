// The extraction interface: the one library through which callers reach
// the engine's detector and extractors. The desktop program calls format
// detection, text extraction and document properties of one file; the
// extractors call back into it for an embedded object or an archived file
// and for the name of a nested output. Callers bind its exports by ordinal
// through travix_OrdinalTable.
//
// It starts the conversion engine once, before the first operation, and
// ends it as the process ends; it loads the detector and the extractors
// from its own folder and routes each file to the extractor of its format.
// Paths are UTF-8; every operation answers an EngineErrorCode and never
// throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "dalvex/compound_file.h"
#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "win32/ordinals.h"

#if defined(TRAVIX_BUILDING)
#define TRAVIX_API __attribute__((visibility("default")))
#else
#define TRAVIX_API
#endif

extern "C" {

// What format detection tells of a file (296 bytes, no pointers). The
// caller zeroes it; a detection that knows the file fills it.
struct FormatInfo {
  char name[128];         // format name, NUL-terminated ("Visio 2003/2007")
  char second_text[128];  // the format's second token, or a text's charset
  int32_t format_id;      // the detector's format number (378 Visio, 373 RAR)
  int32_t sub_version;
  int32_t format_class;   // the detector's class word
  char language[20];      // language name for text formats, else empty
  int32_t state;          // 0 for a file the caller may list; 1 protected
  int32_t reserved;
};

// Document properties as consecutive NUL-terminated text fields; the record
// is 26,964 bytes and the caller zeroes it.
struct DocPropertyRecord {
  char title[1028];
  char author[1028];
  char keywords[1028];
  char subject[1028];
  char comment[1028];
  char manager[1028];
  char company[1028];
  char category[1028];
  char further[26964 - 8 * 1028];
};

inline constexpr uint32_t kDetectFormatOrdinal = 401;
inline constexpr uint32_t kGetTextV4Ordinal = 402;
inline constexpr uint32_t kGetPropertyV4Ordinal = 404;
inline constexpr uint32_t kGetOutputNameOrdinal = 108;
inline constexpr uint32_t kGetMemberTextOrdinal = 409;
inline constexpr uint32_t kGetInsertFileTextOrdinal = 410;
inline constexpr uint32_t kGetInsertFileTextStreamOrdinal = 422;
inline constexpr uint32_t kGetMemberTextStreamOrdinal = 423;

// Nested extractions go at most this many levels below the caller's file.
inline constexpr int32_t kMaxNestingLevel = 3;

typedef int32_t (*DetectFormatFn)(const char* source, FormatInfo* info);
typedef int32_t (*GetTextV4Fn)(const char* source, const char* destination, ExtractOptionsV4* options,
                               ExtractErrorCallback callback);
typedef int32_t (*GetPropertyV4Fn)(const char* source, ExtractOptionsV4* options, DocPropertyRecord* record);

// 0 with `info` filled when the detector knows the file; 2001 otherwise.
TRAVIX_API int32_t DetectFormat(const char* source, FormatInfo* info);
// The text of `source` into a new file `destination`.
TRAVIX_API int32_t GetText_V4(const char* source, const char* destination, ExtractOptionsV4* options,
                              ExtractErrorCallback callback);
// The eight document properties the file-information dialog shows.
TRAVIX_API int32_t GetProperty_V4(const char* source, ExtractOptionsV4* options, DocPropertyRecord* record);

// The file a nested extraction without a caller's output writes: the
// target's path with "_<n>.txt" for its extension (the first free n), or a
// temporary name with ".txt" when the path is empty. `name` holds 260
// bytes. 0, or 27 when the name does not fit.
TRAVIX_API int32_t GetOutputName(ExtractOutputTarget* target, char* name);

// The text of an embedded compound-file object appended to the caller's
// file or stream (a drawing only; other objects 4001).
TRAVIX_API int32_t GetInsertFileText(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                                     ExtractOutputTarget* target, ExtractErrorCallback callback);
TRAVIX_API int32_t GetInsertFileTextStream(KVB_OleStorage* storage, std::ostream* output, ExtractOptionsV4* options,
                                           ExtractOutputTarget* target, ExtractErrorCallback callback);

// The text of an archived file, unpacked to `path`, appended to the
// caller's file or stream (a drawing only; other formats 6001).
TRAVIX_API int32_t GetMemberText(const char* path, KVB_FileHandle output, ExtractOptionsV4* options,
                                 ExtractOutputTarget* target, int kind, ExtractErrorCallback callback);
TRAVIX_API int32_t GetMemberTextStream(const char* path, std::ostream* output, ExtractOptionsV4* options,
                                       ExtractOutputTarget* target, int kind, ExtractErrorCallback callback);

// The interface's table of {ordinal, name}.
TRAVIX_API const win32::OrdinalEntry* travix_OrdinalTable(size_t* count);

}  // extern "C"

static_assert(sizeof(FormatInfo) == 296);
static_assert(offsetof(FormatInfo, second_text) == 128);
static_assert(offsetof(FormatInfo, format_id) == 256);
static_assert(offsetof(FormatInfo, sub_version) == 260);
static_assert(offsetof(FormatInfo, format_class) == 264);
static_assert(offsetof(FormatInfo, language) == 268);
static_assert(offsetof(FormatInfo, state) == 288);
static_assert(offsetof(FormatInfo, reserved) == 292);
static_assert(sizeof(DocPropertyRecord) == 26964);
static_assert(offsetof(DocPropertyRecord, category) == 7196);
