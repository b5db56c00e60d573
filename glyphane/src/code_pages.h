// Code pages of an extraction and their charset names. Glyphane names the
// text it holds by Windows code page (932, 936, 949, 950, 1252 for 8-bit
// text, 1200 for UTF-16LE); the conversion engine names charsets by text.
// This file chooses the code pages of a request (from its language and its
// output charset, overridden by a drawing's property-set code page), maps a
// code page to the engine's charset name, and runs the fixed conversion
// between two code pages that field values, dates and document properties
// use.
//
// A code page without a charset of its own (1250, 1251, 1253...) is read as
// "ISO-8859-1": single-byte, so that no byte swallows the one after it, and
// ASCII stays ASCII. 65001 is "UTF-8".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glyphane {

inline constexpr uint32_t kCodePageShiftJis = 932;
inline constexpr uint32_t kCodePageGbk = 936;
inline constexpr uint32_t kCodePageKorean = 949;
inline constexpr uint32_t kCodePageBig5 = 950;
inline constexpr uint32_t kCodePageUcs2 = 1200;
inline constexpr uint32_t kCodePageLatin1 = 1252;
inline constexpr uint32_t kCodePageUtf8 = 65001;

inline constexpr const char* kCharsetUcs2 = "ISO-10646-UCS-2";

// The text code page of a request's language name (exact, case-sensitive):
// "Japanese" 932, "English" 1252, "Simplified Chinese" 936, "Traditional
// Chinese" 950, "Korean" 949, anything else (null included) 932.
uint32_t TextCodePageOfLanguage(const char* language);

// The output code page of a request's charset name (exact): "ISO-8859-1"
// 1252, "ChineseGBK" 936, "ChineseBIG5" 950, "KoreanKSC" 949, anything else
// 932. It selects the language forms of dates; text items are converted to
// the charset name itself.
uint32_t OutputCodePageOfCharset(const char* charset);

// The engine's charset name for a code page: 932 "WINDOWS31J", 936
// "ChineseGBK", 949 "KoreanKSC", 950 "ChineseBIG5", 1200 "ISO-10646-UCS-2",
// 1252 "ISO-8859-1", 65001 "UTF-8"; any other code page "ISO-8859-1".
const char* CharsetOfCodePage(uint32_t code_page);

// The same for a property set's code page, which also knows the old
// numbers 2000 (932), 3000 (936), 4000 (950) and 5000 (949).
const char* CharsetOfPropertySetCodePage(uint32_t code_page);

// The code page a property set states, read as unsigned 16-bit: 65001 is
// stored as the signed value -535 by some writers.
inline uint32_t PropertySetCodePage(int32_t stored) { return static_cast<uint16_t>(stored); }

// A property set's code page, when nonzero, replaces both code pages of
// the extraction.
inline void ApplyPropertySetCodePage(uint32_t property_code_page, uint32_t* text_code_page,
                                     uint32_t* output_code_page) {
  if (property_code_page == 0) return;
  *text_code_page = property_code_page;
  *output_code_page = property_code_page;
}

// The substitute for unmappable characters of a target charset: '?' for the
// exact names "ISO-8859-1", "ChineseGBK", "ChineseBIG5" and "KoreanKSC",
// else 0 (the engine's own choice).
uint16_t SubstituteForCharset(std::string_view charset);

// The input byte order of a source charset: double-byte codes are read lead
// byte first (1) for every charset but UCS-2, which Glyphane always holds
// little-endian (0).
int32_t InputBigEndianFor(std::string_view charset);

// The fixed conversion between two code pages, for field values, dates and
// document properties: target byte order big-endian unless the target is
// 1200, no byte-order mark, line ends as CR LF, the '?' rule for the
// target's charset, control codes stripped first. Converts all of `input`
// into `output` (replacing it). Answers 0, or 3000 when the engine refuses
// a charset or the conversion fails.
int32_t ConvertBetweenCodePages(uint32_t from, uint32_t to, std::string_view input,
                                std::string* output);

}  // namespace glyphane
