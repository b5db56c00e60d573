// SummaryInfo: the document properties of a compound file (title, author,
// dates, counts...) from its two standard property-set streams,
// "\005SummaryInformation" and "\005DocumentSummaryInformation", converted
// to the request's output charset and stored NUL-terminated in the fixed
// text slots of a caller-owned KVB_SummaryRecord. Which properties are
// taken depends on the caller's format code (KVB_PropertyOptions); the
// extraction interface passes 5000, whose slots are the eight texts the
// program shows (title, author, keywords, subject, comments, manager,
// company, category).
//
// The record has no pointers, so its byte layout is the interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dalvex/export.h"
#include "dalvex/extract_records.h"

extern "C" {

// The caller's choice of properties: a record of 16-bit fields.
struct KVB_PropertyOptions {
  uint16_t format_code;        // selects the properties taken (see summary_info.cpp)
  uint16_t reserved1;
  uint16_t default_code_page;  // of 8-bit texts until a set states its own
  uint16_t reserved2;
};

typedef char KVB_SummaryText[1028];
typedef char KVB_SummaryShortText[256];

// The converted document properties (26,964 bytes). Slots without a name
// are left zero.
struct KVB_SummaryRecord {
  KVB_SummaryText title;                  // summary 2
  KVB_SummaryText author;                 // summary 4
  KVB_SummaryText keywords;               // summary 5
  KVB_SummaryText subject;                // summary 3
  KVB_SummaryText comments;               // summary 6
  KVB_SummaryText manager;                // document summary 14
  KVB_SummaryText company;                // document summary 15
  KVB_SummaryText category;               // document summary 2
  KVB_SummaryShortText creation_time;     // summary 12, "yyyy-mm-dd hh:mm:ss"
  KVB_SummaryText reserved1;
  KVB_SummaryText last_author;            // summary 8
  KVB_SummaryShortText revision_number;   // summary 9
  KVB_SummaryShortText reserved2[2];
  KVB_SummaryText reserved3[2];
  char reserved4[32];
  KVB_SummaryShortText slide_count;       // document summary 7
  KVB_SummaryShortText paragraph_count;   // document summary 6
  KVB_SummaryShortText byte_count;        // document summary 4
  KVB_SummaryShortText note_count;        // document summary 8
  KVB_SummaryText presentation_target;    // document summary 3
  KVB_SummaryShortText reserved5;
  KVB_SummaryShortText last_save_time;    // summary 13
  KVB_SummaryShortText application_name;  // summary 18
  KVB_SummaryShortText reserved6[42];
};

// Fills `out` (always zeroed first) with the properties of the compound
// file at `path` that `property_options` selects, in the charset, byte
// order and line-end form of `options`. Answers 0; 22 when the file is no
// compound file; 3003 when it has no "\005SummaryInformation" stream; 3002
// when a property-set stream is inconsistent; 12 when memory runs out;
// 3000 for a null record or request. A failure in the document summary
// stream, or of one conversion, leaves slots empty but is not reported.
DALVEX_API int SummaryInfo(const char* path, const ExtractOptionsV4* options, KVB_SummaryRecord* out,
                           const KVB_PropertyOptions* property_options);

}  // extern "C"

static_assert(sizeof(KVB_SummaryRecord) == 26964);
static_assert(offsetof(KVB_SummaryRecord, category) == 7196);
static_assert(offsetof(KVB_SummaryRecord, creation_time) == 8224);
static_assert(offsetof(KVB_SummaryRecord, last_author) == 9508);
static_assert(offsetof(KVB_SummaryRecord, revision_number) == 10536);
static_assert(offsetof(KVB_SummaryRecord, slide_count) == 13392);
static_assert(offsetof(KVB_SummaryRecord, note_count) == 14160);
static_assert(offsetof(KVB_SummaryRecord, presentation_target) == 14416);
static_assert(offsetof(KVB_SummaryRecord, last_save_time) == 15700);
static_assert(offsetof(KVB_SummaryRecord, application_name) == 15956);
static_assert(sizeof(KVB_PropertyOptions) == 8);
