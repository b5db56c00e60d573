// Typed values and colours from arbitrary bytes: two values of any kind
// and unit (raw integers and float bits, built-in names, strings, objects,
// records and colour values), every operator, conversion, comparison and
// text between them, and colours from every constructor with raw floats.
// A copy must equal its source unless a NaN real is involved.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quarnel/color.h"
#include "quarnel/value.h"

using namespace ObraCommon;

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
    return value;
  }
  float real() {
    uint32_t bits = word();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  UnicodeString text() {
    UnicodeString out;
    for (int n = byte() % 12; n > 0; --n) out.append(static_cast<char16_t>(byte() | (byte() << 8)));
    return out;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

ZelName builtinName(Bytes& in) {
  return ZelName(static_cast<ZelNameEnum>(((in.byte() << 8) | in.byte()) % (ZEL_NAME_LAST_BUILTIN + 1)));
}

ZelColor makeColor(Bytes& in) {
  ZelColor rgb(in.word());
  switch (in.byte() % 15) {
    case 0:
      return ZelColor();
    case 1:
      return rgb;
    case 2:
      return ZelColor(static_cast<int>(in.word()), static_cast<int>(in.word()), static_cast<int>(in.word()));
    case 3:
      return ZelColor(in.real());
    case 4:
      return ZelColor(rgb, in.real());
    case 5:
      return ZelColor(in.real(), in.real(), in.real(), in.real());
    case 6:
      return ZelColor(rgb, in.real(), in.real(), in.real(), in.real());
    case 7:
      return ZelColor(in.text(), in.real());
    case 8:
      return ZelColor(in.text(), in.real(), in.real(), in.real(), in.real(), in.real());
    case 9:
      return ZelColor(rgb, in.text(), in.real());
    case 10:
      return ZelColor(rgb, in.text(), in.real(), in.real(), in.real(), in.real(), in.real());
    case 11:
      return ZelColor(rgb, in.text(), in.real(), in.real(), in.real(), in.real());
    case 12:
      return ZelColor(builtinName(in));
    case 13:
      return ZelColor::rgb2cmyk(in.word());
    default:
      return ZelColor::fromBGR(in.word());
  }
}

ZelValue makeValue(Bytes& in, int depth) {
  uint8_t kind = in.byte();
  auto unit = static_cast<ZelValueUnitType>(in.byte() & 31u);
  ZelValue value;
  switch (kind % 9) {
    case 0:
      break;
    case 1:
      value = ZelValue(static_cast<int>(in.word()));
      value.setUnitType(unit);
      break;
    case 2:
      value = ZelValue(in.real(), unit);
      break;
    case 3:
      value = ZelValue(builtinName(in));
      break;
    case 4:
      value = ZelValue(in.text(), unit);
      break;
    case 5: {
      ZelPtr<ZelNamedValueMap> map(new ZelNamedValueMap());
      if (depth < 3) map->setNamedItem(builtinName(in), makeValue(in, depth + 1));
      value = ZelValue(static_cast<ZelRCObject*>(map.get()));
      break;
    }
    case 6:
      value = depth < 3 ? makeValue(in, depth + 1) : ZelValue(1);
      for (int n = in.byte() % 4; n > 0 && depth < 3; --n) value.setNamedItem(builtinName(in), makeValue(in, depth + 1));
      if (in.byte() & 1) value.setUnitType(unit);
      break;
    case 7:
      value = ZelValue(makeColor(in));
      break;
    default:
      value = ZelValue(static_cast<long>(static_cast<int64_t>(in.word()) << (in.byte() % 33)));
      break;
  }
  return value;
}

bool isNaNReal(const ZelValue& value) { return value.isReal() && std::isnan(value.getRealValue(UNIT_NONE)); }

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void exercise(const ZelValue& a, const ZelValue& b) {
  ZelValue copy(a);
  if (!isNaNReal(a)) check(copy == a);
  ZelValue assigned;
  assigned = a;
  if (!isNaNReal(a)) check(!(assigned != a));
  (void)(a == b), (void)(a != b), (void)(a < b), (void)(a <= b), (void)(a > b), (void)(a >= b);
  ZelValue results[] = {a + b, a - b, a * b, a / b, a % b, -a, a.abs(), a.floor(), a.ceiling(), a.round()};
  for (const ZelValue& result : results) (void)result.toString();
  for (int unit = 0; unit < 32; ++unit) (void)a.getRealValue(static_cast<ZelValueUnitType>(unit));
  ZelValue normal(a);
  normal.normalizeUnit();
  (void)a.getIntegerValue();
  (void)static_cast<float>(a.getLengthValue());
  (void)a.toString();
  (void)a.getStringValue();
  (void)a.isEmpty(), (void)a.isColor(), (void)a.isTrue(), (void)a.isAbsoluteLength();
  ZelColor colour = a.getColorValue();
  (void)colour.toString(true);
  (void)colour.toString(false);
  ZelValue entries(a);
  entries.setNamedItem(ZelName(ZEL_NAME_EMPTY), b);
  (void)entries.getNamedItem(ZelName(ZEL_NAME_EMPTY)).toString();
  entries.removeNamedItem(ZelName(ZEL_NAME_EMPTY));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  ZelValue a = makeValue(in, 0);
  ZelValue b = makeValue(in, 0);
  exercise(a, b);
  exercise(b, a);
  ZelColor colour = makeColor(in);
  ZelColor copy(colour);
  check(copy == colour);
  (void)colour.getSeparationRGB();
  (void)colour.toString(true);
  (void)colour.toString(false);
  (void)colour.isInvalid();
  (void)colour.getColorName();
  (void)colour.getDark().getLight();
  ZelValue value(colour);
  (void)value.getColorValue().toString(false);
  return 0;
}
