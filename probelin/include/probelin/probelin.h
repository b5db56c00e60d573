// Probelin, the file-format detector: its one export KVB_FileDtct and the
// caller's records it reads and fills.
//
// A caller points a FileDtctRecord at a DtctInput that names a file (mode 0)
// or an open compound-file storage whose "Contents" stream is the data
// (mode 1), and gets back the format id, sub-version, names and language in
// the record and a class word as the result. Each call keeps its own work
// memory and frees it before it returns, so threads may detect at once on
// records of their own. Paths are UTF-8 bytes and are passed through as
// they are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dalvex/compound_file.h"
#include "dalvex/portability.h"

#ifdef __cplusplus
namespace ObraCommon {
class ZelMemStream;
}
#endif

extern "C" {

// Results of KVB_FileDtct besides a format's class word.
enum {
  kDtctNothing = -1,      // nothing recognised, or no record, path or memory
  kDtctNoTableRow = 0,    // a signature matched; the tables name no such format
  kDtctFoundByName = 1,   // also the class word of most formats
  kDtctMacBinary = 26,    // the file is wrapped in a MacBinary header
  kDtctTextFallback = 27  // text found by the text fallback
};

// Modes of DtctInput.
enum { kDtctModePath = 0, kDtctModeStorage = 1 };

// What to detect. The handles are the detector's own while it runs: it
// opens and closes the file (mode 0) and the data stream (mode 1) and
// leaves them null; the caller's storage (mode 1) stays open.
struct DtctInput {
  const char* path;        // used by the steps that look at the name, every mode
  KVB_FileHandle file;     // mode 0
  KVB_OleStorage* storage;  // mode 1: the caller's storage
  KVB_OleStream* stream;   // mode 1: its "Contents" (else "CONTENTS") stream
  int32_t mode;            // 0 path, 1 storage; any other value reads nothing
};

// Wrapper kinds of FileDtctRecord::wrapper_kind.
enum {
  kDtctWrapperNone = 0,
  kDtctWrapperMacBinary = 1,
  kDtctWrapperAppleSingle = 2,
  kDtctWrapperAppleDouble = 3,
  kDtctWrapperRefList = 4
};

// The caller's record. The caller sets input; everything else is written.
struct FileDtctRecord {
  DtctInput* input;
  int32_t format_id;
  char code_text[32];  // e.g. the RTF version digits; empty unless set
  int32_t sub;         // sub-version or variant within the id
  int32_t variant;     // second variant word
  int32_t wrapper_kind;
  char temp_name[256];  // always empty on return
  int32_t data_offset;
  int32_t data_length;
  int32_t second_offset;
  int32_t second_length;
  int32_t protection;  // 1: encrypted or rights-protected
  char name[128];      // format name; "HTML" or "XML" set by the caller is kept by the text fallback
  char second_text[128];  // the format's second token, or the text's charset
  char language[20];
  char reserved[12];  // never written
  // The text fallback's language hint for ties among the East Asian
  // encodings ("Traditional Chinese", ...): read (at most 260 bytes), never
  // written; empty takes the hint from LANG, LC_ALL or LC_CTYPE.
  char text_result[260];
};

static_assert(sizeof(DtctInput) == 40);
static_assert(offsetof(DtctInput, file) == 8);
static_assert(offsetof(DtctInput, storage) == 16);
static_assert(offsetof(DtctInput, stream) == 24);
static_assert(offsetof(DtctInput, mode) == 32);
static_assert(sizeof(FileDtctRecord) == 880);
static_assert(offsetof(FileDtctRecord, format_id) == 8);
static_assert(offsetof(FileDtctRecord, code_text) == 12);
static_assert(offsetof(FileDtctRecord, sub) == 44);
static_assert(offsetof(FileDtctRecord, variant) == 48);
static_assert(offsetof(FileDtctRecord, wrapper_kind) == 52);
static_assert(offsetof(FileDtctRecord, temp_name) == 56);
static_assert(offsetof(FileDtctRecord, data_offset) == 312);
static_assert(offsetof(FileDtctRecord, protection) == 328);
static_assert(offsetof(FileDtctRecord, name) == 332);
static_assert(offsetof(FileDtctRecord, second_text) == 460);
static_assert(offsetof(FileDtctRecord, language) == 588);
static_assert(offsetof(FileDtctRecord, text_result) == 620);

// Detects the format of record->input. Returns -1 when nothing was
// recognised, 0 when a signature matched but the tables have no row for it,
// 26 for a MacBinary-wrapped file, 27 for text, 1 for the AutoCAD and
// QuarkXPress tests and the XML family test, otherwise the catalogue's
// class word of the format.
__attribute__((visibility("default"))) int KVB_FileDtct(FileDtctRecord* record);

#ifdef __cplusplus
// Writes the Office package held in the storage's "\001Ole10Native" stream
// to out at its put position. 1 when a package was found and written; 0
// otherwise (also for a null argument), out then unchanged.
__attribute__((visibility("default"))) int getMSOffice2007DataAsMemStream(KVB_OleStorage* storage,
                                                                         ObraCommon::ZelMemStream* out);
#endif

}  // extern "C"
