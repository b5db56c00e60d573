// The name table: built-in names from the generated constant data, found by
// binary search without a lock; names numbered at run time in the one shared
// ZelNameTable, whose lock is held to create it, number a text, look a text
// up, release and destroy it. The table only grows, so reading the text of
// a number takes no lock: texts are published by the table's last number.
// The
// shared table lives until cleanup: callers keep names as bare numbers, so a
// table dropped earlier would empty their texts and hand their numbers to
// other texts.
#include <algorithm>
#include <bit>
#include <new>

#include "builtin_name_data.h"
#include "library_lock.h"
#include "quarnel/lock.h"
#include "quarnel/name.h"
#include "quarnel/shared_strings.h"
#include "quarnel/util.h"

namespace ObraCommon {

namespace {

namespace data = builtin_names;

// Never destroyed, so a static destructor of any part may still use names.
ZelLock& sharedNameTableLock() {
  static ZelLock* const lock = new ZelLock;
  return *lock;
}

std::u16string_view View(const UnicodeString& text) {
  const char16_t* buffer = text.getBuffer();
  return buffer == nullptr ? std::u16string_view() : std::u16string_view(buffer, static_cast<size_t>(text.length()));
}

std::u16string_view BuiltinView(int32_t n) {
  return std::u16string_view(data::kTexts[n].text, static_cast<size_t>(data::kTexts[n].length));
}

// Read-only aliases of the generated literals: nothing is copied, and the
// array is built on first use, so no lookup depends on static start order.
struct BuiltinStrings {
  UnicodeString texts[data::kCount];
  BuiltinStrings() {
    for (int32_t n = 0; n < data::kCount; ++n)
      texts[n].setTo(false, icu::ConstChar16Ptr(data::kTexts[n].text), data::kTexts[n].length);
  }
};

const UnicodeString& BuiltinString(int32_t n) {
  static const BuiltinStrings strings;
  return strings.texts[n];
}

// Where the text of a run-time number lives: block b holds 1024 << b texts,
// the first block the first 1024.
struct Slot {
  int block;
  size_t offset;
};

template <int firstBits>
Slot Locate(ZelNameEnum name) {
  const uint64_t index = static_cast<uint64_t>(name - ZEL_NAME_LAST_BUILTIN - 1) + (uint64_t{1} << firstBits);
  const int block = std::bit_width(index) - 1 - firstBits;
  return {block, static_cast<size_t>(index - (uint64_t{1} << (firstBits + block)))};
}

}  // namespace

std::atomic<ZelNameTable*> ZelNameTable::s_sharedNameTable{nullptr};

ZelNameTable::ZelNameTable() : m_last(ZEL_NAME_LAST_BUILTIN) { m_index.reserve(1024); }

ZelNameTable::~ZelNameTable() {
  ZelMutex guard(sharedNameTableLock());
  if (s_sharedNameTable.load(std::memory_order_relaxed) == this) s_sharedNameTable.store(nullptr);
  const ZelNameEnum last = m_last.load(std::memory_order_relaxed);
  for (ZelNameEnum name = ZEL_NAME_LAST_BUILTIN + 1; name <= last; ++name) {
    const Slot slot = Locate<kFirstBlockBits>(name);
    m_blocks[slot.block].load(std::memory_order_relaxed)[slot.offset].~UnicodeString();
  }
  for (auto& block : m_blocks) ::operator delete(block.load(std::memory_order_relaxed));
}

ZelNameEnum ZelNameTable::getNameLast() const { return m_last.load(std::memory_order_acquire); }

unsigned int ZelNameTable::getTypeID() const { return getStaticTypeID(); }

bool ZelNameTable::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }

UnicodeString ZelNameTable::getTypeName() const { return UnicodeString(u"ZelNameTable"); }

ZelNameEnum ZelNameTable::getBuiltinNameEnum(const UnicodeString& text) {
  std::u16string_view key = View(text);
  if (key.empty()) return ZEL_NAME_EMPTY;
  const uint16_t* first = data::kSortedNumbers;
  const uint16_t* last = data::kSortedNumbers + data::kCount;
  const uint16_t* found =
      std::lower_bound(first, last, key, [](uint16_t n, std::u16string_view k) { return BuiltinView(n) < k; });
  return found != last && BuiltinView(*found) == key ? *found : ZEL_NAME_EMPTY;
}

const UnicodeString& ZelNameTable::getBuiltinNameString(ZelNameEnum name) {
  return BuiltinString(name >= 1 && name <= ZEL_NAME_LAST_BUILTIN ? name : 0);
}

ZelNameEnum ZelNameTable::getNonBuiltinNameEnumMutexed(const UnicodeString& text) {
  auto found = m_index.find(View(text));
  if (found != m_index.end()) return found->second;
  const ZelNameEnum name = m_last.load(std::memory_order_relaxed) + 1;
  const Slot slot = Locate<kFirstBlockBits>(name);
  UnicodeString* block = m_blocks[slot.block].load(std::memory_order_relaxed);
  if (block == nullptr) {
    block = static_cast<UnicodeString*>(::operator new(sizeof(UnicodeString) << (kFirstBlockBits + slot.block)));
    m_blocks[slot.block].store(block, std::memory_order_release);
  }
  UnicodeString* stored = new (block + slot.offset) UnicodeString(text);
  try {
    m_index.emplace(View(*stored), name);
  } catch (...) {
    stored->~UnicodeString();
    throw;
  }
  m_last.store(name, std::memory_order_release);
  return name;
}

const UnicodeString* ZelNameTable::storedText(ZelNameEnum name) const {
  if (name > m_last.load(std::memory_order_acquire)) return nullptr;
  const Slot slot = Locate<kFirstBlockBits>(name);
  return m_blocks[slot.block].load(std::memory_order_acquire) + slot.offset;
}

ZelNameEnum ZelNameTable::getNameEnum(const UnicodeString& text) {
  if (text.isEmpty()) return ZEL_NAME_EMPTY;
  ZelNameEnum builtin = getBuiltinNameEnum(text);
  if (builtin != ZEL_NAME_EMPTY) return builtin;
  ZelMutex guard(sharedNameTableLock());
  return getNonBuiltinNameEnumMutexed(text);
}

// Takes the lock although it only reads: another thread may be numbering a
// text in the same table.
ZelNameEnum ZelNameTable::lookupName(const UnicodeString& text) const {
  ZelNameEnum builtin = getBuiltinNameEnum(text);
  if (builtin != ZEL_NAME_EMPTY || text.isEmpty()) return builtin;
  ZelMutex guard(sharedNameTableLock());
  auto found = m_index.find(View(text));
  return found == m_index.end() ? ZEL_NAME_EMPTY : found->second;
}

const UnicodeString& ZelNameTable::getNameString(ZelNameEnum name) const {
  if (name <= ZEL_NAME_LAST_BUILTIN) return getBuiltinNameString(name);
  const UnicodeString* stored = storedText(name);
  return stored != nullptr ? *stored : getBuiltinNameString(ZEL_NAME_EMPTY);
}

void ZelNameTable::setupSharedNameTable() {
  if (s_sharedNameTable.load(std::memory_order_relaxed) == nullptr)
    s_sharedNameTable.store(new ZelNameTable, std::memory_order_release);
}

ZelNameEnum ZelNameTable::getSharedNameEnum(const UnicodeString& text) {
  if (text.isEmpty()) return ZEL_NAME_EMPTY;
  ZelNameEnum builtin = getBuiltinNameEnum(text);
  if (builtin != ZEL_NAME_EMPTY) return builtin;
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  return s_sharedNameTable.load(std::memory_order_relaxed)->getNonBuiltinNameEnumMutexed(text);
}

// No lock: a number handed out was published with the table it came from.
const UnicodeString& ZelNameTable::getSharedNameString(ZelNameEnum name) {
  if (name <= ZEL_NAME_LAST_BUILTIN) return getBuiltinNameString(name);
  const ZelNameTable* table = s_sharedNameTable.load(std::memory_order_acquire);
  if (table == nullptr) return getBuiltinNameString(ZEL_NAME_EMPTY);
  return table->getNameString(name);
}

ZelNameTable* ZelNameTable::getSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  return s_sharedNameTable.load(std::memory_order_relaxed);
}

ZelNameTable* ZelNameTable::addRefSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  ZelNameTable* table = s_sharedNameTable.load(std::memory_order_relaxed);
  table->addRef();
  return table;
}

void ZelNameTable::releaseSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  ZelNameTable* table = s_sharedNameTable.load(std::memory_order_relaxed);
  if (table != nullptr) table->removeRef();
}

void ZelNameTable::cleanup() {
  ZelMutex library;
  ZelMutex guard(sharedNameTableLock());
  delete s_sharedNameTable.load(std::memory_order_relaxed);  // its destructor clears the pointer
  s_sharedNameTable.store(nullptr);
}

ZelName::ZelName(const UnicodeString& text) : m_name(ZelNameTable::getSharedNameEnum(text)) {}

const UnicodeString& ZelName::toString() const { return ZelNameTable::getSharedNameString(m_name); }

ZelName ZelName::generateID(const UnicodeString& text) {
  // A new shared table's last number is the last built-in one.
  ZelNameEnum last = ZelNameTable::getSharedNameTable()->getNameLast();
  UnicodeString id(u"-");
  id.append(text.isEmpty() ? UnicodeString(u"N") : text).append(ZelUtil::toString(last + 1));
  return ZelName(id);
}

void appendSharedName(UnicodeString& target, ZelNameEnum name) {
  target.append(ZelNameTable::getSharedNameString(name));
}

ZelNameList::ZelNameList(const ZelNameEnum* items, int32_t count)
    : m_items(items), m_count(items == nullptr ? 0 : count) {}

ZelNameList::ZelNameList(const ZelNameEnum* items) : m_items(items), m_count(0) {
  if (items != nullptr)
    while (items[m_count] != ZEL_NAME_EMPTY) ++m_count;
}

ZelName ZelNameList::getItem(int32_t i) const {
  return i >= 0 && i < m_count ? ZelName(m_items[i]) : ZelName();
}

int ZelNameList::indexOf(const ZelName& name) const {
  for (int32_t i = 0; i < m_count; ++i)
    if (m_items[i] == static_cast<ZelNameEnum>(name)) return i;
  return -1;
}

}  // namespace ObraCommon
