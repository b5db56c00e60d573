// The wrapper tests run on the first read of a file: AppleSingle,
// AppleDouble, MacBinary and the "REF "/"LIST" header. A hit records where
// the data part (and the second part, a resource fork) lies; the reader then
// reads the head again from the data part. Every offset and length is
// checked against the file's size in 64 bits.
#include "detect.h"

namespace probelin {

namespace {

// The entry walk of AppleSingle and AppleDouble: entries of 12 bytes (id,
// offset, length) from offset 26, as many as the quick bytes hold.
void AppleEntries(DtctWork& w, bool take_data) {
  ByteView q = Quick(w);
  DtctResult& r = *w.result;
  uint32_t count = q.Be32(22);
  int64_t room = w.quick_length > 26 ? (w.quick_length - 26) / 12 : 0;
  for (int64_t i = 0; i < room && i < int64_t(count); ++i) {
    size_t at = size_t(26 + 12 * i);
    uint32_t id = q.Be32(at), offset = q.Be32(at + 4), length = q.Be32(at + 8);
    if (length == 0) continue;
    if (id == 1 && take_data) {
      r.data_offset = offset;
      r.data_length = length;
    } else if (id == 2) {
      r.second_offset = offset;
      r.second_length = length;
    }
  }
}

int AppleSingle(DtctWork& w) {
  if (Quick(w).Be32(0) != 0x00051600) return 0;
  w.result->wrapper_kind = kDtctWrapperAppleSingle;
  AppleEntries(w, true);
  return 1;
}

int AppleDouble(DtctWork& w) {
  if (Quick(w).Be32(0) != 0x00051607) return 0;
  w.result->wrapper_kind = kDtctWrapperAppleDouble;
  AppleEntries(w, false);
  return 1;
}

int MacBinary(DtctWork& w) {
  ByteView q = Quick(w);
  if (w.quick_length < 128) return 0;
  uint8_t name_length = q.U8(1);
  if (q.U8(0) != 0 || name_length < 1 || name_length > 63 || q.U8(74) != 0 || q.U8(81) > 136 ||
      q.U8(82) != 0 || q.U8(83) != 0)
    return 0;
  for (size_t i = 2; i <= 1u + name_length; ++i)
    if (q.U8(i) == 0) return 0;
  int32_t data = int32_t(q.Be32(83)), resource = int32_t(q.Be32(87));
  if (data < 0 || resource < 0) return 0;
  // The sum is taken in 64 bits, and the data fork must lie inside the file.
  int64_t sum = int64_t(data) + resource;
  if (sum == 0 || w.data_size < sum || 128 + int64_t(data) > w.data_size) return 0;
  DtctResult& r = *w.result;
  r.wrapper_kind = kDtctWrapperMacBinary;
  r.data_length = data;
  r.second_length = resource;
  if (data != 0) r.data_offset = 128;
  if (resource != 0) r.second_offset = int64_t(data) + 128;
  return 1;
}

int RefList(DtctWork& w) {
  ByteView q = Quick(w);
  if (q.Be32(0) != 0x52454620 || q.Be32(4) != 0x4C495354 || q.Le16(14) != 1 || q.U8(22) != 0) return 0;
  int64_t offset = int64_t(int16_t(q.Le16(18))) * 2048;
  if (offset < 0 || w.data_size < offset) return 0;
  DtctResult& r = *w.result;
  r.wrapper_kind = kDtctWrapperRefList;
  r.data_offset = offset;
  r.data_length = w.data_size - offset;
  r.second_offset = r.second_length = 0;
  return 1;
}

}  // namespace

int WrapperTests(DtctWork& w) {
  return AppleSingle(w) || AppleDouble(w) || MacBinary(w) || RefList(w) ? 1 : 0;
}

}  // namespace probelin
