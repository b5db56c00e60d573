// The charset conversion engine's function interface: engine start and end,
// the rules that define charsets, and the caller-owned conversion session.
//
// A caller starts the engine (startProcess), loads the rule files of the
// configuration folder (cconvLoadRule), then per conversion fills a
// CconvSession, names the target (cconvInitConvert) and the source
// (cconvChgCharset), runs cconvConvert as often as needed and ends with
// cconvTermConvert; endProcess matches each successful startProcess.
// Charset names are matched without regard to ASCII case. No function
// throws; results are small status numbers (0 success, 1 unknown charset or
// no codec, 12 input ends inside a character, 13 invalid input, 22 output
// full, 23 unmappable).
#pragma once

#include <cstddef>
#include <cstdint>

#include "dalvex/export.h"

extern "C" {

// Options of a session's target, copied by cconvInitConvert (null: zeros).
struct CconvOptions {
  int32_t big_endian;        // multi-byte units written most significant first
  int32_t write_bom;         // byte-order mark before the first character
  int32_t substitute;        // replace an unmappable character instead of stopping
  uint16_t substitute_low;   // Unicode substitute for source codes below 256
  uint16_t substitute_high;  // Unicode substitute for all other characters
  char language[260];
  int32_t line_end_flag;     // normalise line ends
  int32_t line_end_form;     // 2 CR, 3 LF, 4 U+2028, 5 U+2029, else CR LF
  int32_t char_references;   // UCS-2 target: 0 off, 1 hexadecimal, else decimal
};
static_assert(sizeof(CconvOptions) == 288);
static_assert(offsetof(CconvOptions, language) == 16);
static_assert(offsetof(CconvOptions, line_end_flag) == 276);
static_assert(offsetof(CconvOptions, char_references) == 284);

// Options of a session's source, copied by cconvChgCharset (null: zeros).
struct CconvCharsetOptions {
  int32_t big_endian;    // input units most significant first
  int32_t expect_bom;    // a byte-order mark may start the input
  int32_t skip_invalid;  // skip input no code set accepts instead of stopping
};
static_assert(sizeof(CconvCharsetOptions) == 12);

struct CconvSession;
struct CconvCharset;  // a charset defined by a rule file (engine-owned)

// A decoder or encoder: works on the session at its positions and reports
// through its status.
typedef void (*CconvCodecHandler)(CconvSession* session);

// A substitute character prepared for the session's target.
struct CconvPreparedChar {
  int32_t set_id;  // 0: not prepared
  uint16_t kind;
  uint16_t reserved1;
  uint32_t code;
  uint16_t unit_width;
  uint16_t reserved2;
};

// The caller-owned session. The caller fills the buffers and positions; the
// engine owns everything from `status` on. Field order is fixed; pointers
// have their native size.
struct CconvSession {
  const uint8_t* input;
  int32_t input_position;   // bytes consumed
  int32_t input_length;
  int32_t decoded_count;
  uint8_t* output;
  int32_t output_length;    // bytes written
  int32_t output_capacity;
  int32_t encoded_count;
  int32_t status;
  int32_t source_id;
  const CconvCharset* source;
  CconvCodecHandler decoder;
  int32_t char_set_id;      // code set of the current character
  uint16_t char_set_kind;
  int32_t decode_shift;     // code set designated in the input
  int32_t prestep_mode;     // 0 none, 1 UTF-7, 2 HZ
  int32_t target_id;
  const CconvCharset* target;
  CconvCodecHandler encoder;
  int32_t out_set_id;       // code set of the code being written
  uint16_t out_set_kind;
  int32_t encode_shift_set;
  int32_t encode_shift_mode;
  uint32_t raw_code;        // the character's bytes as read
  uint32_t code;            // its code within its code set
  uint32_t unicode;         // its Unicode value, 0 when unknown
  uint32_t out_code;
  uint16_t out_unit_width;
  uint16_t out_multi_length;
  uint32_t prev_raw_code;
  uint32_t second_code_point;
  char base_language[260];
  char tagged_language[260];
  char current_language[260];
  CconvCharsetOptions charset_options;
  CconvOptions options;
  CconvPreparedChar substitutes[2];
};

DALVEX_API int startProcess(void);
DALVEX_API void endProcess(void);
DALVEX_API int cconvLoadRule(void);
DALVEX_API int setBlockSize(int size);
DALVEX_API int lockMutex(void);
DALVEX_API int unlockMutex(void);
DALVEX_API int cconvEnumGroup(int index, char* out);
DALVEX_API int cconvInitConvert(CconvSession* session, const CconvOptions* options,
                                const char* target);
DALVEX_API int cconvChgCharset(CconvSession* session, CconvCharsetOptions* options,
                               const char* source);
DALVEX_API int cconvChgLang(CconvSession* session, const char* language);
DALVEX_API int cconvConvert(CconvSession* session);
DALVEX_API int cconvTermConvert(CconvSession* session);

}  // extern "C"
