// The name table: built-in names from the generated constant data, found by
// binary search without a lock; names numbered at run time in the one shared
// ZelNameTable, every access to which (creation, numbering, reading a
// run-time text, release and destruction) holds the table's own lock. The
// shared table lives until cleanup: callers keep names as bare numbers, so a
// table dropped earlier would empty their texts and hand their numbers to
// other texts.
#include <algorithm>

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

}  // namespace

ZelNameTable* ZelNameTable::s_sharedNameTable = nullptr;

ZelNameTable::ZelNameTable() : m_last(ZEL_NAME_LAST_BUILTIN) { m_index.reserve(1024); }

ZelNameTable::~ZelNameTable() {
  ZelMutex guard(sharedNameTableLock());
  if (s_sharedNameTable == this) s_sharedNameTable = nullptr;
}

ZelNameEnum ZelNameTable::getNameLast() const {
  ZelMutex guard(sharedNameTableLock());
  return m_last;
}

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
  const UnicodeString& stored = m_texts.emplace_back(text);
  ++m_last;
  m_index.emplace(View(stored), m_last);
  return m_last;
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
  ZelMutex guard(sharedNameTableLock());
  if (name > m_last) return getBuiltinNameString(ZEL_NAME_EMPTY);
  return m_texts[static_cast<size_t>(name - ZEL_NAME_LAST_BUILTIN - 1)];
}

void ZelNameTable::setupSharedNameTable() {
  if (s_sharedNameTable == nullptr) s_sharedNameTable = new ZelNameTable;
}

ZelNameEnum ZelNameTable::getSharedNameEnum(const UnicodeString& text) {
  if (text.isEmpty()) return ZEL_NAME_EMPTY;
  ZelNameEnum builtin = getBuiltinNameEnum(text);
  if (builtin != ZEL_NAME_EMPTY) return builtin;
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  return s_sharedNameTable->getNonBuiltinNameEnumMutexed(text);
}

const UnicodeString& ZelNameTable::getSharedNameString(ZelNameEnum name) {
  if (name <= ZEL_NAME_LAST_BUILTIN) return getBuiltinNameString(name);
  ZelMutex guard(sharedNameTableLock());
  if (s_sharedNameTable == nullptr) return getBuiltinNameString(ZEL_NAME_EMPTY);
  return s_sharedNameTable->getNameString(name);
}

ZelNameTable* ZelNameTable::getSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  return s_sharedNameTable;
}

ZelNameTable* ZelNameTable::addRefSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  setupSharedNameTable();
  s_sharedNameTable->addRef();
  return s_sharedNameTable;
}

void ZelNameTable::releaseSharedNameTable() {
  ZelMutex guard(sharedNameTableLock());
  if (s_sharedNameTable != nullptr) s_sharedNameTable->removeRef();
}

void ZelNameTable::cleanup() {
  ZelMutex library;
  ZelMutex guard(sharedNameTableLock());
  delete s_sharedNameTable;  // its destructor clears the pointer
  s_sharedNameTable = nullptr;
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
