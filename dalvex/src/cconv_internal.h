// The conversion engine's internal records, shared by its parts: charset
// names and ids (charset_names.cpp), the code-set tables and their .cmp
// cache (code_set_tables.cpp), the rule-file scanner (rule_files.cpp), the
// codec table (codec_table.cpp) and the engine state with the session
// driver (cconv_engine.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dalvex/cconv.h"

namespace cconv {

// Charset and code-set ids of the built-in names; others are hashed.
enum : int32_t {
  kIdShiftJis = 1001,
  kIdWindows31J = 1002,
  kIdUcs2 = 1003,
  kIdUcs4 = 1004,
  kIdUtf16 = 1005,
  kIdUtf8 = 1006,
  kIdIso646Irv = 2001,
  kIdJisX0201Latin = 2002,
  kIdJisX0201Kana = 2003,
  kIdJisX0208 = 2006,
  kIdJisX0213 = 2011,
};

// The id of a charset or code-set name (ASCII letters folded to lower case).
int32_t NameToId(std::string_view name);

// Lower-cases A-Z only.
std::string AsciiLower(std::string_view text);

// Unit kinds of rule, set and table text files.
enum UnitKind : int32_t { kUtf16 = 1, kUcs4 = 3, kUcs2 = 4 };

// One mapping table of a code set. Keys and values are 32-bit; blocks are
// sorted by their first key and never overlap.
class CconvTable {
 public:
  enum class State : int { kNotLoaded = 0, kLoaded = 1, kFailed = 2 };

  // direction 1: keyed by code, 4-byte Unicode entries; 0: keyed by
  // Unicode, entries of `entry_width` bytes holding codes.
  CconvTable(int direction, int entry_width, std::string file_name, int unit_kind, int byte_order);

  // The value of `key`. A table without a file maps every key to itself; a
  // table that is not loaded (failed, or not yet ensured) maps nothing.
  uint32_t Lookup(uint32_t key) const;

  // Loads the table once, under the engine's table mutex. Lock-free when it
  // is already settled.
  void Ensure();

  bool has_file() const { return !file_name_.empty(); }
  State state() const { return state_.load(std::memory_order_acquire); }
  const std::string& file_name() const { return file_name_; }
  int entry_width() const { return entry_width_; }
  int direction() const { return direction_; }
  size_t block_count() const { return blocks_.size(); }

  // Loading without the mutex (Ensure takes it); `folder` is the
  // configuration folder prefix, `block_size` the keys per new block.
  void LoadFrom(const std::string& folder, uint32_t block_size);

  // Stores one pair as the table's own (key, value); false when out of
  // memory.
  bool Store(uint32_t key, uint32_t value, uint32_t block_size);

 private:
  struct Block {
    uint32_t first;
    uint64_t end;  // exclusive
    std::unique_ptr<uint8_t[]> entries;
  };
  bool StorePair(uint32_t first, uint32_t second, uint32_t block_size);

  int direction_;
  int entry_width_;
  std::string file_name_;
  int unit_kind_;
  int byte_order_;
  uint32_t lowest_ = 0;
  uint32_t highest_ = 0;
  bool bounds_set_ = false;
  std::vector<Block> blocks_;
  std::atomic<State> state_{State::kNotLoaded};
};

// Reads the numbers of a table text file in pairs (code, Unicode value).
// False when the text holds no unit kind the reader knows.
bool ParseTableText(std::string_view bytes, int unit_kind, int byte_order,
                    std::vector<std::pair<uint32_t, uint32_t>>* pairs);

// Reads a whole regular file (no symbolic link) of at most `limit` bytes;
// false when it cannot be read or is larger.
bool ReadWholeFile(const std::string& path, size_t limit, std::string* bytes);

// Cache and text paths of a table file name inside `folder`.
std::string TablePath(const std::string& folder, const std::string& file_name);
std::string CachePath(const std::string& folder, const std::string& file_name);

struct CconvCodeSet {
  std::string name;
  int32_t id = 0;
  uint16_t kind = 1;        // 1 base set, 2 difference set, 3 user-defined area
  uint16_t unit_width = 2;  // bytes, 1-4
  std::string domain;
  std::string based_on;
  std::vector<std::pair<uint32_t, uint32_t>> defined;  // code ranges
  uint32_t lowest_defined = 0;
  uint32_t highest_defined = 0;
  std::unique_ptr<CconvTable> to_unicode;  // keyed by code
  std::unique_ptr<CconvTable> to_code;     // keyed by Unicode
  uint16_t area_start = 0;                 // kind 3
  uint16_t area_count = 0;
};

}  // namespace cconv

struct CconvCharset {
  std::string name;  // lower case
  int32_t id = 0;
  std::string encoder_name;
  std::string decoder_name;
  std::vector<cconv::CconvCodeSet*> sets;  // rule order, owned by the engine
  // For each set, the further Unicode-to-code tables of its "dstable"s.
  std::vector<std::vector<std::unique_ptr<cconv::CconvTable>>> dstables;
};

namespace cconv {

// The engine state (one per process).
struct Engine {
  int32_t start_count = 0;
  uint16_t block_size = 0;
  bool lists = false;
  std::string folder;  // "Charsetpath", used as a plain prefix
  std::vector<std::unique_ptr<CconvCharset>> charsets;
  std::vector<std::unique_ptr<CconvCodeSet>> code_sets;
};
Engine& TheEngine();

// Locks and unlocks "CtableMutex"; Lock answers false when there is none.
bool LockTables();
void UnlockTables();

// Keys per new block: the engine's block size, 4096 when it is 0.
uint32_t BlockSize();

// The list limit of the engine's lists (16-bit counts).
constexpr size_t kMaxListEntries = 65535;

// Loads one rule file of the configuration folder; true when it gave a
// charset or named one already loaded.
bool LoadRuleFile(const std::string& file_name);

// The code set with `id` in the engine's list, or null.
CconvCodeSet* FindCodeSet(int32_t id);
// The loaded charset with `id`, or null.
const CconvCharset* FindCharset(int32_t id);

// The codec table: 30 rows of {name, handler}, searched by exact name.
struct CodecRow {
  const char* name;
  CconvCodecHandler handler;
};
const CodecRow* CodecTable(size_t* count);
// The handler named `name`, or null (unknown name, or no handler yet).
CconvCodecHandler FindCodec(std::string_view name);

}  // namespace cconv
