// The mapping data behind the engine's charsets: glibc's charmaps and ICU's
// converters, read and sorted into the code sets of the engine (JIS-style
// codes for the Japanese sets, the bytes as a big-endian number for the
// others). The generator writes these sets as rule, set and table files;
// its test reads the written tables back and compares them with the same
// sources.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace charsetgen {

struct Pair {
  uint32_t code;
  uint32_t unicode;
  bool reversible = true;  // the code is the one Unicode value maps to
};

// One code set as written: its name (also its id), kind and width, its
// table (empty for a set without table file) and where it came from.
struct SetData {
  std::string name;
  int kind = 1;  // 1 base set, 2 difference set
  int width = 1;
  std::string based_on;
  std::string domain;
  std::string table_file;  // empty: no table file
  std::string source;
  std::vector<Pair> pairs;  // in table order
};

// A further Unicode-to-code table of one set of a charset.
struct ExtraTable {
  std::string file;
  int width;
  std::string source;
  std::vector<Pair> pairs;
};

struct CharsetSet {
  std::string set;                  // name of a SetData
  std::vector<std::string> extras;  // files of ExtraTables
};

struct CharsetData {
  std::string name;   // as the system names it
  std::string codec;  // the part after "dest"/"const"
  std::vector<CharsetSet> sets;
};

struct Installation {
  std::map<std::string, SetData> sets;
  std::map<std::string, ExtraTable> extras;
  std::vector<CharsetData> charsets;
};

// Reads every source; false with `error` set when a source is missing or
// does not give what the engine needs.
bool BuildInstallation(const std::string& charmap_folder, Installation* out, std::string* error);

// One line of a charmap: its bytes and code points.
struct CharmapLine {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> code_points;
  bool irreversible = false;
};

// Reads a gzipped charmap (range lines expanded); false when unreadable.
bool ReadCharmap(const std::string& path, std::vector<CharmapLine>* lines);

}  // namespace charsetgen
