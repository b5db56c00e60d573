// ZelValue's construction, ownership, tests, entries and comparison, and
// the named values and maps behind compound values.
#include "quarnel/value.h"

#include <algorithm>
#include <climits>

#include "quarnel/builtin_names.h"
#include "quarnel/color.h"

namespace ObraCommon {

namespace {

constexpr uint32_t LOW_BITS = 0xFFu;

bool fitsEntryName(ZelNameEnum name) { return name >= 0 && name <= ZelValue::MAX_ENTRY_NAME; }

}  // namespace

__attribute__((init_priority(210))) const ZelValue ZelValue::NULL_VALUE;
__attribute__((init_priority(210))) const ZelNamedValue ZelNamedValue::NULL_VALUE;

UnicodeString* ZelValue::newStringPayload(const UnicodeString& text) { return new UnicodeString(text); }

void ZelValue::deleteStringPayload(UnicodeString* text) { delete text; }

ZelValue::ZelValue(int number) : m_type(bitfield(VALUE_INTEGER, UNIT_NUMBER, 0)) {
  m_payload.bits = 0;
  m_payload.integer = number;
}

ZelValue::ZelValue(long number) {
  m_payload.bits = 0;
  if (number >= INT32_MIN && number <= INT32_MAX) {
    m_type = bitfield(VALUE_INTEGER, UNIT_NUMBER, 0);
    m_payload.integer = static_cast<int32_t>(number);
  } else {
    m_type = bitfield(VALUE_REAL, UNIT_NUMBER, 0);
    m_payload.real = static_cast<float>(number);
  }
}

ZelValue::ZelValue(float number, ZelValueUnitType unit) : m_type(bitfield(VALUE_REAL, unit & 31u, 0)) {
  m_payload.bits = 0;
  m_payload.real = number;
}

ZelValue::ZelValue(ZelLength length) : ZelValue(static_cast<float>(length), UNIT_PT) {}

ZelValue::ZelValue(bool truth) : ZelValue(ZelName(truth ? NAME_TRUE : NAME_FALSE)) {}

ZelValue::ZelValue(ZelName name) : m_type(bitfield(VALUE_NAME, UNIT_NAME, 0)) {
  m_payload.bits = 0;
  m_payload.name = name;
}

ZelValue::ZelValue(const UnicodeString& text, ZelValueUnitType unit)
    : m_type(bitfield(VALUE_STRING, unit & 31u, 0)) {
  m_payload.bits = 0;
  m_payload.string = newStringPayload(text);
}

ZelValue::ZelValue(ZelRCObject* object) : m_type(0) { share(object, VALUE_OBJECT); }

ZelValue::ZelValue(ZelNamedValueMap* map) : m_type(0) { share(map, VALUE_COMPOUND); }

void ZelValue::share(ZelRCObject* object, ZelValueType kind) {
  m_payload.bits = 0;
  if (object == nullptr) return;
  object->addRef();
  m_payload.object = object;
  m_type = bitfield(kind, UNIT_NONE, 0);
}

ZelValue::ZelValue(const ZelValue& other) : m_type(other.m_type) {
  m_payload.bits = 0;
  copyPayload(other);
}

ZelValue& ZelValue::operator=(const ZelValue& other) {
  if (this == &other) return *this;
  // The new payload is taken before the old one goes, so assigning an
  // entry of this value's own map stays safe.
  ZelValue keep(other);
  releasePayload();
  m_type = keep.m_type;
  m_payload = keep.m_payload;
  keep.m_type = 0;
  keep.m_payload.bits = 0;
  return *this;
}

ZelValue::~ZelValue() { releasePayload(); }

void ZelValue::copyPayload(const ZelValue& other) {
  switch (other.getValueType()) {
    case VALUE_STRING:
      m_payload.string = other.m_payload.string != nullptr ? newStringPayload(*other.m_payload.string) : nullptr;
      break;
    case VALUE_OBJECT:
    case VALUE_COMPOUND:
      m_payload.object = other.m_payload.object;
      if (m_payload.object != nullptr) m_payload.object->addRef();
      break;
    default:
      m_payload = other.m_payload;
      break;
  }
}

void ZelValue::releasePayload() {
  switch (getValueType()) {
    case VALUE_STRING:
      deleteStringPayload(m_payload.string);
      break;
    case VALUE_OBJECT:
    case VALUE_COMPOUND:
      if (m_payload.object != nullptr) m_payload.object->release();
      break;
    default:
      break;
  }
  m_payload.bits = 0;
}

void ZelValue::becomeNull() {
  releasePayload();
  m_type &= ~LOW_BITS;
}

void ZelValue::becomeReal(float number, ZelValueUnitType unit) {
  releasePayload();
  m_type = (m_type & ~LOW_BITS) | bitfield(VALUE_REAL, unit, 0);
  m_payload.real = number;
}

ZelName ZelValue::getNameValue() const { return isName() ? ZelName(m_payload.name) : ZelName(); }

ZelNameEnum ZelValue::toZelName() const {
  if (isName()) return m_payload.name;
  return ZelNameTable::getSharedNameEnum(toString());
}

UnicodeString ZelValue::getStringValue() const {
  if (isName()) return ZelName(m_payload.name).toString();
  if (isString() && m_payload.string != nullptr) return *m_payload.string;
  return UnicodeString();
}

ZelRCObject* ZelValue::getRCObject() const {
  ZelValueType kind = getValueType();
  return kind == VALUE_OBJECT || kind == VALUE_COMPOUND ? m_payload.object : nullptr;
}

ZelNamedValueMap* ZelValue::getNamedValueMap() const {
  return getValueType() == VALUE_COMPOUND ? m_payload.map : nullptr;
}

bool ZelValue::isEmpty() const {
  switch (getValueType()) {
    case VALUE_NULL:
      return true;
    case VALUE_NAME:
      return m_payload.name == ZEL_NAME_EMPTY;
    case VALUE_STRING:
      return m_payload.string == nullptr || m_payload.string->length() == 0;
    default:
      return false;
  }
}

bool ZelValue::isRelativeLength() const {
  unsigned unit = getUnitType();
  return isNumeric() && unit >= UNIT_EM && unit <= UNIT_PX;
}

bool ZelValue::isAbsoluteLength() const {
  unsigned unit = getUnitType();
  return isNumeric() && ((unit >= UNIT_CM && unit <= UNIT_Q) || unit == UNIT_TWIP);
}

bool ZelValue::isAngle() const {
  unsigned unit = getUnitType();
  return isNumeric() && unit >= UNIT_DEG && unit <= UNIT_GRAD;
}

bool ZelValue::isColor() const { return getUnitType() == UNIT_COLOR && (isInteger() || isCompound()); }

bool ZelValue::isTrue() const { return isName() && (m_payload.name == NAME_TRUE || m_payload.name == NAME_YES); }

bool ZelValue::isFalse() const { return isName() && (m_payload.name == NAME_FALSE || m_payload.name == NAME_NO); }

void ZelValue::makeCompound() {
  if (isCompound()) return;
  ZelNamedValueMap* map = new ZelNamedValueMap();
  map->addRef();
  if (!isNull()) {
    ZelValue content(*this);
    content.setNameBits(ZEL_NAME_EMPTY);
    map->setNamedItem(ZelNamedValue(content, ZelName()));
  }
  releasePayload();
  m_type = (m_type & ~LOW_BITS) | bitfield(VALUE_COMPOUND, UNIT_NONE, 0);
  m_payload.map = map;
}

ZelValue ZelValue::getNamedItem(ZelName name) const {
  if (isCompound()) return m_payload.map->getNamedItem(name);
  if (name.isEmpty()) return *this;
  return ZelValue();
}

void ZelValue::setNamedItem(ZelName name, const ZelValue& value) {
  if (!fitsEntryName(name)) return;
  setNamedItem(ZelNamedValue(value, name));
}

void ZelValue::setNamedItem(const ZelNamedValue& entry) {
  // The entry may live in this value's own map, which makeCompound keeps.
  ZelNamedValue keep(entry);
  makeCompound();
  m_payload.map->setNamedItem(keep);
}

void ZelValue::removeNamedItem(ZelName name) {
  if (isCompound()) m_payload.map->removeNamedItem(name);
}

bool ZelValue::operator==(const ZelValue& other) const {
  if ((m_type & LOW_BITS) == (other.m_type & LOW_BITS)) {
    switch (getValueType()) {
      case VALUE_NULL:
        return true;
      case VALUE_INTEGER:
        return m_payload.integer == other.m_payload.integer;
      case VALUE_REAL:
        return m_payload.real == other.m_payload.real;
      case VALUE_NAME:
        return m_payload.name == other.m_payload.name;
      case VALUE_STRING:
        return getStringValue() == other.getStringValue();
      case VALUE_OBJECT:
        return m_payload.object == other.m_payload.object;
      case VALUE_COMPOUND:
        if (isCompound() && getUnitType() == UNIT_COLOR && other.isCompound())
          return getColorValue() == other.getColorValue();
        return m_payload.map == other.m_payload.map;
      default:
        return m_payload.bits == other.m_payload.bits;
    }
  }
  if (isNumeric() && other.isNumeric()) {
    ZelValue a(*this);
    ZelValue b(other);
    a.normalizeUnit();
    b.normalizeUnit();
    if (a.getUnitType() != b.getUnitType()) return false;
    return a.numberAsDouble() == b.numberAsDouble();
  }
  if ((isString() && other.isName()) || (isName() && other.isString()))
    return getStringValue() == other.getStringValue();
  return false;
}

bool ZelValue::operator<(const ZelValue& other) const {
  if ((m_type & LOW_BITS) == (other.m_type & LOW_BITS)) {
    switch (getValueType()) {
      case VALUE_INTEGER:
        return m_payload.integer < other.m_payload.integer;
      case VALUE_REAL:
        return m_payload.real < other.m_payload.real;
      case VALUE_NAME:
        return m_payload.name < other.m_payload.name;
      case VALUE_STRING:
        return getStringValue() < other.getStringValue();
      case VALUE_OBJECT:
      case VALUE_COMPOUND:
        return std::less<const void*>()(m_payload.object, other.m_payload.object);
      default:
        return false;
    }
  }
  if (isNumeric() && other.isNumeric()) {
    ZelValue a(*this);
    ZelValue b(other);
    a.normalizeUnit();
    b.normalizeUnit();
    if (a.getUnitType() != b.getUnitType()) return a.getUnitType() < b.getUnitType();
    return a.numberAsDouble() < b.numberAsDouble();
  }
  if ((isString() && other.isName()) || (isName() && other.isString()))
    return getStringValue() < other.getStringValue();
  if (getValueType() == other.getValueType()) return getUnitType() < other.getUnitType();
  return getValueType() < other.getValueType();
}

float ZelValue::numberAsFloat() const {
  return isInteger() ? static_cast<float>(m_payload.integer) : m_payload.real;
}

double ZelValue::numberAsDouble() const {
  return isInteger() ? static_cast<double>(m_payload.integer) : static_cast<double>(m_payload.real);
}

// Named values and maps.

ZelNamedValue::ZelNamedValue(const ZelValue& value, ZelName name) : ZelValue(value) {
  setNameBits(fitsEntryName(name) ? static_cast<ZelNameEnum>(name) : ZEL_NAME_EMPTY);
}

void ZelNamedValue::setName(ZelName name) {
  if (fitsEntryName(name)) setNameBits(name);
}

void ZelNamedValue::setValue(const ZelValue& value) {
  ZelNameEnum name = getNameBits();
  ZelNamedValue plain(value, ZelName());
  ZelValue::operator=(plain);
  setNameBits(name);
}

ZelNamedValueMap::ZelNamedValueMap() = default;

ZelNamedValueMap::~ZelNamedValueMap() = default;

std::vector<ZelNamedValue>::iterator ZelNamedValueMap::find(ZelNameEnum name) {
  return std::lower_bound(m_entries.begin(), m_entries.end(), name,
                          [](const ZelNamedValue& e, ZelNameEnum n) { return e.getName() < n; });
}

std::vector<ZelNamedValue>::const_iterator ZelNamedValueMap::find(ZelNameEnum name) const {
  return std::lower_bound(m_entries.begin(), m_entries.end(), name,
                          [](const ZelNamedValue& e, ZelNameEnum n) { return e.getName() < n; });
}

ZelNamedValue ZelNamedValueMap::getNamedItem(ZelName name) const {
  auto place = find(name);
  if (place != m_entries.end() && place->getName() == name) return *place;
  return ZelNamedValue();
}

void ZelNamedValueMap::setNamedItem(const ZelNamedValue& entry) {
  auto place = find(entry.getName());
  if (place != m_entries.end() && place->getName() == entry.getName())
    *place = entry;
  else
    m_entries.insert(place, entry);
}

void ZelNamedValueMap::setNamedItem(ZelName name, const ZelValue& value) {
  if (fitsEntryName(name)) setNamedItem(ZelNamedValue(value, name));
}

void ZelNamedValueMap::removeNamedItem(ZelName name) {
  auto place = find(name);
  if (place != m_entries.end() && place->getName() == name) m_entries.erase(place);
}

void ZelNamedValueMap::removeNamedItem(ZelName name, const ZelValue& value) {
  auto place = find(name);
  if (place != m_entries.end() && place->getName() == name && *place == value) m_entries.erase(place);
}

ZelNamedValue ZelNamedValueMap::item(int index) const {
  if (index < 0 || index >= getCount()) return ZelNamedValue();
  return m_entries[static_cast<size_t>(index)];
}

ZelPtr<ZelNamedValueMap> ZelNamedValueMap::clone() const {
  ZelPtr<ZelNamedValueMap> copy(new ZelNamedValueMap());
  copy->m_entries = m_entries;
  return copy;
}

unsigned int ZelNamedValueMap::getTypeID() const { return getStaticTypeID(); }

bool ZelNamedValueMap::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }

UnicodeString ZelNamedValueMap::getTypeName() const { return UnicodeString(u"ZelNamedValueMap"); }

ZelNamedValueMapIterator::ZelNamedValueMapIterator(const ZelNamedValueMap* map)
    : m_entries(&map->m_entries), m_place(0) {}

bool ZelNamedValueMapIterator::hasNext() const { return m_place < m_entries->size(); }

const ZelNamedValue& ZelNamedValueMapIterator::next() { return (*m_entries)[m_place++]; }

const ZelNamedValue& ZelNamedValueMapIterator::previous() { return (*m_entries)[--m_place]; }

void ZelNamedValueMapIterator::setToEnd() { m_place = m_entries->size(); }

// The conversions of the other classes from a value.

ZelName::ZelName(const ZelValue& value) : m_name(value.toZelName()) {}

ZelLength::ZelLength(const ZelValue& value) : m_points(value.getLengthValue()) {}

ZelColor::ZelColor(const ZelValue& value) : ZelColor(value.getColorValue()) {}

}  // namespace ObraCommon
