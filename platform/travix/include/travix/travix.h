// The extraction interface that the desktop program calls: format
// detection, text extraction and document properties of one file. Callers
// bind its exports by ordinal through travix_OrdinalTable. Paths are UTF-8;
// every operation answers an EngineErrorCode and never throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dalvex/extract_records.h"
#include "win32/ordinals.h"

#if defined(TRAVIX_BUILDING)
#define TRAVIX_API __attribute__((visibility("default")))
#else
#define TRAVIX_API
#endif

extern "C" {

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

typedef int32_t (*DetectFormatFn)(const char* source, FormatInfo* info);
typedef int32_t (*GetTextV4Fn)(const char* source, const char* destination, ExtractOptionsV4* options,
                               ExtractErrorCallback callback);
typedef int32_t (*GetPropertyV4Fn)(const char* source, ExtractOptionsV4* options, DocPropertyRecord* record);

TRAVIX_API int32_t DetectFormat(const char* source, FormatInfo* info);
TRAVIX_API int32_t GetText_V4(const char* source, const char* destination, ExtractOptionsV4* options,
                              ExtractErrorCallback callback);
TRAVIX_API int32_t GetProperty_V4(const char* source, ExtractOptionsV4* options, DocPropertyRecord* record);

// The interface's table of {ordinal, name}.
TRAVIX_API const win32::OrdinalEntry* travix_OrdinalTable(size_t* count);

}  // extern "C"

static_assert(sizeof(DocPropertyRecord) == 26964);
static_assert(offsetof(DocPropertyRecord, category) == 7196);
