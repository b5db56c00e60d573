// ZelValue: the library's one value type. Attribute and property values,
// parsed texts, colours and small records of named fields all travel as a
// ZelValue: a payload (an integer, a float, a name number or a pointer) and
// a 32-bit type word packing the kind (bits 0-2), the unit (bits 3-7) and,
// for an entry of a record, the entry's name (bits 8-31).
//
// Ownership follows the kind: a string value owns its own copy of the text;
// objects and the maps of compound values are shared by reference count, so
// copies of a compound value see each other's entries.
#pragma once

#include <cstdint>
#include <vector>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/length.h"
#include "quarnel/name.h"
#include "quarnel/object_base.h"
#include "quarnel/value_unit.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

using icu::UnicodeString;

class ZelColor;
class ZelNamedValue;
class ZelNamedValueMap;

enum ZelValueType {
  VALUE_NULL = 0,
  VALUE_INTEGER = 1,
  VALUE_REAL = 2,
  VALUE_NAME = 3,
  VALUE_STRING = 4,
  VALUE_OBJECT = 5,
  VALUE_COMPOUND = 7,
};

class QUARNEL_API ZelValue {
 public:
  static const ZelValue NULL_VALUE;

  // The highest name number an entry can carry in its 24 name bits.
  static constexpr ZelNameEnum MAX_ENTRY_NAME = 0xFFFFFF;

  ZelValue() : m_type(0) { m_payload.bits = 0; }
  ZelValue(int number);
  // A number outside the int32 range becomes a plain real.
  ZelValue(long number);
  ZelValue(float number, ZelValueUnitType unit = UNIT_NUMBER);
  ZelValue(ZelLength length);
  ZelValue(bool truth);
  ZelValue(ZelName name);
  ZelValue(const UnicodeString& text, ZelValueUnitType unit = UNIT_NONE);
  // A null pointer gives the null value; otherwise one reference is taken.
  ZelValue(ZelRCObject* object);
  ZelValue(ZelNamedValueMap* map);
  ZelValue(const ZelColor& color);
  // A text pointer would otherwise silently become a truth value.
  ZelValue(const char16_t*) = delete;
  ZelValue(const char*) = delete;
  ZelValue(const ZelValue& other);
  ZelValue& operator=(const ZelValue& other);
  ~ZelValue();

  // String payloads are made and freed only here, so allocation and release
  // always match.
  static UnicodeString* newStringPayload(const UnicodeString& text);
  static void deleteStringPayload(UnicodeString* text);

  ZelValueType getValueType() const { return static_cast<ZelValueType>(m_type & 7u); }
  ZelValueUnitType getUnitType() const { return static_cast<ZelValueUnitType>((m_type >> 3) & 31u); }
  // These replace their bits only; payload and ownership are untouched.
  void setValueType(ZelValueType kind) { m_type = (m_type & ~7u) | (static_cast<uint32_t>(kind) & 7u); }
  void setUnitType(ZelValueUnitType unit) {
    m_type = (m_type & ~(31u << 3)) | ((static_cast<uint32_t>(unit) & 31u) << 3);
  }

  ZelName getNameValue() const;
  ZelNameEnum toZelName() const;
  UnicodeString getStringValue() const;
  ZelRCObject* getRCObject() const;
  ZelNamedValueMap* getNamedValueMap() const;

  int getIntegerValue() const;
  float getRealValue(ZelValueUnitType unit) const;
  ZelLength getLengthValue() const;
  ZelColor getColorValue() const;
  void normalizeUnit();

  bool isNull() const { return getValueType() == VALUE_NULL; }
  bool isEmpty() const;
  bool isInteger() const { return getValueType() == VALUE_INTEGER; }
  bool isReal() const { return getValueType() == VALUE_REAL; }
  bool isName() const { return getValueType() == VALUE_NAME; }
  bool isString() const { return getValueType() == VALUE_STRING; }
  bool isNumeric() const { return isInteger() || isReal(); }
  bool isNumber() const { return isNumeric() && getUnitType() == UNIT_NUMBER; }
  bool isPercentage() const { return isNumeric() && getUnitType() == UNIT_PERCENT; }
  bool isNumericalValue() const { return isNumeric() && getUnitType() != UNIT_CHAR; }
  bool isCharacter() const { return isInteger() && getUnitType() == UNIT_CHAR; }
  bool isRelativeLength() const;
  bool isAbsoluteLength() const;
  bool isAngle() const;
  bool isColor() const;
  bool isCompound() const { return getValueType() == VALUE_COMPOUND && m_payload.map != nullptr; }
  bool isRCObject() const { return getValueType() == VALUE_OBJECT || isCompound(); }
  bool isUnknownString() const { return isString() && getUnitType() == UNIT_NONE; }
  bool isLiteralString() const { return isString() && getUnitType() == UNIT_LITERAL; }
  bool isUriString() const { return isString() && getUnitType() == UNIT_URI; }
  bool isTrue() const;
  bool isFalse() const;

  void makeCompound();
  ZelValue getNamedItem(ZelName name) const;
  // Both refuse a name above MAX_ENTRY_NAME and then change nothing.
  void setNamedItem(ZelName name, const ZelValue& value);
  void setNamedItem(const ZelNamedValue& entry);
  void removeNamedItem(ZelName name);

  bool operator==(const ZelValue& other) const;
  bool operator!=(const ZelValue& other) const { return !(*this == other); }
  bool operator<(const ZelValue& other) const;
  bool operator>(const ZelValue& other) const { return other < *this; }
  bool operator<=(const ZelValue& other) const { return !(other < *this); }
  bool operator>=(const ZelValue& other) const { return !(*this < other); }

  ZelValue& operator+=(const ZelValue& other);
  ZelValue& operator-=(const ZelValue& other);
  ZelValue& operator*=(const ZelValue& other);
  ZelValue& operator/=(const ZelValue& other);
  ZelValue& operator%=(const ZelValue& other);
  ZelValue operator+(const ZelValue& other) const;
  ZelValue operator-(const ZelValue& other) const;
  ZelValue operator*(const ZelValue& other) const;
  ZelValue operator/(const ZelValue& other) const;
  ZelValue operator%(const ZelValue& other) const;
  ZelValue operator-() const;
  ZelValue abs() const;
  ZelValue floor() const;
  ZelValue ceiling() const;
  ZelValue round() const;

  UnicodeString toString() const;
  UnicodeString toValueText() const { return toString(); }
  explicit operator UnicodeString() const { return toString(); }
  static UnicodeString getUnitString(ZelValueUnitType unit);

  // Texts into values. A text that is not exactly one token (blanks around
  // it aside) stays an unknown string holding the whole text: parse reads a
  // signed number with its unit, a colour, a quoted string or a name,
  // parseNonNumeric only a quoted string or a name.
  static ZelValue parse(const UnicodeString& text);
  static ZelValue parseNonNumeric(const UnicodeString& text);
  // A colour text: #rgb, rgb(...), rgb-icc(...) and, in the SVG notation,
  // keywords and icc-color(...); anything else stays a string value.
  static ZelValue parseColor(const UnicodeString& text, bool svg);

  // Link texts into records of where they lead; the null value where there
  // is nothing to read.
  static ZelValue parsePDFOpenParameters(const UnicodeString& text);
  static ZelValue parseXlinkHref(const UnicodeString& text);
  static ZelValue parseInternalDestination(const UnicodeString& text, int defaultPage);
  static ZelValue parseDestinationType(const UnicodeString& text);
  static ZelValue parseUriFragmentParameters(const UnicodeString& text, bool lowerCaseKeys);
  static ZelValue parseExcelOpenParameters(const UnicodeString& text);

 protected:
  static uint32_t bitfield(uint32_t kind, uint32_t unit, uint32_t name) {
    return (((name << 5) | unit) << 3) | kind;
  }
  ZelNameEnum getNameBits() const { return static_cast<ZelNameEnum>(m_type >> 8); }
  void setNameBits(ZelNameEnum name) { m_type = (m_type & 0xFFu) | (static_cast<uint32_t>(name) << 8); }

 private:
  // One reference more to a non-null object, held as the given kind.
  void share(ZelRCObject* object, ZelValueType kind);
  void copyPayload(const ZelValue& other);
  void releasePayload();
  // Null with the name bits kept.
  void becomeNull();
  void becomeReal(float number, ZelValueUnitType unit);
  float numberAsFloat() const;
  double numberAsDouble() const;
  ZelValue& additive(const ZelValue& other, char op);
  ZelValue& multiplicative(const ZelValue& other, bool divide);
  // Plain numbers only; an integer stays as it is.
  ZelValue roundedBy(float (*step)(float)) const;
  // The open parameters after a link's "#" added to a copy of base.
  static ZelValue parseOpenParameterList(const UnicodeString& text, const ZelValue& base, int defaultPage);

  union Payload {
    int32_t integer;
    float real;
    ZelNameEnum name;
    UnicodeString* string;
    ZelRCObject* object;
    ZelNamedValueMap* map;
    uint64_t bits;
  };
  Payload m_payload;
  uint32_t m_type;
};

static_assert(sizeof(ZelValue) == 16, "a value is a 64-bit payload and a 32-bit type word");

// A value that carries its entry name in the name bits of its type word, so
// name and value can never disagree.
class QUARNEL_API ZelNamedValue : public ZelValue {
 public:
  static const ZelNamedValue NULL_VALUE;

  ZelNamedValue() = default;
  // A name above MAX_ENTRY_NAME leaves the entry unnamed.
  ZelNamedValue(const ZelValue& value, ZelName name);
  ZelNamedValue(const ZelNamedValue& other) = default;
  ZelNamedValue& operator=(const ZelNamedValue& other) = default;
  ~ZelNamedValue() = default;

  ZelName getName() const { return ZelName(getNameBits()); }
  // Refuses a name above MAX_ENTRY_NAME and then changes nothing.
  void setName(ZelName name);
  ZelValue getValue() const { return *this; }
  void setValue(const ZelValue& value);
};

// The entries of a compound value, ordered by name number, one per name.
class QUARNEL_API ZelNamedValueMap : public ZelRCObject {
 public:
  ZelNamedValueMap();
  ~ZelNamedValueMap() override;
  ZelNamedValueMap(const ZelNamedValueMap&) = delete;
  ZelNamedValueMap& operator=(const ZelNamedValueMap&) = delete;

  int getCount() const { return static_cast<int>(m_entries.size()); }
  ZelNamedValue getNamedItem(ZelName name) const;
  void setNamedItem(const ZelNamedValue& entry);
  void setNamedItem(ZelName name, const ZelValue& value);
  void removeNamedItem(ZelName name);
  // Only when the stored value equals value.
  void removeNamedItem(ZelName name, const ZelValue& value);
  // The entry at that place in name order; null outside the map.
  ZelNamedValue item(int index) const;
  // Copies of the entries; objects and inner maps are shared, not copied.
  ZelPtr<ZelNamedValueMap> clone() const;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0xE7D947B0u; }

 private:
  friend class ZelNamedValueMapIterator;
  std::vector<ZelNamedValue>::iterator find(ZelNameEnum name);
  std::vector<ZelNamedValue>::const_iterator find(ZelNameEnum name) const;

  std::vector<ZelNamedValue> m_entries;
};

// Walks a map that outlives it and does not change meanwhile. Callers test
// hasNext or hasPrevious before moving.
class QUARNEL_API ZelNamedValueMapIterator {
 public:
  explicit ZelNamedValueMapIterator(const ZelNamedValueMap* map);
  bool hasNext() const;
  const ZelNamedValue& next();
  bool hasPrevious() const { return m_place > 0; }
  const ZelNamedValue& previous();
  void setToStart() { m_place = 0; }
  void setToEnd();

 private:
  const std::vector<ZelNamedValue>* m_entries;
  size_t m_place;
};

}  // namespace ObraCommon
