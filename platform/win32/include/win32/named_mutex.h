// Named mutexes shared between processes.
//
// A named mutex is an flock on <temporary folder>/<name>.lock together with
// one process-wide recursive mutex per name. Like the system object it is
// recursive for its owner, waits without a time-out, and is released by the
// kernel when the owning process dies.
#pragma once

#include <memory>
#include <string>

namespace win32 {

class NamedMutex {
 public:
  // Opens (or creates) the mutex `name`; null when its lock file cannot be
  // opened safely.
  static std::shared_ptr<NamedMutex> Open(const std::string& name);

  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Waits until this thread owns the mutex. False when the lock failed.
  bool Lock();
  // Gives up one level of ownership. False when this thread does not own it.
  bool Unlock();

  struct State;

 private:
  explicit NamedMutex(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

}  // namespace win32
