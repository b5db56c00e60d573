// Builders of OLE property-set streams for tests: typed values (16- and
// 32-bit integers, 8-bit and UTF-16 texts, file times), a section of them,
// and a stream of one section, to be placed in a compound file with
// CompoundFileWriter and then damaged as a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

inline const std::string kSummaryFmtid("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
inline const std::string kDocumentFmtid("\x02\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);

inline void PutU32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// One typed property value.
struct Property {
  uint32_t id;
  std::string value;  // type and value bytes
};

inline Property I2(uint32_t id, uint16_t v) {
  std::string s;
  PutU32(&s, 2);
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
  s.append(2, '\0');
  return {id, s};
}
inline Property I4(uint32_t id, int32_t v) {
  std::string s;
  PutU32(&s, 3);
  PutU32(&s, static_cast<uint32_t>(v));
  return {id, s};
}
// An 8-bit text with its terminator counted.
inline Property Lpstr(uint32_t id, const std::string& text) {
  std::string s;
  PutU32(&s, 30);
  PutU32(&s, static_cast<uint32_t>(text.size() + 1));
  s += text;
  s.push_back('\0');
  while (s.size() % 4) s.push_back('\0');
  return {id, s};
}
inline Property Lpwstr(uint32_t id, const std::u16string& text) {
  std::string s;
  PutU32(&s, 31);
  PutU32(&s, static_cast<uint32_t>(text.size() + 1));
  for (char16_t u : text) {
    s.push_back(static_cast<char>(u & 0xFF));
    s.push_back(static_cast<char>(u >> 8));
  }
  s.append(2, '\0');
  while (s.size() % 4) s.push_back('\0');
  return {id, s};
}
inline Property FileTime(uint32_t id, uint64_t ticks) {
  std::string s;
  PutU32(&s, 64);
  PutU32(&s, static_cast<uint32_t>(ticks));
  PutU32(&s, static_cast<uint32_t>(ticks >> 32));
  return {id, s};
}

// The bytes of a section: size, count, (id, offset) pairs, values.
inline std::string Section(const std::vector<Property>& properties) {
  std::string values;
  std::vector<uint32_t> offsets;
  const uint32_t head = 8 + 8 * static_cast<uint32_t>(properties.size());
  for (const Property& p : properties) {
    offsets.push_back(head + static_cast<uint32_t>(values.size()));
    values += p.value;
  }
  std::string s;
  PutU32(&s, head + static_cast<uint32_t>(values.size()));
  PutU32(&s, static_cast<uint32_t>(properties.size()));
  for (size_t i = 0; i < properties.size(); ++i) {
    PutU32(&s, properties[i].id);
    PutU32(&s, offsets[i]);
  }
  return s + values;
}

// A property-set stream of one section.
inline std::string Stream(const std::string& fmtid, const std::string& section) {
  std::string s("\xFE\xFF\x00\x00\x05\x01\x02\x00", 8);
  s.append(16, '\0');
  PutU32(&s, 1);
  s += fmtid;
  PutU32(&s, 48);
  return s + section;
}

inline std::string SummaryStream(const std::vector<Property>& properties) {
  return Stream(kSummaryFmtid, Section(properties));
}

}  // namespace testsupport
