// The writing system of a piece of text: one of ICU's script codes, or one
// of the library's own codes for what ICU does not tell apart (Japanese as
// a whole, simplified and traditional Chinese, Korean) and for the settings
// "auto" and "none".
#pragma once

#include <cstdint>

#include <unicode/uscript.h>
#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/name.h"

namespace ObraCommon {

using icu::UnicodeString;

// Codes from 0 up are ICU's UScriptCode numbers.
enum ZelUScriptCode : int32_t {
  ZEL_USCRIPT_SIMPLIFIED_CHINESE = -10,
  ZEL_USCRIPT_TRADITIONAL_CHINESE = -9,
  ZEL_USCRIPT_JAPANESE = -8,
  ZEL_USCRIPT_KOREAN = -4,
  ZEL_USCRIPT_NONE = -3,
  ZEL_USCRIPT_AUTO = -2,
  ZEL_USCRIPT_INVALID = -1,
};

class QUARNEL_API ZelScript {
 public:
  ZelScript() : m_code(static_cast<ZelUScriptCode>(USCRIPT_COMMON)) {}
  ZelScript(ZelUScriptCode code) : m_code(code) {}
  ZelScript(UScriptCode code) : m_code(static_cast<ZelUScriptCode>(code)) {}
  explicit ZelScript(ZelName name);
  // A script name, a four-letter code, a language tag or an ICU locale id.
  explicit ZelScript(const UnicodeString& text);
  ZelScript(const ZelScript& other) = default;
  ZelScript& operator=(const ZelScript& other) = default;

  ZelUScriptCode getUScriptCode() const { return m_code; }
  operator ZelUScriptCode() const { return m_code; }

  bool isSC() const { return m_code == ZEL_USCRIPT_SIMPLIFIED_CHINESE; }
  bool isTC() const { return m_code == ZEL_USCRIPT_TRADITIONAL_CHINESE; }
  bool isAuto() const { return m_code == ZEL_USCRIPT_AUTO; }
  bool isJA() const;
  bool isCJK() const;
  bool isCJKJustify() const;
  bool isCJKorAuto() const { return isCJK() || isAuto(); }
  bool isKanaScript() const { return isKanaScript(m_code); }
  static bool isKanaScript(ZelUScriptCode code);
  bool isIndependentScript() const;
  bool isGlyphOrientationPossible() const { return !isIndependentScript(); }

  // A representative letter of the script.
  char16_t getA() const;
  // The four-letter code, or the empty name when there is none.
  ZelName getScriptCode() const;
  const UnicodeString& toString() const;
  UnicodeString getScriptName() const;

  static ZelScript getScript(int32_t c);
  static ZelScript getScriptFromText(const UnicodeString& text);
  static bool isHebrewScript(int32_t c) { return c >= 0x0590 && c <= 0x05FF; }
  static bool isArabicScript(int32_t c);
  static bool isDevanagariScript(int32_t c) { return c >= 0x0900 && c <= 0x097F; }
  static bool isMathematicalOperators(int32_t c) { return c >= 0x2200 && c <= 0x22FF; }
  static bool isZenkakuAmbiguous(int32_t c) { return c < 0x00C0 || c > 0x00FF; }

  // Width and hanging punctuation as this script sets them.
  bool isZenkakuScript(int32_t c) const;
  bool isHangingEndChar(int32_t c) const;
  bool isHangingLastChar(int32_t c) const;
  bool isHangingStartChar(int32_t c) const;

 private:
  bool isCJKEndChar(int32_t c) const;

  ZelUScriptCode m_code;
};

}  // namespace ObraCommon
