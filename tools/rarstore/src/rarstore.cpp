// rarstore: writes a RAR 2.9/4 archive of stored (uncompressed,
// unencrypted) entries, the form of the engine's configuration archive
// etc.dll. Entries are the regular files of one folder, in byte order of
// their names, stored as "<prefix>\<name>" with a fixed DOS time, so that
// the same folder always gives the same archive.
//
// Layout: the marker block, the archive header, per file a file header
// (method 0x30, stored) followed by the data, and the end block. Each
// header's CRC field is the low 16 bits of the CRC-32 of the header from its
// type byte on; a file header carries the CRC-32 of the data.
//
// Usage: rarstore <archive> <folder> <prefix>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

constexpr uint32_t kDosTime = 0x28210000;  // 2000-01-01 00:00:00
constexpr uint8_t kHostWin32 = 2;
constexpr uint8_t kVersion29 = 29;
constexpr uint8_t kStored = 0x30;
constexpr uint32_t kArchiveAttribute = 0x20;

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v));
  out->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* out, uint32_t v) {
  Put16(out, v);
  Put16(out, v >> 16);
}

uint32_t Crc32(const std::string& bytes, size_t from = 0) {
  uLong crc = crc32(0L, Z_NULL, 0);
  return static_cast<uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + from), static_cast<uInt>(bytes.size() - from)));
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

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: rarstore <archive> <folder> <prefix>\n");
    return 2;
  }
  std::filesystem::path archive = argv[1], folder = argv[2];
  std::string prefix = argv[3];
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  if (ec) {
    std::fprintf(stderr, "rarstore: cannot list %s\n", folder.c_str());
    return 1;
  }
  std::sort(names.begin(), names.end());

  std::string out("Rar!\x1A\x07\x00", 7);
  std::string main_rest;
  Put16(&main_rest, 0);
  Put32(&main_rest, 0);
  out += Header(0x73, 0x0000, main_rest);
  for (const std::string& name : names) {
    std::ifstream in(folder / name, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string stored = prefix + "\\" + name;
    if (!in.good() && !in.eof()) return 1;
    if (data.size() > 0xFFFFFFFFu || stored.size() > 0xFFFF) {
      std::fprintf(stderr, "rarstore: %s is too large\n", name.c_str());
      return 1;
    }
    std::string rest;
    Put32(&rest, static_cast<uint32_t>(data.size()));  // packed size
    Put32(&rest, static_cast<uint32_t>(data.size()));  // unpacked size
    rest.push_back(static_cast<char>(kHostWin32));
    Put32(&rest, Crc32(data));
    Put32(&rest, kDosTime);
    rest.push_back(static_cast<char>(kVersion29));
    rest.push_back(static_cast<char>(kStored));
    Put16(&rest, static_cast<uint32_t>(stored.size()));
    Put32(&rest, kArchiveAttribute);
    rest += stored;
    out += Header(0x74, 0x8000, rest);
    out += data;
  }
  out += Header(0x7B, 0x4000, std::string());

  std::filesystem::path temp = archive;
  temp += ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!file) {
      std::fprintf(stderr, "rarstore: cannot write %s\n", temp.c_str());
      return 1;
    }
  }
  std::filesystem::rename(temp, archive, ec);
  if (ec) {
    std::fprintf(stderr, "rarstore: cannot write %s\n", archive.c_str());
    return 1;
  }
  return 0;
}
