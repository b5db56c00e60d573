// ZelColor: a plain sRGB colour, or a colour given in CMYK, greyscale, as a
// named separation (spot) colour or in a named ICC profile, always with an
// sRGB approximation renderers can use. A small value class.
//
// The packed RGB word holds red in bits 16-23, green in 8-15 and blue in
// 0-7. A non-zero top byte marks no colour: 0xFFFFFFFF is transparent,
// 0xFE000000 the current colour, any other the invalid colour.
#pragma once

#include <cstdint>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/name.h"

namespace ObraCommon {

using icu::UnicodeString;

class ZelValue;

class QUARNEL_API ZelColor {
 public:
  static constexpr unsigned int TRANSPARENT_RGB = 0xFFFFFFFFu;
  static constexpr unsigned int CURRENT_COLOR_RGB = 0xFE000000u;
  static constexpr unsigned int INVALID_RGB = 0xFF000000u;

  ZelColor();
  ZelColor(unsigned int rgb);
  // Each channel clamped to 0..255.
  ZelColor(int r, int g, int b);
  // Greyscale; the level is clamped to [0, 1].
  ZelColor(float grey);
  ZelColor(const ZelColor& rgb, float grey);
  // CMYK; components clamped to [0, 1].
  ZelColor(float c, float m, float y, float k);
  ZelColor(const ZelColor& rgb, float c, float m, float y, float k);
  // Separations; an empty name is the registration colour "All".
  ZelColor(const UnicodeString& name, float tint);
  ZelColor(const UnicodeString& name, float tint, float c, float m, float y, float k);
  ZelColor(const ZelColor& rgb, const UnicodeString& name, float tint);
  ZelColor(const ZelColor& rgb, const UnicodeString& name, float tint, float c, float m, float y, float k);
  // ICC; the four values are kept as given.
  ZelColor(const ZelColor& rgb, const UnicodeString& profile, float icc0, float icc1, float icc2, float icc3);
  // A colour keyword, matched without regard to case; any other name gives
  // the invalid colour.
  explicit ZelColor(ZelName name);
  explicit ZelColor(const ZelValue& value);
  ZelColor(const ZelColor& other) = default;
  ZelColor& operator=(const ZelColor& other) = default;
  ~ZelColor() = default;

  static ZelColor getTransparent() { return ZelColor(TRANSPARENT_RGB); }
  static ZelColor getCurrentColor() { return ZelColor(CURRENT_COLOR_RGB); }
  static ZelColor getInvalidColor() { return ZelColor(INVALID_RGB); }
  static ZelColor fromBGR(unsigned int bgr) { return ZelColor(reverseRGB(bgr)); }

  unsigned int getRGB() const { return m_rgb; }
  operator unsigned int() const { return m_rgb; }
  unsigned int getBGR() const { return reverseRGB(m_rgb); }
  static unsigned int reverseRGB(unsigned int rgb) {
    return (rgb & 0xFF00FF00u) | ((rgb >> 16) & 0xFFu) | ((rgb & 0xFFu) << 16);
  }
  int getR() const { return getR(m_rgb); }
  int getG() const { return getG(m_rgb); }
  int getB() const { return getB(m_rgb); }
  static int getR(unsigned int rgb) { return static_cast<int>((rgb >> 16) & 0xFFu); }
  static int getG(unsigned int rgb) { return static_cast<int>((rgb >> 8) & 0xFFu); }
  static int getB(unsigned int rgb) { return static_cast<int>(rgb & 0xFFu); }

  ZelName getProfileType() const { return ZelName(m_profile); }
  bool isCMYK() const;
  bool isGrayscale() const;
  bool isSeparation() const;
  bool isICCColorProfile() const;
  bool isTransparent() const { return m_rgb == TRANSPARENT_RGB; }
  bool isCurrentColor() const { return m_rgb == CURRENT_COLOR_RGB; }

  float getGrayscale() const { return m_values[0]; }
  bool hasGrayscaleRGB() const { return m_flags[0] != 0; }

  float getC() const { return m_values[0]; }
  float getM() const { return m_values[1]; }
  float getY() const { return m_values[2]; }
  float getK() const { return m_values[3]; }
  bool hasCMYKRGB() const { return m_flags[0] != 0; }

  UnicodeString getSeparationColorName() const { return m_name; }
  float getSeparationTint() const { return m_values[0]; }
  float getSeparationC() const { return m_values[1]; }
  float getSeparationM() const { return m_values[2]; }
  float getSeparationY() const { return m_values[3]; }
  float getSeparationK() const { return m_values[4]; }
  bool hasSeparationRGB() const { return m_flags[0] != 0; }
  bool hasSeparationTint() const { return m_flags[1] != 0; }
  bool hasSeparationCMYK() const { return m_flags[2] != 0; }
  unsigned int getSeparationRGB() const;
  bool isRegistrationName() const;
  bool isRegistration() const { return isSeparation() && isRegistrationName(); }
  void adjustSeparationFlags(bool rgb, bool tint, bool cmyk);

  ZelName getICCColorProfileName() const;
  // i from 0 to 3.
  float getICCValue(int i) const { return m_values[i]; }

  bool isInvalid() const;
  ZelColor getDark() const;
  ZelColor getLight() const;
  // Float fields compare bit for bit: 0 and -0 differ, a NaN equals itself.
  bool operator==(const ZelColor& other) const;
  bool operator!=(const ZelColor& other) const { return !(*this == other); }

  // Components are clamped to [0, 1] first.
  static unsigned int cmyk2rgb(float c, float m, float y, float k);
  // The device CMYK colour whose cmyk2rgb is the word itself.
  static ZelColor rgb2cmyk(unsigned int rgb);

  // The keyword of the RGB word, or the empty name.
  ZelName getColorName() const;
  // The SVG notation (keyword or #RRGGBB, then icc-color(...)) or the
  // function notation (rgb-icc(...)).
  UnicodeString toString(bool svg) const;

 private:
  void setSeparation(const UnicodeString& name, float tint);

  uint32_t m_rgb;
  ZelNameEnum m_profile;
  UnicodeString m_name;
  // Greyscale: level; CMYK: c, m, y, k; separation: tint, c, m, y, k; ICC:
  // the four values. Unused cells stay 0.
  float m_values[5];
  // Greyscale and CMYK: their RGB flag; separation: RGB, tint, CMYK.
  uint8_t m_flags[4];
};

}  // namespace ObraCommon
