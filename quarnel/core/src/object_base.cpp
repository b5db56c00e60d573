// The run-time type scheme's root and the reference count. The count is
// changed with atomic operations; a release that brings it below 1
// destroys the object through its virtual destructor, and the release
// ordering makes every write of the other owners visible to the destructor.
#include "quarnel/object_base.h"

namespace ObraCommon {

ZelObjectBase::~ZelObjectBase() = default;

bool ZelObjectBase::isA(unsigned int id) const { return id == ZelObjectBase::getStaticTypeID(); }

ZelRCObject::ZelRCObject() : m_refCount(0) {}

ZelRCObject::ZelRCObject(const ZelRCObject& other) : ZelObjectBase(other), m_refCount(0) {}

ZelRCObject& ZelRCObject::operator=(const ZelRCObject& other) {
  ZelObjectBase::operator=(other);
  return *this;
}

ZelRCObject::~ZelRCObject() = default;

int ZelRCObject::addRef() const { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

int ZelRCObject::release() const {
  int count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count < 1) delete this;
  return count;
}

int ZelRCObject::removeRef() const { return m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }

int ZelRCObject::getRefCount() const { return m_refCount.load(std::memory_order_relaxed); }

void ZelRCObject::clearRefCount() { m_refCount.store(0, std::memory_order_relaxed); }

int ZelRCObject::decrementRefCount() {
  int count = m_refCount.load(std::memory_order_relaxed) - 1;
  m_refCount.store(count, std::memory_order_relaxed);
  return count;
}

bool ZelRCObject::isA(unsigned int id) const {
  return id == ZelRCObject::getStaticTypeID() || ZelObjectBase::isA(id);
}

}  // namespace ObraCommon
