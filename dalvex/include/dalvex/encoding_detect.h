// Encoding detection: which charset a text buffer is in, and which encoding a
// text file is in.
//
// cconvChkEncode answers in the conversion engine's charset names, with the
// byte order, line-end kind and unit code a caller needs to open a session
// for the text. dtctText answers for a whole file with a result word: the low
// 16 bits name the encoding, the bits above carry the line-end convention
// and markers of the deciding test. Both are re-entrant and keep no state
// between calls.
#pragma once

#include <cstdint>

#include "dalvex/export.h"

extern "C" {

// The caller's record of cconvChkEncode. The bytes examined are
// text[position] .. text[end - 1]; position is the same on return.
struct CconvCheck {
  const char* text;
  int32_t position;
  int32_t end;              // length of the text from its start
  char charset[260];        // out: charset name, or "unknown"
  int32_t xml_declaration;  // out: 1 when an XML declaration was found
  int32_t byte_order_mark;  // out: 1 when a byte-order mark was found
  int32_t big_endian;       // out: 1 big-endian, 0 little-endian
  int32_t line_end;         // out: a CconvLineEnd
  int32_t unit_code;        // out: 4098 for 16- and 32-bit forms, else 1
};

enum CconvLineEnd {
  kCconvLineEndNone = 0,
  kCconvLineEndCrLf = 1,
  kCconvLineEndCr = 2,
  kCconvLineEndLf = 3,
  kCconvLineEndLineSeparator = 4,       // U+2028
  kCconvLineEndParagraphSeparator = 5,  // U+2029
};

// 1 when the record's text was given a charset name; 0 with "unknown"
// otherwise (also for a null text, a negative position or one beyond the
// end; a null record gives 0 and is not touched).
DALVEX_API int cconvChkEncode(CconvCheck* check);

// 1 for exactly "UTF-16", "ISO-10646-UCS-2" or "ISO-10646-UCS-4", else 0.
DALVEX_API int cconvIsEndianAware(const char* charset);

// Result-word bits of dtctText.
enum DtctTextBits : uint32_t {
  kDtctUndecided = 0x1,
  kDtctUtf8 = 0x2,
  kDtctUtf16Le = 0x4,
  kDtctUtf16Be = 0x8,
  kDtctUcs4 = 0x10,
  kDtctIso2022Jp = 0x20,
  kDtctEucJp = 0x40,
  kDtctEucJpFix = 0x80,
  kDtctWindows31J = 0x100,
  kDtctSevenBit = 0x200,
  kDtctGbk = 0x400,
  kDtctBig5 = 0x800,
  kDtctKsc5601 = 0x1000,
  kDtctEncodingMask = 0xFFFF,
  kDtctLineSeparator = 0x01000000,       // U+2028 met
  kDtctParagraphSeparator = 0x02000000,  // U+2029 met
  kDtctCrLf = 0x04000000,
  kDtctLf = 0x08000000,
  kDtctCr = 0x10000000,
  kDtctBigEndian = 0x20000000,
  kDtctSingle = 0x40000000,   // one encoding decided
  kDtctFromTie = 0x60000000,  // the result of a tie that reading on did not break
};

// Which encoding the file at path is in. language is a hint for ties among
// the East Asian double-byte encodings ("Japanese", "Simplified Chinese",
// "Traditional Chinese", "Korean"; read up to its NUL or 260 bytes, never
// written); null or empty takes the hint from LANG, LC_ALL or LC_CTYPE.
// Returns -1 when the path is null, the file cannot be opened or read, is
// empty or 2 GiB or more; 0 when the walk ended without a decision; else
// the result word.
DALVEX_API int dtctText(const char* path, const char* language);

}  // extern "C"
