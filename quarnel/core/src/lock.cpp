// ZelLock over a recursive mutex (re-entrant for the thread that holds it)
// and the scoped guard ZelMutex.
#include <atomic>

#include "library_lock.h"
#include "quarnel/lock.h"

namespace ObraCommon {

ZelLock& libraryLock() {
  static ZelLock* const lock = new ZelLock;
  return *lock;
}

ZelLock::ZelLock() = default;
ZelLock::~ZelLock() = default;

ZelMutex::ZelMutex() : m_lock(&libraryLock()) { lock(); }
ZelMutex::ZelMutex(ZelLock& lock) : m_lock(&lock) { this->lock(); }
ZelMutex::ZelMutex(ZelLock* lock) : m_lock(lock) { this->lock(); }
ZelMutex::~ZelMutex() { unlock(); }

void ZelMutex::lock() {
  if (m_lock != nullptr) m_lock->m_mutex.lock();
}

void ZelMutex::unlock() {
  if (m_lock == nullptr) return;
  m_lock->m_mutex.unlock();
  m_lock = nullptr;
}

int ZelMutex::interlockedIncrement(int& value) { return std::atomic_ref<int>(value).fetch_add(1) + 1; }

int ZelMutex::interlockedDecrement(int& value) { return std::atomic_ref<int>(value).fetch_sub(1) - 1; }

}  // namespace ObraCommon
