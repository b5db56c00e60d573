// Builders of OLE property-set streams for tests: typed values (16- and
// 32-bit integers, 8-bit and UTF-16 texts, file times), a section of them,
// and a stream of one section, to be placed in a compound file with
// CompoundFileWriter and then damaged as a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
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

// A vector of 8-bit texts, each padded to 4 bytes.
inline Property LpstrVector(uint32_t id, const std::vector<std::string>& texts) {
  std::string s;
  PutU32(&s, 0x1000 | 30);
  PutU32(&s, static_cast<uint32_t>(texts.size()));
  for (const std::string& text : texts) {
    PutU32(&s, static_cast<uint32_t>(text.size() + 1));
    s += text;
    s.push_back('\0');
    while (s.size() % 4) s.push_back('\0');
  }
  return {id, s};
}

// The dictionary (property 0) of a user-defined section: ids and names,
// each name counted with its terminator.
inline Property Dictionary(const std::vector<std::pair<uint32_t, std::string>>& names) {
  std::string s;
  PutU32(&s, static_cast<uint32_t>(names.size()));
  for (const auto& [id, name] : names) {
    PutU32(&s, id);
    PutU32(&s, static_cast<uint32_t>(name.size() + 1));
    s += name;
    s.push_back('\0');
  }
  while (s.size() % 4) s.push_back('\0');
  return {0, s};
}

// A hyperlink blob as documents keep it: per link four 32-bit integers, the
// address and an empty location.
inline Property HyperlinkBlob(uint32_t id, const std::vector<std::u16string>& links) {
  std::string items;
  auto text = [&items](const std::u16string& t) {
    PutU32(&items, 31);
    uint32_t units = static_cast<uint32_t>(t.size() + 1);
    PutU32(&items, units);
    for (char16_t u : t) {
      items.push_back(static_cast<char>(u & 0xFF));
      items.push_back(static_cast<char>(u >> 8));
    }
    items.append(2, '\0');
    if (units % 2) items.append(2, '\0');
  };
  for (const std::u16string& link : links) {
    for (uint32_t v : {0u, 1u, 2u, 3u}) {
      PutU32(&items, 3);
      PutU32(&items, v);
    }
    text(link);
    text(u"");
  }
  std::string s;
  PutU32(&s, 0x41);
  PutU32(&s, static_cast<uint32_t>(items.size() + 4));
  PutU32(&s, static_cast<uint32_t>(links.size() * 6));
  return {id, s + items};
}

// A property-set stream of several sections.
inline std::string Stream(const std::vector<std::pair<std::string, std::string>>& sections) {
  std::string s("\xFE\xFF\x00\x00\x05\x01\x02\x00", 8);
  s.append(16, '\0');
  PutU32(&s, static_cast<uint32_t>(sections.size()));
  uint32_t offset = 28 + 20 * static_cast<uint32_t>(sections.size());
  std::string bodies;
  for (const auto& [fmtid, section] : sections) {
    s += fmtid;
    PutU32(&s, offset + static_cast<uint32_t>(bodies.size()));
    bodies += section;
  }
  return s + bodies;
}

// The big-endian form (byte order FF FE) of a summary stream with a code
// page and a title: every integer stored high byte first.
inline std::string BigEndianSummaryStream(uint16_t code_page, const std::string& title) {
  auto be = [](std::string* s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s->push_back(static_cast<char>(v >> (8 * i)));
  };
  std::string value1, value2;
  be(&value1, 2);
  value1.push_back(static_cast<char>(code_page >> 8));
  value1.push_back(static_cast<char>(code_page));
  value1.append(2, '\0');
  be(&value2, 30);
  be(&value2, static_cast<uint32_t>(title.size() + 1));
  value2 += title;
  value2.push_back('\0');
  while (value2.size() % 4) value2.push_back('\0');
  std::string section;
  be(&section, static_cast<uint32_t>(24 + value1.size() + value2.size()));
  be(&section, 2);
  be(&section, 1);
  be(&section, 24);
  be(&section, 2);
  be(&section, static_cast<uint32_t>(24 + value1.size()));
  section += value1 + value2;
  std::string s("\xFF\xFE\x00\x00\x00\x05\x00\x02", 8);
  s.append(16, '\0');
  be(&s, 1);
  s += kSummaryFmtid;
  be(&s, 48);
  return s + section;
}

}  // namespace testsupport
