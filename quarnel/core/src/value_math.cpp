// ZelValue's numeric side: unit conversion, reading a value as a number,
// arithmetic by unit rules, rounding, and the text form of every kind.
#include <cmath>
#include <cstdint>

#include "quarnel/builtin_names.h"
#include "quarnel/color.h"
#include "quarnel/util.h"
#include "quarnel/value.h"
#include "rounding.h"

namespace ObraCommon {

namespace {

constexpr double PI = 3.14159265358979323846;

// Points per unit of the absolute lengths that convert; 0 for the others
// (Japanese points included).
float pointsPer(unsigned unit) {
  switch (unit) {
    case UNIT_CM:
      return PT_PER_CM;
    case UNIT_MM:
      return PT_PER_MM;
    case UNIT_IN:
      return PT_PER_IN;
    case UNIT_PT:
      return 1.0f;
    case UNIT_PC:
      return PT_PER_PC;
    case UNIT_Q:
      return PT_PER_Q;
    case UNIT_TWIP:
      return PT_PER_TWIP;
    default:
      return 0.0f;
  }
}

// 32-bit two's complement arithmetic without signed overflow.
int32_t wrap(uint32_t bits) { return static_cast<int32_t>(bits); }

}  // namespace

void ZelValue::normalizeUnit() {
  if (!isNumeric()) return;
  unsigned unit = getUnitType();
  float number = numberAsFloat();
  if (unit == UNIT_PT || unit == UNIT_JPT) return;
  float factor = pointsPer(unit);
  if (factor != 0.0f) {
    becomeReal(number * factor, UNIT_PT);
    return;
  }
  switch (unit) {
    case UNIT_RAD:
      becomeReal(static_cast<float>(number * (180.0 / PI)), UNIT_DEG);
      break;
    case UNIT_GRAD:
      becomeReal(number * 0.9f, UNIT_DEG);
      break;
    case UNIT_S:
      becomeReal(number * 1000.0f, UNIT_MS);
      break;
    case UNIT_KHZ:
      becomeReal(number * 1000.0f, UNIT_HZ);
      break;
    case UNIT_DPI:
      setUnitType(UNIT_NUMBER);
      break;
    default:
      break;
  }
}

float ZelValue::getRealValue(ZelValueUnitType unit) const {
  const float nan = ZelUtil::getNaNf();
  if (!isNumeric()) return nan;
  float number = numberAsFloat();
  unsigned from = getUnitType();
  if (unit == from || unit == UNIT_NONE) return number;
  if (unit > UNIT_TWIP) return nan;
  switch (unit) {
    case UNIT_NUMBER:
      if (from == UNIT_PERCENT) return number * 0.01f;
      return from == UNIT_DPI ? number : nan;
    case UNIT_PERCENT:
      return from == UNIT_NUMBER ? number * 100.0f : nan;
    case UNIT_CM:
    case UNIT_MM:
    case UNIT_IN:
    case UNIT_PT:
    case UNIT_PC:
    case UNIT_Q:
    case UNIT_TWIP:
      if (pointsPer(from) == 0.0f) return nan;
      return number * pointsPer(from) / pointsPer(unit);
    case UNIT_DEG:
      if (from == UNIT_RAD) return static_cast<float>(number * (180.0 / PI));
      return from == UNIT_GRAD ? number * 0.9f : nan;
    case UNIT_RAD:
      if (from == UNIT_DEG) return static_cast<float>(number * PI * (1.0 / 180));
      return from == UNIT_GRAD ? static_cast<float>(number * PI * 0.005) : nan;
    case UNIT_GRAD:
      if (from == UNIT_RAD) return static_cast<float>(number * (200.0 / PI));
      return from == UNIT_DEG ? number / 0.9f : nan;
    case UNIT_MS:
      return from == UNIT_S ? number * 1000.0f : nan;
    case UNIT_S:
      return from == UNIT_MS ? number * 0.001f : nan;
    case UNIT_HZ:
      return from == UNIT_KHZ ? number * 1000.0f : nan;
    case UNIT_KHZ:
      return from == UNIT_HZ ? number * 0.001f : nan;
    case UNIT_DPI:
      return from == UNIT_PERCENT ? number : nan;
    default:
      return nan;
  }
}

ZelLength ZelValue::getLengthValue() const {
  if (isCompound()) {
    ZelValue length = getNamedItem(ZelName(NAME_LENGTH));
    if (length.isNull()) length = getNamedItem(ZelName());
    // An entry holding the map itself would otherwise recurse forever.
    if (length.isCompound()) return ZelLength(ZelUtil::getNaNf());
    return length.getLengthValue();
  }
  if (isNumeric()) {
    float factor = pointsPer(getUnitType());
    if (factor != 0.0f) return ZelLength(numberAsFloat() * factor);
  }
  return ZelLength(ZelUtil::getNaNf());
}

int ZelValue::getIntegerValue() const {
  if (isInteger()) return m_payload.integer;
  // floor gives a whole number, which the saturating conversion keeps.
  if (isReal()) return roundHalfAwayFromZero(std::floor(static_cast<double>(m_payload.real) + 0.5));
  return 0;
}

ZelValue& ZelValue::additive(const ZelValue& other, char op) {
  if (!isNumeric() || !other.isNumeric()) {
    becomeNull();
    return *this;
  }
  ZelValue right(other);
  if ((m_type & 0xFFu) != (other.m_type & 0xFFu)) {
    normalizeUnit();
    right.normalizeUnit();
    if (getUnitType() != right.getUnitType()) {
      becomeNull();
      return *this;
    }
    if (isReal() || right.isReal()) {
      if (isInteger()) becomeReal(numberAsFloat(), getUnitType());
      if (right.isInteger()) right.becomeReal(right.numberAsFloat(), right.getUnitType());
    }
  }
  if (isInteger()) {
    uint32_t a = static_cast<uint32_t>(m_payload.integer);
    uint32_t b = static_cast<uint32_t>(right.m_payload.integer);
    switch (op) {
      case '+':
        m_payload.integer = wrap(a + b);
        break;
      case '-':
        m_payload.integer = wrap(a - b);
        break;
      default:
        if (right.m_payload.integer == 0)
          becomeNull();
        else if (right.m_payload.integer == -1)
          m_payload.integer = 0;  // INT_MIN % -1 traps on x86
        else
          m_payload.integer %= right.m_payload.integer;
        break;
    }
  } else {
    float a = m_payload.real;
    float b = right.m_payload.real;
    m_payload.real = op == '+' ? a + b : op == '-' ? a - b : std::fmod(a, b);
  }
  return *this;
}

ZelValue& ZelValue::multiplicative(const ZelValue& other, bool divide) {
  if (!isNumeric() || !other.isNumeric()) {
    becomeNull();
    return *this;
  }
  ZelValue left(*this);
  ZelValue right(other);
  left.normalizeUnit();
  right.normalizeUnit();
  double a = left.numberAsDouble();
  double b = right.numberAsDouble();
  unsigned ua = left.getUnitType();
  unsigned ub = right.getUnitType();
  if (ua == UNIT_PERCENT) {
    a *= 0.01;
    ua = UNIT_NUMBER;
  }
  if (ub == UNIT_PERCENT) {
    b *= 0.01;
    ub = UNIT_NUMBER;
  }
  unsigned unit = UNIT_NONE;
  bool valid = true;
  if (!divide) {
    if (ua == UNIT_NUMBER)
      unit = ub;
    else if (ub == UNIT_NUMBER)
      unit = ua;
    else if (ua == UNIT_PT && ub == UNIT_PT)
      unit = UNIT_SQUARE_PT;
    else if ((ua == UNIT_PT && ub == UNIT_SQUARE_PT) || (ua == UNIT_SQUARE_PT && ub == UNIT_PT))
      unit = UNIT_CUBIC_PT;
    else
      valid = false;
  } else {
    if (ub == UNIT_NUMBER)
      unit = ua;
    else if (ua == UNIT_NUMBER)
      valid = false;
    else if (ua == ub)
      unit = UNIT_NUMBER;
    else if (ua == UNIT_CUBIC_PT && ub == UNIT_PT)
      unit = UNIT_SQUARE_PT;
    else if ((ua == UNIT_CUBIC_PT && ub == UNIT_SQUARE_PT) || (ua == UNIT_SQUARE_PT && ub == UNIT_PT))
      unit = UNIT_PT;
    else
      valid = false;
  }
  if (!valid) {
    becomeNull();
    return *this;
  }
  becomeReal(static_cast<float>(divide ? a / b : a * b), static_cast<ZelValueUnitType>(unit));
  return *this;
}

ZelValue& ZelValue::operator+=(const ZelValue& other) { return additive(other, '+'); }
ZelValue& ZelValue::operator-=(const ZelValue& other) { return additive(other, '-'); }
ZelValue& ZelValue::operator%=(const ZelValue& other) { return additive(other, '%'); }
ZelValue& ZelValue::operator*=(const ZelValue& other) { return multiplicative(other, false); }
ZelValue& ZelValue::operator/=(const ZelValue& other) { return multiplicative(other, true); }

ZelValue ZelValue::operator+(const ZelValue& other) const { return ZelValue(*this) += other; }
ZelValue ZelValue::operator-(const ZelValue& other) const { return ZelValue(*this) -= other; }
ZelValue ZelValue::operator*(const ZelValue& other) const { return ZelValue(*this) *= other; }
ZelValue ZelValue::operator/(const ZelValue& other) const { return ZelValue(*this) /= other; }
ZelValue ZelValue::operator%(const ZelValue& other) const { return ZelValue(*this) %= other; }

ZelValue ZelValue::operator-() const {
  ZelValue result(*this);
  if (isInteger())
    result.m_payload.integer = wrap(0u - static_cast<uint32_t>(m_payload.integer));
  else if (isReal())
    result.m_payload.real = -m_payload.real;
  else
    result.becomeNull();
  return result;
}

ZelValue ZelValue::abs() const {
  if (isInteger() && m_payload.integer < 0) return -*this;
  ZelValue result(*this);
  if (isReal())
    result.m_payload.real = std::fabs(m_payload.real);
  else if (!isInteger())
    result.becomeNull();
  return result;
}

ZelValue ZelValue::roundedBy(float (*step)(float)) const {
  ZelValue result(*this);
  if (!isNumber())
    result.becomeNull();
  else if (isReal())
    result.m_payload.real = step(m_payload.real);
  return result;
}

ZelValue ZelValue::floor() const { return roundedBy([](float x) { return std::floor(x); }); }
ZelValue ZelValue::ceiling() const { return roundedBy([](float x) { return std::ceil(x); }); }
ZelValue ZelValue::round() const { return roundedBy([](float x) { return std::floor(x + 0.5f); }); }

UnicodeString ZelValue::getUnitString(ZelValueUnitType unit) {
  static const char16_t* const TEXTS[] = {u"",   u"",   u"%",  u"em", u"ex",  u"px", u"cm",  u"mm",
                                          u"in", u"pt", u"pc", u"jpt", u"q", u"deg", u"rad", u"grad",
                                          u"ms", u"s",  u"Hz", u"kHz"};
  if (unit >= 0 && unit < static_cast<int>(sizeof(TEXTS) / sizeof(TEXTS[0]))) return UnicodeString(TEXTS[unit]);
  if (unit == UNIT_DPI) return UnicodeString(u"dpi");
  if (unit == UNIT_TWIP) return UnicodeString(u"twip");
  return UnicodeString();
}

UnicodeString ZelValue::toString() const {
  switch (getValueType()) {
    case VALUE_STRING:
    case VALUE_NAME:
      return getStringValue();
    case VALUE_OBJECT:
      if (m_payload.object == nullptr) return UnicodeString();
      return UnicodeString(u"##") + m_payload.object->getTypeName();
    case VALUE_COMPOUND: {
      if (!isCompound()) return UnicodeString();
      if (getUnitType() == UNIT_COLOR) return getColorValue().toString(false);
      UnicodeString text(u"{");
      ZelNamedValueMapIterator entries(m_payload.map);
      while (entries.hasNext()) {
        const ZelNamedValue& entry = entries.next();
        if (entry.isNull()) continue;
        if (text.length() > 1) text.append(u"; ");
        if (entry.getName().isEmpty())
          text.append(u'.');
        else
          text.append(entry.getName().toString());
        text.append(u": ").append(entry.toString());
      }
      return text.append(u'}');
    }
    case VALUE_INTEGER:
      if (getUnitType() == UNIT_COLOR) return getColorValue().toString(false);
      if (getUnitType() == UNIT_CHAR) return UnicodeString(static_cast<char16_t>(m_payload.integer & 0xFFFF));
      return ZelUtil::toString(m_payload.integer) + getUnitString(getUnitType());
    case VALUE_REAL:
      return ZelUtil::toString(static_cast<double>(m_payload.real)) + getUnitString(getUnitType());
    default:
      return UnicodeString();
  }
}

// Colour values.

ZelValue::ZelValue(const ZelColor& color) : m_type(bitfield(VALUE_INTEGER, UNIT_COLOR, 0)) {
  m_payload.bits = 0;
  m_payload.integer = static_cast<int32_t>(color.getRGB());
  ZelNameEnum space = color.getProfileType();
  ZelValue record;
  if (space == NAME_COLOR_CMYK) {
    record.setNamedItem(ZelName(NAME_CYAN), ZelValue(color.getC()));
    record.setNamedItem(ZelName(NAME_MAGENTA), ZelValue(color.getM()));
    record.setNamedItem(ZelName(NAME_YELLOW), ZelValue(color.getY()));
    record.setNamedItem(ZelName(NAME_BLACK), ZelValue(color.getK()));
    setNamedItem(ZelName(space), record);
  } else if (space == NAME_COLOR_GRAYSCALE) {
    setNamedItem(ZelName(space), ZelValue(color.getGrayscale()));
  } else if (space == NAME_COLOR_SEPARATION) {
    record.setNamedItem(ZelName(NAME_NAME), ZelValue(color.getSeparationColorName()));
    record.setNamedItem(ZelName(NAME_VALUE), ZelValue(color.getSeparationTint()));
    record.setNamedItem(ZelName(NAME_CYAN), ZelValue(color.getSeparationC()));
    record.setNamedItem(ZelName(NAME_MAGENTA), ZelValue(color.getSeparationM()));
    record.setNamedItem(ZelName(NAME_YELLOW), ZelValue(color.getSeparationY()));
    record.setNamedItem(ZelName(NAME_BLACK), ZelValue(color.getSeparationK()));
    int flags = (color.hasSeparationRGB() ? 1 : 0) | (color.hasSeparationTint() ? 2 : 0) |
                (color.hasSeparationCMYK() ? 4 : 0);
    record.setNamedItem(ZelName(space), ZelValue(flags));
    setNamedItem(ZelName(space), record);
  } else if (space == NAME_ICC_COLOR) {
    record.setNamedItem(ZelName(NAME_NAME), ZelValue(color.getICCColorProfileName()));
    record.setNamedItem(ZelName(NAME_CYAN), ZelValue(color.getICCValue(0)));
    record.setNamedItem(ZelName(NAME_MAGENTA), ZelValue(color.getICCValue(1)));
    record.setNamedItem(ZelName(NAME_YELLOW), ZelValue(color.getICCValue(2)));
    record.setNamedItem(ZelName(NAME_BLACK), ZelValue(color.getICCValue(3)));
    setNamedItem(ZelName(space), record);
  }
  setUnitType(UNIT_COLOR);
}

ZelColor ZelValue::getColorValue() const {
  unsigned unit = getUnitType();
  if (unit == UNIT_NAME) {
    ZelColor color(getNameValue());
    return color.isInvalid() ? ZelColor::getTransparent() : color;
  }
  if (unit != UNIT_COLOR) {
    // A colour text; what it gives has unit 24, so this reads no text again.
    ZelValue parsed = parseColor(getStringValue(), false);
    return parsed.getUnitType() == UNIT_COLOR ? parsed.getColorValue() : ZelColor::getTransparent();
  }
  if (isInteger()) return ZelColor(static_cast<unsigned int>(m_payload.integer));
  if (!isCompound()) return ZelColor::getTransparent();
  ZelValue baseValue = getNamedItem(ZelName());
  // A record inside its own base would otherwise recurse without end.
  if (baseValue.isCompound()) return ZelColor::getTransparent();
  ZelColor base = baseValue.getColorValue();
  if (base.isTransparent()) return base;
  ZelNamedValueMapIterator entries(m_payload.map);
  ZelNameEnum space = ZEL_NAME_EMPTY;
  ZelValue record;
  while (entries.hasNext()) {
    const ZelNamedValue& entry = entries.next();
    if (!entry.getName().isEmpty()) {
      space = entry.getName();
      record = entry.getValue();
      break;
    }
  }
  auto number = [&record](ZelNameEnum name) { return record.getNamedItem(ZelName(name)).getRealValue(UNIT_NONE); };
  if (space == NAME_COLOR_SEPARATION) {
    ZelColor color(base, record.getNamedItem(ZelName(NAME_NAME)).toString(), number(NAME_VALUE), number(NAME_CYAN),
                   number(NAME_MAGENTA), number(NAME_YELLOW), number(NAME_BLACK));
    int flags = record.getNamedItem(ZelName(NAME_COLOR_SEPARATION)).getIntegerValue();
    color.adjustSeparationFlags((flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0);
    return color;
  }
  if (space == NAME_ICC_COLOR)
    return ZelColor(base, record.getNamedItem(ZelName(NAME_NAME)).toString(), number(NAME_CYAN), number(NAME_MAGENTA),
                    number(NAME_YELLOW), number(NAME_BLACK));
  if (space == NAME_COLOR_CMYK)
    return ZelColor(base, number(NAME_CYAN), number(NAME_MAGENTA), number(NAME_YELLOW), number(NAME_BLACK));
  if (space == NAME_COLOR_GRAYSCALE) return ZelColor(base, record.getRealValue(UNIT_NONE));
  return ZelColor::getTransparent();
}

}  // namespace ObraCommon
