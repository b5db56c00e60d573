// Names: the library names things (charsets, properties and their values,
// colour keywords, units, node types, namespace URIs) by interned texts. A
// ZelName holds one ZelNameEnum, and two names are equal exactly when their
// numbers are. The 1,597 built-in texts have fixed numbers and are found
// without a lock; every other text is numbered on first use by the one
// shared ZelNameTable, which keeps it until the library's clean-up.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include <unicode/unistr.h>

#include "quarnel/builtin_names.h"
#include "quarnel/export.h"
#include "quarnel/name_enum.h"
#include "quarnel/object_base.h"

namespace ObraCommon {

using icu::UnicodeString;

class ZelValue;

class QUARNEL_API ZelName {
 public:
  ZelName() : m_name(ZEL_NAME_EMPTY) {}
  ZelName(ZelNameEnum name) : m_name(name) {}
  // The number of the text, numbered now when it is new.
  ZelName(const UnicodeString& text);
  // The value's name, or the name of its text (numbered now when new).
  explicit ZelName(const ZelValue& value);
  ZelName(const ZelName& other) = default;
  ZelName& operator=(const ZelName& other) = default;

  bool isEmpty() const { return m_name == ZEL_NAME_EMPTY; }
  bool isBuiltin() const { return m_name >= 0 && m_name <= ZEL_NAME_LAST_BUILTIN; }

  operator ZelNameEnum() const { return m_name; }
  // The text, or the empty text for a number nobody was given.
  const UnicodeString& toString() const;
  operator const UnicodeString&() const { return toString(); }

  bool operator==(const ZelName& other) const { return m_name == other.m_name; }
  bool operator!=(const ZelName& other) const { return m_name != other.m_name; }
  bool operator==(ZelNameEnum other) const { return m_name == other; }
  bool operator!=(ZelNameEnum other) const { return m_name != other; }

  // A fresh name for an identifier: "-", the text (or "N" when it is
  // empty), then the shared table's last number plus 1.
  static ZelName generateID(const UnicodeString& text);

 private:
  ZelNameEnum m_name;
};

class QUARNEL_API ZelNameTable : public ZelRCObject {
 public:
  ZelNameTable();
  ~ZelNameTable() override;
  ZelNameTable(const ZelNameTable&) = delete;
  ZelNameTable& operator=(const ZelNameTable&) = delete;

  // The highest number in use: 1,597 in a table that numbered nothing yet.
  ZelNameEnum getNameLast() const;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x31FB5B85u; }

  // The built-in number of the text (case-sensitive); 0 for any other text.
  static ZelNameEnum getBuiltinNameEnum(const UnicodeString& text);
  // The built-in text of 1 to 1,597; the empty text for any other number.
  static const UnicodeString& getBuiltinNameString(ZelNameEnum name);

  // The number of the text in this table, numbered now when it is new.
  ZelNameEnum getNameEnum(const UnicodeString& text);
  // The number of the text in this table, or 0; numbers nothing.
  ZelNameEnum lookupName(const UnicodeString& text) const;
  // The text of a number of this table; the empty text for a number below 1
  // or above the last one. The reference stays valid for the table's life.
  const UnicodeString& getNameString(ZelNameEnum name) const;

  // The same on the shared table, made on first need.
  static ZelNameEnum getSharedNameEnum(const UnicodeString& text);
  static const UnicodeString& getSharedNameString(ZelNameEnum name);

  // The shared table, made when there is none; adds no reference.
  static ZelNameTable* getSharedNameTable();
  // The same, and one reference more (a document holds one for its life).
  static ZelNameTable* addRefSharedNameTable();
  // Takes back one reference. The table stays even at 0: names numbered by
  // it are held by callers as bare numbers, and a new table would give
  // their numbers to other texts. Only cleanup destroys it.
  static void releaseSharedNameTable();
  // Destroys the shared table whatever its count. The library's clean-up
  // calls it once; names are not used after it.
  static void cleanup();

 private:
  ZelNameEnum getNonBuiltinNameEnumMutexed(const UnicodeString& text);
  static void setupSharedNameTable();
  // The run-time texts live in blocks of doubling size that are never moved
  // nor freed before the table, so the index's keys view their buffers and
  // handed-out references stay valid. A text is complete before m_last
  // counts it: a reader that loads m_last finds every text up to it and its
  // block without the lock.
  static constexpr int kFirstBlockBits = 10;
  static constexpr int kBlockCount = 22;
  const UnicodeString* storedText(ZelNameEnum name) const;
  std::atomic<UnicodeString*> m_blocks[kBlockCount] = {};
  std::unordered_map<std::u16string_view, ZelNameEnum> m_index;
  std::atomic<ZelNameEnum> m_last;
  static std::atomic<ZelNameTable*> s_sharedNameTable;
};

// Appends the text of a name (as getSharedNameString gives it) to target.
QUARNEL_API void appendSharedName(UnicodeString& target, ZelNameEnum name);

// A view on an array of name numbers that the caller owns; copying a list
// shares the array.
class QUARNEL_API ZelNameList {
 public:
  ZelNameList() : m_items(nullptr), m_count(0) {}
  // count items; none when items is null.
  ZelNameList(const ZelNameEnum* items, int32_t count);
  // The items up to the first 0, which is not counted.
  explicit ZelNameList(const ZelNameEnum* items);

  int32_t getCount() const { return m_count; }
  // Item i, or the empty name when i is outside the list.
  ZelName getItem(int32_t i) const;
  // The index of the first item equal to the name, or -1.
  int indexOf(const ZelName& name) const;
  bool hasItem(const ZelName& name) const { return indexOf(name) != -1; }

 private:
  const ZelNameEnum* m_items;
  int32_t m_count;
};

}  // namespace ObraCommon
