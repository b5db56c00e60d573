// Mutual exclusion in the library: ZelLock is one re-entrant lock, ZelMutex
// the scoped guard that holds it. A thread that holds a lock may take it
// again through a second guard. The default guard holds the library-wide
// lock, which serialises the library's lazily built tables and their
// clean-up.
#pragma once

#include <mutex>

#include "quarnel/export.h"

namespace ObraCommon {

class QUARNEL_API ZelLock {
 public:
  ZelLock();
  ~ZelLock();
  ZelLock(const ZelLock&) = delete;
  ZelLock& operator=(const ZelLock&) = delete;

 private:
  friend class ZelMutex;
  std::recursive_mutex m_mutex;
};

class QUARNEL_API ZelMutex {
 public:
  // Holds the library-wide lock.
  ZelMutex();
  explicit ZelMutex(ZelLock& lock);
  // A null lock gives a guard that locks nothing.
  explicit ZelMutex(ZelLock* lock);
  ~ZelMutex();
  ZelMutex(const ZelMutex&) = delete;
  ZelMutex& operator=(const ZelMutex&) = delete;

  // Leaves the lock early; a second call and the destructor then do nothing.
  void unlock();

  // Atomic increment and decrement of a plain int; the new value.
  static int interlockedIncrement(int& value);
  static int interlockedDecrement(int& value);

 private:
  void lock();

  ZelLock* m_lock;
};

}  // namespace ObraCommon
