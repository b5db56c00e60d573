// ZelValueUnitType: the unit numbers of the library's typed values. Lengths
// convert between the absolute units (cm, mm, in, pt, pc, q, twip); the
// numbers are part of the library's interface.
#pragma once

namespace ObraCommon {

enum ZelValueUnitType {
  UNIT_NONE = 0,
  UNIT_NUMBER = 1,
  UNIT_PERCENT = 2,
  UNIT_EM = 3,
  UNIT_EX = 4,
  UNIT_PX = 5,
  UNIT_CM = 6,
  UNIT_MM = 7,
  UNIT_IN = 8,
  UNIT_PT = 9,
  UNIT_PC = 10,
  UNIT_JPT = 11,
  UNIT_Q = 12,
  UNIT_DEG = 13,
  UNIT_RAD = 14,
  UNIT_GRAD = 15,
  UNIT_MS = 16,
  UNIT_S = 17,
  UNIT_HZ = 18,
  UNIT_KHZ = 19,
  UNIT_CHAR = 20,
  UNIT_LITERAL = 21,
  UNIT_URI = 22,
  UNIT_NAME = 23,
  UNIT_COLOR = 24,
  UNIT_DPI = 28,
  UNIT_TWIP = 29,
  UNIT_SQUARE_PT = 30,
  UNIT_CUBIC_PT = 31,
};

}  // namespace ObraCommon
