// Code-set tables and their .cmp cache.
//
// A table maps 32-bit keys to 32-bit values through range blocks: each block
// covers up to block-size consecutive keys (it ends where the next block
// begins) and holds its values big-endian in entry-width bytes, 0 meaning no
// mapping. Blocks are kept sorted; once loaded, a table also gets a page
// index (cconv_internal.h) through which lookups of keys below U+110000
// take two loads instead of a bisection.
//
// A table is loaded once, on a session's first need, under "CtableMutex":
// from the cache file beside its text file when that cache is sound, else
// from the text file, after which the pairs read are written to the cache
// through a temporary file and a rename, so that no reader ever sees a
// half-written cache. Its state (loaded or failed) is published with release
// order, so lookups take no lock. Only a set without a table file maps a
// value to itself; a table that failed to load maps nothing.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cconv_internal.h"

namespace cconv {

namespace {

constexpr size_t kMaxTableText = 64u << 20;  // far above any real table
constexpr size_t kMaxCache = 64u << 20;
constexpr uint32_t kMaxUnicode = 0x10FFFF;

std::string BaseName(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Reads the cache records; false when the cache is missing or unsound (empty,
// not whole records, or a Unicode value beyond U+10FFFF), so that it is
// rebuilt from the text.
bool ReadCache(const std::string& path, std::vector<std::pair<uint32_t, uint32_t>>* pairs) {
  std::string bytes;
  if (!ReadWholeFile(path, kMaxCache, &bytes)) return false;
  if (bytes.empty() || bytes.size() % 8 != 0) return false;
  pairs->clear();
  pairs->reserve(bytes.size() / 8);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += 8) {
    uint32_t first = p[i] | p[i + 1] << 8 | p[i + 2] << 16 | static_cast<uint32_t>(p[i + 3]) << 24;
    uint32_t second =
        p[i + 4] | p[i + 5] << 8 | p[i + 6] << 16 | static_cast<uint32_t>(p[i + 7]) << 24;
    if (second > kMaxUnicode) return false;
    pairs->emplace_back(first, second);
  }
  return true;
}

// Writes the cache beside the text as <name>.cmp.<pid>.tmp and renames it
// into place. A folder that takes no file leaves the table without a cache.
void WriteCache(const std::string& path, const std::vector<std::pair<uint32_t, uint32_t>>& pairs,
                size_t count) {
  std::string bytes;
  bytes.reserve(count * 8);
  for (size_t i = 0; i < count; ++i)
    for (uint32_t v : {pairs[i].first, pairs[i].second})
      for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(v >> shift));
  std::string temp = path + "." + std::to_string(getpid()) + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) {
    // Left by a process of the same id that died mid-write.
    unlink(temp.c_str());
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  }
  if (fd < 0) return;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = close(fd) == 0 && done == bytes.size();
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) unlink(temp.c_str());
}

std::recursive_mutex& FallbackLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

bool ReadWholeFile(const std::string& path, size_t limit, std::string* bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= limit;
  if (ok) {
    bytes->assign(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
      ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ok = done == bytes->size();
  }
  close(fd);
  return ok;
}

std::string TablePath(const std::string& folder, const std::string& file_name) {
  return folder + AsciiLower(BaseName(file_name));
}

std::string CachePath(const std::string& folder, const std::string& file_name) {
  std::string base = AsciiLower(BaseName(file_name));
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.resize(dot);
  return folder + base + ".cmp";
}

bool ParseTableText(std::string_view bytes, int unit_kind, int byte_order,
                    std::vector<std::pair<uint32_t, uint32_t>>* pairs) {
  size_t step = unit_kind == kUcs4 ? 4 : 2;
  if (unit_kind != kUtf16 && unit_kind != kUcs2 && unit_kind != kUcs4) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  auto unit_at = [&](size_t i) -> uint32_t {
    uint32_t v = 0;
    for (size_t k = 0; k < step; ++k) {
      uint32_t b = p[i + k];
      v |= byte_order ? b << (8 * (step - 1 - k)) : b << (8 * k);
    }
    return v;
  };
  bool in_comment = false;
  int digits = 0;
  uint32_t value = 0;
  bool have_first = false;
  uint32_t first = 0;
  auto finish = [&] {
    // Runs of more than eight digits are no number of this format.
    if (digits > 0 && digits <= 8) {
      if (have_first) {
        pairs->emplace_back(first, value);
        have_first = false;
      } else {
        first = value;
        have_first = true;
      }
    }
    digits = 0;
    value = 0;
  };
  for (size_t i = 0; i + step <= bytes.size(); i += step) {
    uint32_t u = unit_at(i);
    if (unit_kind == kUtf16 && u >= 0xD800 && u <= 0xDFFF && i + 2 * step <= bytes.size()) {
      i += step;  // a surrogate pair is one unit, and no digit
      u = 0x10000;
    }
    if (in_comment) {
      if (u == '>') in_comment = false;
      continue;
    }
    int digit = -1;
    if (u >= '0' && u <= '9') digit = static_cast<int>(u - '0');
    else if (u >= 'A' && u <= 'F') digit = static_cast<int>(u - 'A' + 10);
    else if (u >= 'a' && u <= 'f') digit = static_cast<int>(u - 'a' + 10);
    if (digit >= 0) {
      if (digits < 8) value = value << 4 | static_cast<uint32_t>(digit);
      if (digits <= 8) ++digits;
      continue;
    }
    finish();
    if (u == '<') in_comment = true;
  }
  // A number running to the very end of the text is not complete.
  return true;
}

CconvTable::CconvTable(int direction, int entry_width, std::string file_name, int unit_kind,
                       int byte_order)
    : direction_(direction),
      entry_width_(entry_width),
      file_name_(std::move(file_name)),
      identity_(file_name_.empty()),
      unit_kind_(unit_kind),
      byte_order_(byte_order) {}

uint32_t CconvTable::LookupBlocks(uint32_t key) const {
  if (key < lowest_ || key > highest_) return 0;
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), key,
                             [](uint32_t k, const Block& b) { return k < b.first; });
  if (it == blocks_.begin()) return 0;
  --it;
  if (key >= it->end) return 0;
  const uint8_t* entry = it->entries.get() + static_cast<size_t>(key - it->first) * entry_width_;
  uint32_t value = 0;
  for (int k = 0; k < entry_width_; ++k) value = value << 8 | entry[k];
  return value;
}

bool CconvTable::Store(uint32_t key, uint32_t value, uint32_t block_size) {
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), key,
                             [](uint32_t k, const Block& b) { return k < b.first; });
  Block* block = nullptr;
  if (it != blocks_.begin() && key < std::prev(it)->end) {
    block = &*std::prev(it);
  } else {
    uint64_t end = static_cast<uint64_t>(key) + block_size;
    if (it != blocks_.end()) end = std::min<uint64_t>(end, it->first);
    size_t bytes = static_cast<size_t>(end - key) * entry_width_;
    std::unique_ptr<uint8_t[]> entries(new (std::nothrow) uint8_t[bytes]());
    if (!entries) return false;
    try {
      it = blocks_.insert(it, Block{key, end, std::move(entries)});
    } catch (...) {
      return false;
    }
    block = &*it;
  }
  uint8_t* entry = block->entries.get() + static_cast<size_t>(key - block->first) * entry_width_;
  // Values wider than the entry keep their low bytes.
  for (int k = entry_width_ - 1; k >= 0; --k, value >>= 8) entry[k] = static_cast<uint8_t>(value);
  if (!bounds_set_) {
    lowest_ = highest_ = key;
    bounds_set_ = true;
  } else {
    lowest_ = std::min(lowest_, key);
    highest_ = std::max(highest_, key);
  }
  return true;
}

bool CconvTable::StorePair(uint32_t first, uint32_t second, uint32_t block_size) {
  return direction_ == 1 ? Store(first, second, block_size) : Store(second, first, block_size);
}

void CconvTable::LoadFrom(const std::string& folder, uint32_t block_size) {
  if (file_name_.empty() || state() != State::kNotLoaded) return;
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  std::string cache = CachePath(folder, file_name_);
  if (ReadCache(cache, &pairs)) {
    for (const auto& [first, second] : pairs)
      if (!StorePair(first, second, block_size)) break;
  } else {
    std::string text;
    if (ReadWholeFile(TablePath(folder, file_name_), kMaxTableText, &text) &&
        ParseTableText(text, unit_kind_, byte_order_, &pairs)) {
      size_t stored = 0;
      for (const auto& [first, second] : pairs) {
        if (!StorePair(first, second, block_size)) break;
        ++stored;
      }
      if (stored > 0) WriteCache(cache, pairs, stored);
    }
  }
  // A table that kept nothing usable is settled as failed, never retried.
  bool usable = bounds_set_ && !(lowest_ == highest_ && (lowest_ == 0 || (lowest_ & 0xF0000000u)));
  if (!usable) blocks_.clear();
  else BuildIndex();
  state_.store(usable ? State::kLoaded : State::kFailed, std::memory_order_release);
}

void CconvTable::BuildIndex() {
  static const uint32_t kZeroPage[256] = {};
  if (lowest_ >= kIndexedKeys) return;
  uint32_t limit = std::min<uint32_t>(highest_, kIndexedKeys - 1) / 256 * 256 + 256;
  try {
    std::vector<uint32_t*> pages(limit / 256, nullptr);
    for (const Block& block : blocks_) {
      uint64_t end = std::min<uint64_t>(block.end, limit);
      for (uint64_t key = block.first; key < end; ++key) {
        const uint8_t* entry = block.entries.get() + static_cast<size_t>(key - block.first) * entry_width_;
        uint32_t value = 0;
        for (int k = 0; k < entry_width_; ++k) value = value << 8 | entry[k];
        if (value == 0) continue;
        uint32_t*& page = pages[key >> 8];
        if (page == nullptr) {
          owned_pages_.push_back(std::make_unique<uint32_t[]>(256));
          page = owned_pages_.back().get();
        }
        page[key & 0xFF] = value;
      }
    }
    pages_.reserve(pages.size());
    for (uint32_t* page : pages) pages_.push_back(page ? page : kZeroPage);
  } catch (...) {
    pages_.clear();
    owned_pages_.clear();
    return;
  }
  index_limit_ = limit;
}

void CconvTable::Ensure() {
  if (file_name_.empty() || state() != State::kNotLoaded) return;
  bool named = LockTables();
  if (!named) FallbackLock().lock();
  if (state() == State::kNotLoaded) LoadFrom(TheEngine().folder, BlockSize());
  if (named) UnlockTables();
  else FallbackLock().unlock();
}

}  // namespace cconv
