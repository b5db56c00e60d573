// ZelColor: construction, conversions between RGB and device CMYK, derived
// colours, validity, equality, and the keywords and texts of colours.
#include "quarnel/color.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <unicode/locid.h>

#include "quarnel/builtin_names.h"
#include "quarnel/util.h"

namespace ObraCommon {

namespace {

float zeroone(float value) {
  if (!(value > 0.0f)) return 0.0f;  // NaN included
  return value > 1.0f ? 1.0f : value;
}

// level × 255 + 0.5 truncated, clamped in float first so no NaN or huge
// level reaches the conversion to int.
unsigned int levelByte(float level) {
  float scaled = level * 255.0f + 0.5f;
  if (!(scaled > 0.0f)) return 0;
  if (scaled >= 255.0f) return 255;
  return static_cast<unsigned int>(scaled);
}

unsigned int greyWord(unsigned int level) { return (level << 16) | (level << 8) | level; }

bool sameBits(const float* a, const float* b, size_t count) { return std::memcmp(a, b, count * sizeof(float)) == 0; }

UnicodeString lowerRoot(const UnicodeString& text) { return UnicodeString(text).toLower(icu::Locale::getRoot()); }

struct Keyword {
  const char16_t* text;
  unsigned int rgb;
};

const Keyword KEYWORDS[] = {
#include "colour_keywords.inc"
};

struct KeywordTables {
  std::vector<std::pair<ZelNameEnum, unsigned int>> byName;
  std::vector<std::pair<unsigned int, ZelNameEnum>> byRGB;
};

// Of two keywords sharing a value, the one getColorName answers.
bool preferred(const UnicodeString& text) {
  return text == u"cyan" || text == u"magenta" || text.indexOf(u"gray") >= 0;
}

const KeywordTables& keywordTables() {
  static const KeywordTables tables = [] {
    KeywordTables made;
    for (const Keyword& keyword : KEYWORDS) {
      UnicodeString text(keyword.text);
      ZelNameEnum name = ZelNameTable::getBuiltinNameEnum(text);
      made.byName.emplace_back(name, keyword.rgb);
      auto same = std::find_if(made.byRGB.begin(), made.byRGB.end(),
                               [&keyword](const auto& entry) { return entry.first == keyword.rgb; });
      if (same == made.byRGB.end())
        made.byRGB.emplace_back(keyword.rgb, name);
      else if (preferred(text))
        same->second = name;
    }
    std::sort(made.byName.begin(), made.byName.end());
    std::sort(made.byRGB.begin(), made.byRGB.end());
    return made;
  }();
  return tables;
}

}  // namespace

ZelColor::ZelColor(unsigned int rgb) : m_rgb(rgb), m_profile(ZEL_NAME_EMPTY), m_values{}, m_flags{} {}

ZelColor::ZelColor() : ZelColor(0u) {}

ZelColor::ZelColor(int r, int g, int b) : ZelColor(0u) {
  auto channel = [](int v) { return static_cast<unsigned int>(std::clamp(v, 0, 255)); };
  m_rgb = (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

ZelColor::ZelColor(float grey) : ZelColor(greyWord(levelByte(zeroone(grey)))) {
  m_profile = NAME_COLOR_GRAYSCALE;
  m_values[0] = zeroone(grey);
  m_flags[0] = 1;
}

ZelColor::ZelColor(const ZelColor& rgb, float grey) : ZelColor(rgb.m_rgb) {
  m_profile = NAME_COLOR_GRAYSCALE;
  m_values[0] = zeroone(grey);
  m_flags[0] = 1;
}

ZelColor::ZelColor(float c, float m, float y, float k) : ZelColor(ZelColor(cmyk2rgb(c, m, y, k)), c, m, y, k) {}

ZelColor::ZelColor(const ZelColor& rgb, float c, float m, float y, float k) : ZelColor(rgb.m_rgb) {
  m_profile = NAME_COLOR_CMYK;
  m_values[0] = zeroone(c);
  m_values[1] = zeroone(m);
  m_values[2] = zeroone(y);
  m_values[3] = zeroone(k);
  m_flags[0] = 1;
}

void ZelColor::setSeparation(const UnicodeString& name, float tint) {
  m_profile = NAME_COLOR_SEPARATION;
  m_name = name.isEmpty() ? UnicodeString(u"All") : name;
  m_values[0] = zeroone(tint);
  m_flags[1] = 1;
}

ZelColor::ZelColor(const UnicodeString& name, float tint) : ZelColor(0u) {
  m_rgb = greyWord(levelByte(1.0f - tint));
  setSeparation(name, tint);
  std::fill(m_values + 1, m_values + 5, 1.0f);
}

ZelColor::ZelColor(const UnicodeString& name, float tint, float c, float m, float y, float k)
    : ZelColor(ZelColor(cmyk2rgb(c, m, y, k)), name, tint, c, m, y, k) {
  m_flags[0] = 0;
}

ZelColor::ZelColor(const ZelColor& rgb, const UnicodeString& name, float tint) : ZelColor(rgb.m_rgb) {
  ZelColor cmyk = rgb2cmyk(rgb.m_rgb);
  setSeparation(name, tint);
  std::copy(cmyk.m_values, cmyk.m_values + 4, m_values + 1);
  m_flags[0] = 1;
}

ZelColor::ZelColor(const ZelColor& rgb, const UnicodeString& name, float tint, float c, float m, float y, float k)
    : ZelColor(rgb.m_rgb) {
  setSeparation(name, tint);
  m_values[1] = zeroone(c);
  m_values[2] = zeroone(m);
  m_values[3] = zeroone(y);
  m_values[4] = zeroone(k);
  m_flags[0] = 1;
  m_flags[2] = 1;
}

ZelColor::ZelColor(const ZelColor& rgb, const UnicodeString& profile, float icc0, float icc1, float icc2,
                   float icc3)
    : ZelColor(rgb.m_rgb) {
  m_profile = NAME_ICC_COLOR;
  m_name = profile;
  m_values[0] = icc0;
  m_values[1] = icc1;
  m_values[2] = icc2;
  m_values[3] = icc3;
}

ZelColor::ZelColor(ZelName name) : ZelColor(0u) {
  const auto& byName = keywordTables().byName;
  auto place = std::lower_bound(byName.begin(), byName.end(), std::make_pair(static_cast<ZelNameEnum>(name), 0u));
  if (place != byName.end() && place->first == name) {
    m_rgb = place->second;
    return;
  }
  if (name == NAME_CURRENT_COLOR) {
    m_rgb = CURRENT_COLOR_RGB;
    return;
  }
  if (name == NAME_TRANSPARENT) {
    m_rgb = TRANSPARENT_RGB;
    return;
  }
  const UnicodeString& text = name.toString();
  UnicodeString lower = lowerRoot(text);
  // Every keyword is a built-in name, so a lower-case spelling that is
  // not built in names no colour and is not added to the shared table.
  ZelNameEnum lowerName = lower != text ? ZelNameTable::getBuiltinNameEnum(lower) : ZEL_NAME_EMPTY;
  *this = lowerName != ZEL_NAME_EMPTY ? ZelColor(ZelName(lowerName)) : getInvalidColor();
  if (isInvalid() && lower == u"currentcolor") m_rgb = CURRENT_COLOR_RGB;
}

bool ZelColor::isCMYK() const { return m_profile == NAME_COLOR_CMYK; }
bool ZelColor::isGrayscale() const { return m_profile == NAME_COLOR_GRAYSCALE; }
bool ZelColor::isSeparation() const { return m_profile == NAME_COLOR_SEPARATION; }
bool ZelColor::isICCColorProfile() const { return m_profile == NAME_ICC_COLOR; }

unsigned int ZelColor::getSeparationRGB() const {
  float tint = m_values[0];
  if (!(tint < 1.0f)) return m_rgb;
  if (hasSeparationRGB() && !hasSeparationCMYK()) {
    ZelColor cmyk = rgb2cmyk(m_rgb);
    return cmyk2rgb(cmyk.getC() * tint, cmyk.getM() * tint, cmyk.getY() * tint, cmyk.getK() * tint);
  }
  return cmyk2rgb(m_values[1] * tint, m_values[2] * tint, m_values[3] * tint, m_values[4] * tint);
}

bool ZelColor::isRegistrationName() const { return lowerRoot(m_name) == u"all"; }

void ZelColor::adjustSeparationFlags(bool rgb, bool tint, bool cmyk) {
  m_flags[0] = rgb ? 1 : 0;
  m_flags[1] = tint ? 1 : 0;
  m_flags[2] = cmyk ? 1 : 0;
}

ZelName ZelColor::getICCColorProfileName() const { return ZelName(ZelNameTable::getSharedNameEnum(m_name)); }

bool ZelColor::isInvalid() const {
  if ((m_rgb & 0xFF000000u) != 0 && m_rgb != TRANSPARENT_RGB && m_rgb != CURRENT_COLOR_RGB) return true;
  if (!isICCColorProfile()) return false;
  ZelNameEnum profile = ZelNameTable::getBuiltinNameEnum(m_name);
  if (profile == NAME_COLOR_CMYK || profile == NAME_COLOR_GRAYSCALE || profile == NAME_COLOR_REGISTRATION ||
      profile == NAME_COLOR_SEPARATION || profile == NAME_COLOR_SPOTCOLOR)
    return false;
  return m_name.startsWith(u"#");
}

ZelColor ZelColor::getDark() const {
  auto dark = [](unsigned int channel) { return 2 * channel / 3; };
  return ZelColor((dark(getR()) << 16) | (dark(getG()) << 8) | dark(getB()));
}

ZelColor ZelColor::getLight() const {
  auto light = [](unsigned int channel) { return 255 - ((255 - channel) >> 1); };
  return ZelColor((light(getR()) << 16) | (light(getG()) << 8) | light(getB()));
}

bool ZelColor::operator==(const ZelColor& other) const {
  if (m_rgb != other.m_rgb || m_profile != other.m_profile) return false;
  switch (m_profile) {
    case NAME_COLOR_CMYK:
      return sameBits(m_values, other.m_values, 4) && m_flags[0] == other.m_flags[0];
    case NAME_COLOR_GRAYSCALE:
      return sameBits(m_values, other.m_values, 1) && m_flags[0] == other.m_flags[0];
    case NAME_COLOR_SEPARATION: {
      bool registration = isRegistrationName();
      if (registration != other.isRegistrationName()) return false;
      if (!registration && m_name != other.m_name) return false;
      return sameBits(m_values, other.m_values, 5) && std::memcmp(m_flags, other.m_flags, 3) == 0;
    }
    case NAME_ICC_COLOR:
      return m_name == other.m_name && sameBits(m_values, other.m_values, 4);
    default:
      return true;
  }
}

unsigned int ZelColor::cmyk2rgb(float c, float m, float y, float k) {
  k = zeroone(k);
  float t = 1.0f - k;
  auto channel = [t, k](float x) {
    float a = t * zeroone(x) + k;
    if (!(a < 1.0f)) a = 1.0f;
    return levelByte(1.0f - a);
  };
  return (channel(c) << 16) | (channel(m) << 8) | channel(y);
}

ZelColor ZelColor::rgb2cmyk(unsigned int rgb) {
  const float scale = 1.0f / 255.0f;
  float c = 1.0f - static_cast<float>(getR(rgb)) * scale;
  float m = 1.0f - static_cast<float>(getG(rgb)) * scale;
  float y = 1.0f - static_cast<float>(getB(rgb)) * scale;
  float k = std::min(std::min(c, m), y);
  // Dividing by what black leaves makes this the exact inverse of cmyk2rgb.
  auto part = [k](float x) { return k < 1.0f ? (x - k) / (1.0f - k) : 0.0f; };
  return ZelColor(part(c), part(m), part(y), k);
}

ZelName ZelColor::getColorName() const {
  if (m_rgb == TRANSPARENT_RGB) return ZelName(NAME_TRANSPARENT);
  if (m_rgb == CURRENT_COLOR_RGB) return ZelName(NAME_CURRENT_COLOR);
  const auto& byRGB = keywordTables().byRGB;
  auto place = std::lower_bound(byRGB.begin(), byRGB.end(), std::make_pair(m_rgb, ZEL_NAME_EMPTY));
  if (place != byRGB.end() && place->first == m_rgb) return ZelName(place->second);
  return ZelName();
}

UnicodeString ZelColor::toString(bool svg) const {
  if (isTransparent()) return UnicodeString(u"transparent");
  if (isCurrentColor()) return UnicodeString(u"currentColor");
  if (m_profile == ZEL_NAME_EMPTY && isInvalid()) return UnicodeString();
  UnicodeString base(u"#");
  static const char16_t DIGITS[] = u"0123456789ABCDEF";
  // At least six digits, as "%06X" writes them, so a word with a marker
  // byte keeps it.
  int top = (m_rgb >> 24) == 0 ? 20 : (m_rgb >> 28) == 0 ? 24 : 28;
  for (int shift = top; shift >= 0; shift -= 4) base.append(DIGITS[(m_rgb >> shift) & 0xFu]);
  if (svg) {
    ZelName keyword = getColorName();
    if (!keyword.isEmpty()) base = keyword.toString();
  }
  auto number = [](float value) { return ZelUtil::toString(static_cast<double>(value)); };
  auto channels = [this]() {
    return ZelUtil::toString(getR()) + u"," + ZelUtil::toString(getG()) + u"," + ZelUtil::toString(getB()) + u",";
  };
  auto values = [this, &number](int from, int count) {
    UnicodeString text;
    for (int i = from; i < from + count; ++i) text.append(u',').append(number(m_values[i]));
    return text;
  };
  UnicodeString head = svg ? base + u" icc-color(" : UnicodeString(u"rgb-icc(");
  switch (m_profile) {
    case ZEL_NAME_EMPTY:
      return base;
    case NAME_COLOR_CMYK:
      if (!svg && hasCMYKRGB()) head += channels();
      return head + u"#CMYK" + values(0, 4) + u")";
    case NAME_COLOR_GRAYSCALE:
      if (!svg && hasGrayscaleRGB()) head += channels();
      return head + u"#GRAYSCALE" + values(0, 1) + u")";
    case NAME_ICC_COLOR:
      if (!svg) head += channels();
      return head + m_name + values(0, 4) + u")";
    case NAME_COLOR_SEPARATION: {
      if (!svg && hasSeparationRGB()) head += channels();
      head += u"#SEPARATION";
      if (!isRegistrationName()) {
        // A name holding a double quote and no single quote goes in single
        // quotes, so the text still reads back as the same name.
        char16_t quote = m_name.indexOf(u'"') >= 0 && m_name.indexOf(u'\'') < 0 ? u'\'' : u'"';
        head.append(u',').append(quote).append(m_name).append(quote);
      }
      if (hasSeparationTint()) {
        head += values(0, 1);
        if (hasSeparationCMYK()) head += values(1, 4);
      }
      return head + u")";
    }
    default:
      return UnicodeString();
  }
}

}  // namespace ObraCommon
