// Writes RAR 2.9/4 archives of stored entries.
//
// Layout: the marker block, the archive header, per entry a file header
// (method 0x30, stored) followed by its data, and the end block. Each
// header's CRC field is the low 16 bits of the CRC-32 of the header from its
// type byte on; a file header carries the CRC-32 of its data. Every entry
// has the same DOS time, so the same input always gives the same archive.
#include "rarstore/rar_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <zlib.h>

namespace rarstore {

namespace {

constexpr uint32_t kDosTime = 0x28210000;  // 2000-01-01 00:00:00
constexpr uint8_t kHostWin32 = 2;
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kVersion29 = 29;
constexpr uint8_t kStored = 0x30;
constexpr uint32_t kArchiveAttribute = 0x20;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kUnixFile = 0100644;
constexpr uint32_t kUnixFolder = 0040755;
constexpr uint32_t kUnixLink = 0120777;

constexpr uint16_t kEncrypted = 0x0004;
constexpr uint16_t kFolderDictionary = 0x00E0;
constexpr uint16_t kUnicodeName = 0x0200;
constexpr uint16_t kHasData = 0x8000;

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v));
  out->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* out, uint32_t v) {
  Put16(out, v);
  Put16(out, v >> 16);
}

uint32_t Crc32(const std::string& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  return static_cast<uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// A header: CRC field first, then type, flags, size and the rest.
std::string Header(uint8_t type, uint16_t flags, const std::string& rest) {
  std::string body;
  body.push_back(static_cast<char>(type));
  Put16(&body, flags);
  Put16(&body, static_cast<uint32_t>(2 + body.size() + 2 + rest.size()));
  body += rest;
  std::string header;
  Put16(&header, Crc32(body) & 0xFFFF);
  return header + body;
}

}  // namespace

std::string WriteArchive(const std::vector<Entry>& entries) {
  std::string out("Rar!\x1A\x07\x00", 7);
  std::string main_rest;
  Put16(&main_rest, 0);
  Put32(&main_rest, 0);
  out += Header(0x73, 0x0000, main_rest);
  for (const Entry& e : entries) {
    bool unix_host = e.unix_link;
    const std::string& data = e.folder ? std::string() : e.data;
    uint16_t flags = kHasData;
    if (e.encrypted) flags |= kEncrypted;
    if (e.folder) flags |= kFolderDictionary;
    if (e.unicode_flag) flags |= kUnicodeName;
    uint32_t attributes = e.folder ? kFolderAttribute : kArchiveAttribute;
    if (unix_host) attributes = e.unix_link ? kUnixLink : e.folder ? kUnixFolder : kUnixFile;
    uint32_t crc = Crc32(data);
    if (e.wrong_checksum) crc = ~crc;
    std::string rest;
    Put32(&rest, static_cast<uint32_t>(data.size()));  // packed size
    Put32(&rest, static_cast<uint32_t>(data.size()));  // unpacked size
    rest.push_back(static_cast<char>(unix_host ? kHostUnix : kHostWin32));
    Put32(&rest, crc);
    Put32(&rest, kDosTime);
    rest.push_back(static_cast<char>(kVersion29));
    rest.push_back(static_cast<char>(kStored));
    Put16(&rest, static_cast<uint32_t>(e.name.size()));
    Put32(&rest, attributes);
    rest += e.name;
    out += Header(0x74, flags, rest);
    out += data;
  }
  out += Header(0x7B, 0x4000, std::string());
  return out;
}

bool ArchiveFolder(const std::string& folder, const std::string& prefix, std::vector<Entry>* entries) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  if (ec) return false;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::ifstream in(std::filesystem::path(folder) / name, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return false;
    Entry e;
    e.name = prefix + "\\" + name;
    e.data = std::move(data);
    if (e.data.size() > 0xFFFFFFFFu || e.name.size() > 0xFFFF) return false;
    entries->push_back(std::move(e));
  }
  return true;
}

}  // namespace rarstore
