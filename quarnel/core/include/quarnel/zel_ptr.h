// ZelPtr: the intrusive smart pointer over ZelRCObject descendants. Taking a
// pointer adds a reference; reset and destruction release one, destroying
// the object when its count falls below 1.
#pragma once

#include <type_traits>

#include "quarnel/object_base.h"

namespace ObraCommon {

template <class T>
class ZelPtr {
 public:
  ZelPtr() : m_ptr(nullptr) {}
  ZelPtr(T* ptr) : m_ptr(ptr) { acquire(); }
  ZelPtr(const ZelPtr& other) : m_ptr(other.m_ptr) { acquire(); }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ZelPtr(const ZelPtr<U>& other) : m_ptr(other.get()) { acquire(); }
  ~ZelPtr() { reset(); }

  // The new object gains its reference before the old one is released, so
  // assigning a pointer to itself keeps the object alive.
  ZelPtr& operator=(const ZelPtr& other) { return assign(other.m_ptr); }
  ZelPtr& operator=(T* ptr) { return assign(ptr); }

  void reset() {
    T* old = m_ptr;
    m_ptr = nullptr;
    if (old != nullptr) old->release();
  }

  T* get() const { return m_ptr; }
  T* operator->() const { return m_ptr; }
  T& operator*() const { return *m_ptr; }
  explicit operator bool() const { return m_ptr != nullptr; }

  template <class U>
  bool operator==(const ZelPtr<U>& other) const { return m_ptr == other.get(); }
  template <class U>
  bool operator!=(const ZelPtr<U>& other) const { return m_ptr != other.get(); }
  bool operator==(const T* ptr) const { return m_ptr == ptr; }
  bool operator!=(const T* ptr) const { return m_ptr != ptr; }

 private:
  void acquire() {
    if (m_ptr != nullptr) m_ptr->addRef();
  }
  ZelPtr& assign(T* ptr) {
    if (ptr != nullptr) ptr->addRef();
    T* old = m_ptr;
    m_ptr = ptr;
    if (old != nullptr) old->release();
    return *this;
  }

  T* m_ptr;
};

}  // namespace ObraCommon
