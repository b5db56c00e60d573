// The root of the library's run-time type scheme and its reference-counted
// base. Every class that takes part in type tests derives from ZelObjectBase
// and answers a fixed 32-bit id; every object shared between owners derives
// from ZelRCObject and is held through ZelPtr (quarnel/zel_ptr.h).
#pragma once

#include <atomic>
#include <cstdint>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelObjectBase {
 public:
  ZelObjectBase() = default;
  ZelObjectBase(const ZelObjectBase&) = default;
  ZelObjectBase& operator=(const ZelObjectBase&) = default;
  virtual ~ZelObjectBase();

  virtual unsigned int getTypeID() const = 0;
  // True for the class's own id and the id of each of its bases.
  virtual bool isA(unsigned int id) const;
  virtual UnicodeString getTypeName() const = 0;

  static unsigned int getStaticTypeID() { return 0xA4EBD8C4u; }
};

// A new object has the count 0: whoever takes it first into a ZelPtr (or
// calls addRef) makes it 1. Counts change atomically, so ZelPtr copies of
// one object may be made and dropped on several threads at once.
class QUARNEL_API ZelRCObject : public ZelObjectBase {
 public:
  // The new count.
  int addRef() const;
  // Destroys the object when the new count is below 1, so an object never
  // referenced dies on its first release; the caller must not touch it
  // after a result below 1.
  int release() const;
  // Decrements without ever destroying.
  int removeRef() const;
  int getRefCount() const;

  bool isA(unsigned int id) const override;
  static unsigned int getStaticTypeID() { return 0x90AF0240u; }

 protected:
  ZelRCObject();
  // A copy is a new object: its count starts at 0 and assignment keeps it.
  ZelRCObject(const ZelRCObject& other);
  ZelRCObject& operator=(const ZelRCObject& other);
  ~ZelRCObject() override;

  void clearRefCount();
  // For an object not yet shared between threads: no atomic read-modify-write.
  int decrementRefCount();

 private:
  mutable std::atomic<int32_t> m_refCount;
};

}  // namespace ObraCommon
