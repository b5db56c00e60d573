// Glyphane, the Visio text extractor: its exported entry points, which the
// extraction interface calls by ordinal. Each call reads one binary Visio
// drawing (the "VisioDocument" stream of a compound file) and writes its
// text in the request's charset to a file or to the caller's stream; every
// entry point answers an EngineErrorCode and never throws. Glyphane keeps
// nothing between calls.
//
// The path entry points open the drawing themselves; the "2" entry points
// take a storage the caller opened (an embedded drawing) and the caller's
// output target, and report their result to the error callback.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "dalvex/compound_file.h"
#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "dalvex/summary_info.h"

#if defined(GLYPHANE_BUILDING)
#define GLYPHANE_API __attribute__((visibility("default")))
#else
#define GLYPHANE_API
#endif

extern "C" {

inline constexpr uint32_t kGlyphaneGetPropertyOrdinal = 106;
inline constexpr uint32_t kGlyphaneGetTextStreamOrdinal = 108;
inline constexpr uint32_t kGlyphaneGetText2StreamOrdinal = 109;
inline constexpr uint32_t kGlyphaneGetTextOrdinal = 110;
inline constexpr uint32_t kGlyphaneGetText2Ordinal = 111;
inline constexpr uint32_t kGlyphaneGetPageTextOrdinal = 112;
inline constexpr uint32_t kGlyphaneGetPageTextStreamOrdinal = 113;

typedef int32_t (*GlyphaneGetTextFn)(const char* input, const char* output, ExtractOptionsV4* options, int value,
                                     ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetTextStreamFn)(const char* input, std::ostream* output, ExtractOptionsV4* options,
                                           int value, ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetPageTextFn)(const char* input, const char* output, ExtractOptionsV4* options,
                                         int32_t* page, int value, ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetPageTextStreamFn)(const char* input, std::ostream* output, ExtractOptionsV4* options,
                                               int32_t* page, int value, ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetText2Fn)(KVB_OleStorage* storage, KVB_FileHandle output, ExtractOptionsV4* options,
                                      int value, ExtractOutputTarget* target, ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetText2StreamFn)(KVB_OleStorage* storage, std::ostream* output,
                                            ExtractOptionsV4* options, int value, ExtractOutputTarget* target,
                                            ExtractErrorCallback callback);
typedef int32_t (*GlyphaneGetPropertyFn)(const char* input, const ExtractOptionsV4* options,
                                         KVB_SummaryRecord* record, const KVB_PropertyOptions* property_options);

// The drawing at `input` into a new file at `output`.
GLYPHANE_API int32_t GetTextWithErrCallback(const char* input, const char* output, ExtractOptionsV4* options,
                                            int value, ExtractErrorCallback callback);
// The drawing at `input` into the caller's stream.
GLYPHANE_API int32_t GetTextStreamWithErrCallback(const char* input, std::ostream* output,
                                                  ExtractOptionsV4* options, int value,
                                                  ExtractErrorCallback callback);
// One page (1-based *page) of the drawing into a new file.
GLYPHANE_API int32_t GetPageTextWithErrCallback(const char* input, const char* output, ExtractOptionsV4* options,
                                                int32_t* page, int value, ExtractErrorCallback callback);
// One page of the drawing into the caller's stream.
GLYPHANE_API int32_t GetPageTextStreamWithErrCallback(const char* input, std::ostream* output,
                                                      ExtractOptionsV4* options, int32_t* page, int value,
                                                      ExtractErrorCallback callback);
// An embedded drawing in the caller's storage: into the caller's file under
// flag A 0x4000, else into a file named by the extraction interface.
GLYPHANE_API int32_t GetText2WithErrCallback(KVB_OleStorage* storage, KVB_FileHandle output,
                                             ExtractOptionsV4* options, int value, ExtractOutputTarget* target,
                                             ExtractErrorCallback callback);
// An embedded drawing in the caller's storage into the caller's stream.
GLYPHANE_API int32_t GetText2StreamWithErrCallback(KVB_OleStorage* storage, std::ostream* output,
                                                   ExtractOptionsV4* options, int value,
                                                   ExtractOutputTarget* target, ExtractErrorCallback callback);
// The document properties of the compound file at `input` (see
// dalvex/summary_info.h).
GLYPHANE_API int32_t GetProperty(const char* input, const ExtractOptionsV4* options, KVB_SummaryRecord* record,
                                 const KVB_PropertyOptions* property_options);

}  // extern "C"
