// The guard that lets one instance of the program run at a time: a
// non-blocking flock on a lock file in the user's private temporary folder,
// held until the guard is destroyed (the kernel drops it when the process
// dies, so a crashed instance never blocks the next start).
#pragma once

#include <memory>
#include <string>

namespace win32 {

enum class InstanceCheck {
  kAlone,          // the guard is held by this process
  kRunning,        // another open of the lock file holds it
  kCannotCreate,   // the lock file cannot be created or locked
};

class SingleInstanceGuard {
 public:
  // Tries to take the guard on <temporary folder>/<lock_name>. The guard is
  // returned only with kAlone.
  static std::unique_ptr<SingleInstanceGuard> Acquire(const std::string& lock_name, InstanceCheck* check);

  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

 private:
  explicit SingleInstanceGuard(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace win32
