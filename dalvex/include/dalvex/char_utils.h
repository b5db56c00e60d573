// Dalvex's small text utilities around the conversion engine: where a
// converted text may be cut under a size limit (CutStr), character classes
// of UCS-2 units and Shift_JIS codes, C-style functions over UCS-2 strings
// (arrays of 16-bit units ended by a 0 unit), direct Shift_JIS/UCS-2 code
// conversion through two fixed tables (JIS X 0201 and JIS X 0208 as
// WINDOWS31J maps them), whole-string conversion between UCS-2 and
// Shift_JIS through a conversion session, and filters that drop NUL units
// or control codes from a buffer.
//
// None of these functions throws; null pointers give the empty or failed
// result instead of a crash.
#pragma once

#include <cstdint>

#include "dalvex/export.h"

extern "C" {

// How many bytes of `text` (len bytes, in `charset`) can be kept within
// `max` bytes without splitting a character, an escape sequence or a CR LF
// pair; at most min(len, max), never negative.
DALVEX_API int CutStr(const char* text, int len, int max, const char* charset);

// Classes of one UCS-2 unit: non-zero when the unit is of the class.
DALVEX_API int KVB_isucs2alnum(char16_t unit);   // ASCII letter or digit
DALVEX_API int KVB_isucs2ascii(char16_t unit);   // below 0x80
DALVEX_API int KVB_isucs2cntrl(char16_t unit);   // 0x00-0x1F, 0x7F
DALVEX_API int KVB_isucs2digit(char16_t unit);   // "0"-"9"
DALVEX_API int KVB_isucs2jis(char16_t unit);     // maps to a double-byte Shift_JIS code
DALVEX_API int KVB_isucs2ank(char16_t unit);     // maps to a single-byte code
// The unit itself when it maps to full-width hiragana (katakana), else 0.
DALVEX_API int KVB_isucs2zenhira(char16_t unit);
DALVEX_API int KVB_isucs2zenkata(char16_t unit);

// C string functions over UCS-2 strings.
DALVEX_API char16_t* KVB_ucs2strcat(char16_t* dst, const char16_t* src);
DALVEX_API char16_t* KVB_ucs2strchr(const char16_t* string, char16_t unit);
DALVEX_API int KVB_ucs2strcmp(const char16_t* a, const char16_t* b);
DALVEX_API char16_t* KVB_ucs2strcpy(char16_t* dst, const char16_t* src);
DALVEX_API int KVB_ucs2strncmp(const char16_t* a, const char16_t* b, int n);
DALVEX_API char16_t* KVB_ucs2strncpy(char16_t* dst, const char16_t* src, int n);
DALVEX_API char16_t* KVB_ucs2strlwr(char16_t* string);  // A-Z lowered in place
DALVEX_API char16_t* KVB_ucs2strupr(char16_t* string);  // a-z raised in place
DALVEX_API int KVB_ucs2strlen(const char16_t* string);

// The code when it is a valid double-byte Shift_JIS code (lead byte first
// in the 16-bit value), else 0.
DALVEX_API int KVB_isjis(uint16_t code);
// The code for 0x20-0x7E and 0xA0-0xDF, else 0.
DALVEX_API int KVB_isank(int code);

// Table conversions of one code; 0 for codes below 0x20 and for codes
// outside JIS X 0201 and JIS X 0208.
DALVEX_API uint16_t KVB_unicodetosjis(char16_t unit);
DALVEX_API uint16_t KVB_sjistounicode(uint16_t code);

// Whole-string conversions through a session between "ISO-10646-UCS-2"
// (native 16-bit units) and "WINDOWS31J": unmappable characters become
// substitutes, invalid input is skipped, line ends become CR LF. 1 when the
// whole string converted and the output is terminated, else 0 (also when
// the engine has not loaded the charsets).
// `out` holds 2n + 2 bytes for an input of n units (always enough).
DALVEX_API int KVB_ucs2sjisstr(char* out, const char16_t* in);
// `out` holds m + 1 units for an input of m bytes; a text whose line ends
// grow beyond that gives 0, with nothing written past m + 1 units.
DALVEX_API int KVB_sjis2ucsstr(char16_t* out, const char* in);

// ASCII case-insensitive comparison: below, equal to or above 0.
DALVEX_API int KVB_stricmp(const char* a, const char* b);

// Copies `src` (len bytes) to `dst` in units of `width` bytes (1, 2 or 4),
// leaving out units whose value is 0 (CopyStripNULL; values read least
// significant byte first) or a control code other than TAB, LF, CR and
// ESC (CopyStripControlCode; values read most significant byte first when
// `big_endian` is set). A trailing part unit is not copied. Answers the
// bytes written; 0 for a null pointer, a length below 1 or another width.
// `dst` may equal `src`.
DALVEX_API int KVB_CopyStripNULL(char* dst, const uint8_t* src, int len, int width);
DALVEX_API int KVB_CopyStripControlCode(char* dst, const uint8_t* src, int len, int width,
                                        int big_endian);

// The unit width of a charset's text: 4 for "ISO-10646-UCS-4", 2 for
// "ISO-10646-UCS-2" and "UTF-16" (names compared without regard to ASCII
// case), else 1.
DALVEX_API int KVB_GetGroupCharWidth(const char* charset);

}  // extern "C"
