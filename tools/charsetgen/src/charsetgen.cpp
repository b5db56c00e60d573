// charsetgen: writes the engine's configuration folder etc/ from public
// mapping data (glibc's charmaps, ICU's converters): one rule file per
// charset (<name>.xml), one set file per code set (<name>.set) and the table
// text files (<name>.tbl), all UTF-16LE, names lower case. Before writing it
// checks what the engine will rely on: set names hash to distinct ids, every
// charmap line decodes as written, and every reversible code is the one its
// Unicode value encodes back to through the charset's sets in rule order.
// Output is byte-identical between runs. It also writes a manifest of pair
// counts for the tests and the build log.
//
// Programs and tests read etc/ while a build may be regenerating it, so the
// folder is never emptied nor a file in it cut short: the new files are
// written into a staging folder beside it and each renamed over its old
// copy, then files the new output no longer has are removed; the manifest
// is written beside itself and renamed into place.
//
// Usage: charsetgen <charmap folder> <output etc folder> <manifest file>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "cconv_internal.h"
#include "charset_sources.h"

namespace {

using namespace charsetgen;

std::string Utf16le(const std::string& ascii, bool bom) {
  std::string out;
  if (bom) out += "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

// Writes beside the target and renames over it.
bool Replace(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path temp = path;
  temp += ".new";
  std::error_code ec;
  if (!Write(temp, bytes)) return false;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

// Moves every file of staging over its namesake in folder, removes the
// files of folder that staging does not have, then staging itself.
bool Publish(const std::filesystem::path& staging, const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return false;
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(staging, ec)) {
    names.insert(entry.path().filename().string());
    std::filesystem::rename(entry.path(), folder / entry.path().filename(), ec);
    if (ec) return false;
  }
  if (ec) return false;
  std::vector<std::filesystem::path> stale;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    if (!names.count(entry.path().filename().string())) stale.push_back(entry.path());
  for (const auto& path : stale) std::filesystem::remove_all(path, ec);
  std::filesystem::remove_all(staging, ec);
  return true;
}

std::string Hex(uint32_t v, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, v);
  return buffer;
}

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n";

std::string TableText(const std::string& title, const std::vector<Pair>& pairs, int code_digits) {
  std::string text = "<" + title + ">\r\n";
  for (const Pair& p : pairs) text += Hex(p.code, code_digits) + " " + Hex(p.unicode, 4) + "\r\n";
  return text;
}

std::string SetText(const SetData& set) {
  bool diff = set.kind == 2;
  const char* root = diff ? "subsetb" : "subseta";
  std::string text = kDeclaration;
  if (!set.table_file.empty())
    text += std::string("<!DOCTYPE ") + root + " [\r\n<!ENTITY table SYSTEM \"" + set.table_file + "\">\r\n]>\r\n";
  text += std::string("<") + root + ">\r\n<name>" + set.name + "</name>\r\n";
  text += "<lang domain=\"" + set.domain + "\"></lang>\r\n";
  text += std::string(diff ? "<codeb" : "<code") + " bytenum=\"" + std::to_string(set.width) + "\"";
  if (diff) text += " basedon=\"" + set.based_on + "\"";
  text += std::string(diff ? "></codeb>" : "></code>") + "\r\n";
  uint32_t low = 0, high = set.width >= 4 ? 0x10FFFF : (1u << (8 * set.width)) - 1;
  if (!set.pairs.empty()) {
    low = high = set.pairs[0].code;
    for (const Pair& p : set.pairs) low = std::min(low, p.code), high = std::max(high, p.code);
  }
  text += "<defined>" + Hex(low, 2) + "-" + Hex(high, 2) + "</defined>\r\n";
  if (!set.table_file.empty()) text += "<srtable>&table;</srtable>\r\n";
  text += std::string("</") + root + ">\r\n";
  return text;
}

std::string RuleText(const CharsetData& charset, const Installation& inst) {
  std::string declarations, body;
  int n = 0;
  for (const CharsetSet& s : charset.sets) {
    // Entity names of one length: none is the tail of another.
    std::string entity = "set" + Hex(static_cast<uint32_t>(++n), 2);
    declarations += "<!ENTITY " + entity + " SYSTEM \"" + s.set + ".set\">\r\n";
    const char* element = inst.sets.at(s.set).kind == 2 ? "diffset" : "baseset";
    body += std::string("<") + element + ">&" + entity + ";";
    for (const std::string& extra : s.extras) {
      std::string table = "tbl" + Hex(static_cast<uint32_t>(++n), 2);
      declarations += "<!ENTITY " + table + " SYSTEM \"" + extra + "\">\r\n";
      body += "<dstable bytenum=\"" + Hex(static_cast<uint32_t>(inst.extras.at(extra).width), 1) + "\">&" +
              table + ";</dstable>";
    }
    body += std::string("</") + element + ">\r\n";
  }
  std::string text = kDeclaration;
  text += "<!DOCTYPE charset [\r\n" + declarations + "]>\r\n<charset>\r\n";
  text += "<name>" + charset.name + "</name>\r\n";
  text += "<rule construle=\"const" + charset.codec + "\" destrule=\"dest" + charset.codec + "\"></rule>\r\n";
  text += body + "</charset>\r\n";
  return text;
}

// Checks what the engine relies on; an empty answer means all is well.
std::string Check(const Installation& inst) {
  std::map<int32_t, std::string> ids;
  for (const auto& [name, set] : inst.sets) {
    int32_t id = cconv::NameToId(name);
    auto [it, fresh] = ids.emplace(id, name);
    if (!fresh) return "sets " + name + " and " + it->second + " share the id " + std::to_string(id);
    if (set.width < 1 || set.width > 4) return "set " + name + " has width " + std::to_string(set.width);
    // Within a set the last pair wins in both directions.
    std::map<uint32_t, uint32_t> decode, encode;
    for (const Pair& p : set.pairs) decode[p.code] = p.unicode, encode[p.unicode] = p.code;
    for (const Pair& p : set.pairs) {
      if (decode[p.code] != p.unicode) return "set " + name + " maps code " + Hex(p.code, 4) + " twice";
      if (p.reversible && encode[p.unicode] != p.code)
        return "set " + name + ": U+" + Hex(p.unicode, 4) + " does not encode back to " + Hex(p.code, 4);
    }
  }
  // Every reversible code of a charset drawn from one source is what its
  // value encodes to. (Charsets that mix sources, such as EUC-JP with its
  // Windows-valued JIS X 0208, let the earlier set win.)
  for (const CharsetData& charset : inst.charsets) {
    std::set<std::string> sources;
    for (const CharsetSet& s : charset.sets)
      if (!inst.sets.at(s.set).table_file.empty()) sources.insert(inst.sets.at(s.set).source);
    if (sources.size() != 1) continue;
    std::vector<std::map<uint32_t, uint32_t>> encoders;
    for (const CharsetSet& s : charset.sets) {
      std::map<uint32_t, uint32_t> encode;
      const SetData& set = inst.sets.at(s.set);
      if (set.table_file.empty()) {
        encoders.push_back(encode);
        continue;
      }
      for (const Pair& p : set.pairs) encode[p.unicode] = p.code;
      for (const std::string& extra : s.extras)
        for (const Pair& p : inst.extras.at(extra).pairs) encode.emplace(p.unicode, p.code);
      encoders.push_back(encode);
    }
    for (size_t i = 0; i < charset.sets.size(); ++i) {
      for (const Pair& p : inst.sets.at(charset.sets[i].set).pairs) {
        if (!p.reversible) continue;
        size_t j = 0;
        while (j < encoders.size() && !encoders[j].count(p.unicode)) ++j;
        if (j != i || encoders[j].at(p.unicode) != p.code)
          return charset.name + ": U+" + Hex(p.unicode, 4) + " does not encode to " + charset.sets[i].set + " " +
                 Hex(p.code, 4);
      }
    }
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: charsetgen <charmap folder> <output etc folder> <manifest>\n");
    return 2;
  }
  Installation inst;
  std::string error;
  if (!BuildInstallation(argv[1], &inst, &error)) {
    std::fprintf(stderr, "charsetgen: %s\n", error.c_str());
    return 1;
  }
  error = Check(inst);
  if (!error.empty()) {
    std::fprintf(stderr, "charsetgen: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path target = std::filesystem::path(argv[2]).lexically_normal();
  std::filesystem::path folder = target.has_filename() ? target : target.parent_path();
  folder += ".staging";
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "charsetgen: cannot create %s\n", folder.c_str());
    return 1;
  }
  std::ostringstream manifest;
  bool ok = true;
  std::set<std::string> tables;
  for (const auto& [name, set] : inst.sets) {
    ok &= Write(folder / (name + ".set"), Utf16le(SetText(set), true));
    manifest << "set " << name << " " << cconv::NameToId(name) << " " << set.width << " " << set.pairs.size()
             << " " << (set.table_file.empty() ? "-" : set.table_file) << "\n";
    if (set.table_file.empty() || !tables.insert(set.table_file).second) continue;
    ok &= Write(folder / set.table_file, Utf16le(TableText(name + " from " + set.source, set.pairs, set.width == 1 ? 2 : 4), false));
  }
  for (const auto& [file, extra] : inst.extras) {
    ok &= Write(folder / file, Utf16le(TableText(file + " from " + extra.source, extra.pairs, extra.width * 2), false));
    manifest << "extra " << file << " " << extra.width << " " << extra.pairs.size() << "\n";
  }
  for (const CharsetData& charset : inst.charsets) {
    ok &= Write(folder / (cconv::AsciiLower(charset.name) + ".xml"), Utf16le(RuleText(charset, inst), true));
    manifest << "charset " << charset.name << "\n";
  }
  ok = ok && Publish(folder, target) && Replace(argv[3], manifest.str());
  if (!ok) {
    std::fprintf(stderr, "charsetgen: cannot write the output\n");
    return 1;
  }
  return 0;
}
