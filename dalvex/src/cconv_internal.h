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
// sorted by their first key and never overlap. A loaded table also has a
// page index over the keys below U+110000 (256 keys a page, pages without
// a value sharing one page of zeros), built once before the loaded state is
// published and never changed after, so that a lookup is two loads and
// takes no lock; larger keys are found in the blocks.
class CconvTable {
 public:
  enum class State : int { kNotLoaded = 0, kLoaded = 1, kFailed = 2 };
  static constexpr uint32_t kIndexedKeys = 0x110000;

  // direction 1: keyed by code, 4-byte Unicode entries; 0: keyed by
  // Unicode, entries of `entry_width` bytes holding codes.
  CconvTable(int direction, int entry_width, std::string file_name, int unit_kind, int byte_order);

  // The value of `key`. A table without a file maps every key to itself; a
  // table that is not loaded (failed, or not yet ensured) maps nothing.
  uint32_t Lookup(uint32_t key) const {
    if (identity_) return key;
    if (state_.load(std::memory_order_acquire) != State::kLoaded) return 0;
    if (key < index_limit_) return pages_[key >> 8][key & 0xFF];
    if (key > highest_) return 0;
    return LookupBlocks(key);
  }

  // Loads the table once, under the engine's table mutex. Lock-free when it
  // is already settled.
  void Ensure();

  bool has_file() const { return !file_name_.empty(); }
  State state() const { return state_.load(std::memory_order_acquire); }
  const std::string& file_name() const { return file_name_; }
  int entry_width() const { return entry_width_; }
  int direction() const { return direction_; }
  size_t block_count() const { return blocks_.size(); }
  // The page index of a loaded table (keys below index_limit()), and
  // whether keys at or above the limit may have values; for the run loops,
  // which look keys up without the per-call state checks.
  const uint32_t* const* pages() const { return pages_.data(); }
  uint32_t index_limit() const { return index_limit_; }
  bool maps_beyond_index() const { return identity_ || highest_ >= index_limit_; }

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
  uint32_t LookupBlocks(uint32_t key) const;
  // Builds the page index from the blocks; without memory for it, every
  // lookup goes to the blocks.
  void BuildIndex();

  int direction_;
  int entry_width_;
  std::string file_name_;
  bool identity_;  // no file: every key maps to itself
  int unit_kind_;
  int byte_order_;
  uint32_t lowest_ = 0;
  uint32_t highest_ = 0;
  bool bounds_set_ = false;
  std::vector<Block> blocks_;
  uint32_t index_limit_ = 0;                        // keys below it are in pages_
  std::vector<const uint32_t*> pages_;              // one a page of 256 keys
  std::vector<std::unique_ptr<uint32_t[]>> owned_pages_;
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

// A target charset's code sets merged for the run loops (codecs_runs.cpp):
// for each value of the BMP, the code and the index in the charset's set
// list of the first set whose Unicode-to-code table, or further table,
// maps it, in the order MapCharacter searches them. Built once all those
// tables are settled, never changed after it is published.
struct MapIndex {
  static constexpr uint8_t kHandlers = 0xFF;  // a run of codes: the encoder's own path
  struct Page {
    uint32_t code[256];
    uint8_t set[256];
  };
  std::vector<const Page*> pages;  // 256, a page of zeros where nothing maps
  std::vector<std::unique_ptr<Page>> owned;
};

// The merged index carried one step further for a byte-charset encoder:
// for each value of the BMP, the bytes the encoder writes for it (first
// byte in the lowest bits) and their count in the top byte, so that a
// character of a run costs one load. 0 where the run loop's general path
// decides (no mapping, a run of codes, a user-defined area, a code the
// encoder does not write itself). 256 KB a target charset, built once.
struct EncodedIndex {
  static constexpr uint32_t kValues = 0x10000;
  uint8_t encoder = 0;  // the run loops' kind of encoder it was built for
  uint32_t entry[kValues];
  // The same entries in half the room, for a target whose every entry is
  // one byte or two with a second byte other than 0: the first byte in the
  // low bits, the count told by the high byte being 0 or not. 0 where the
  // general path decides, and for a lone byte 0 (U+0000 takes that path).
  // Null where an entry does not fit; the fast loop then reads `entry`.
  std::unique_ptr<uint16_t[]> pairs;
  // UCS-2 with numeric references, whose bytes are the value itself: one
  // bit a value, set where it is written as it is (never for U+0000, left
  // to the general path); 8 KB where `entry` would take 256, which then
  // stays 0 throughout.
  std::unique_ptr<uint64_t[]> shown;
};

// A source charset's one- and two-byte codes as its run loop's decoder
// reads them: for each byte and each pair of bytes, the Unicode value
// (low 24 bits) and the plan's source slot (top byte); 0 where the
// decoder's own path decides. Built only from settled tables, so that it
// never changes after it is published: 257 KB a source charset.
struct DecodedIndex {
  uint8_t decoder = 0;  // the run loops' kind of decoder it was built for
  uint32_t single[256];
  uint32_t pair[0x10000];
  // For a decoder with a lead byte of three-byte codes (EUC's 0x8F): the
  // two bytes after it, another 256 KB.
  std::unique_ptr<uint32_t[]> triple;
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
  // The merged index of its sets as a target, once built (codecs_runs.cpp).
  mutable std::atomic<const cconv::MapIndex*> map_index{nullptr};
  mutable std::unique_ptr<cconv::MapIndex> map_index_owned;
  // The merged index as its encoder's bytes, once built (codecs_runs.cpp).
  mutable std::atomic<const cconv::EncodedIndex*> encoded_index{nullptr};
  mutable std::unique_ptr<cconv::EncodedIndex> encoded_index_owned;
  // Its codes as a source, once built (codecs_runs.cpp).
  mutable std::atomic<const cconv::DecodedIndex*> decoded_index{nullptr};
  mutable std::unique_ptr<cconv::DecodedIndex> decoded_index_owned;
  // Input bytes the run loops have met with it on either side, counted
  // until both of its flat indexes above are worth building.
  mutable std::atomic<int64_t> run_bytes{0};
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

// While one lives, the scanner reads each file of the configuration folder
// once: several rule files name the same set files, and a load of all rule
// files then opens and scans each set file a single time. Files read after
// it ends are read anew.
class RuleFileReadScope {
 public:
  RuleFileReadScope();
  ~RuleFileReadScope();
  RuleFileReadScope(const RuleFileReadScope&) = delete;
  RuleFileReadScope& operator=(const RuleFileReadScope&) = delete;

 private:
  bool owner_;
};

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
// The handler named `name` for `role` ("dest" names decode, "const" names
// encode), or null (unknown name, a name of the other role, or no handler).
enum class CodecRole { kDecoder, kEncoder };
CconvCodecHandler FindCodec(std::string_view name, CodecRole role);

}  // namespace cconv
