// Named mutexes across processes (see named_mutex.h).
//
// Within the process every opener of one name shares one State: a recursive
// owner count guarded by a std::mutex and a condition variable. The first
// level of ownership also takes an exclusive flock on the name's lock file,
// which other processes wait on and which the kernel drops when the owner
// dies; deeper levels only count.
#include "win32/named_mutex.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "win32/temp_folder.h"

namespace win32 {

struct NamedMutex::State {
  std::mutex guard;
  std::condition_variable released;
  std::thread::id owner;
  int depth = 0;
  int fd = -1;
  pid_t pid = 0;     // the process that opened fd
  std::string path;  // the lock file
  ~State() {
    if (fd >= 0) close(fd);
  }
};

namespace {

std::mutex registry_guard;
std::map<std::string, std::weak_ptr<NamedMutex::State>>& Registry() {
  static auto* registry = new std::map<std::string, std::weak_ptr<NamedMutex::State>>();
  return *registry;
}

}  // namespace

std::shared_ptr<NamedMutex> NamedMutex::Open(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return nullptr;
  std::string folder = TempFolder();
  if (folder.empty()) return nullptr;
  std::string path = folder + name + ".lock";

  std::lock_guard<std::mutex> lock(registry_guard);
  auto& slot = Registry()[path];
  std::shared_ptr<State> state = slot.lock();
  if (!state) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return nullptr;
    state = std::make_shared<State>();
    state->fd = fd;
    state->pid = getpid();
    state->path = path;
    slot = state;
  }
  return std::shared_ptr<NamedMutex>(new NamedMutex(std::move(state)));
}

NamedMutex::~NamedMutex() = default;

bool NamedMutex::Lock() {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.guard);
  const auto self = std::this_thread::get_id();
  if (s.pid != getpid()) {
    // A forked child shares the parent's open file description, and with it
    // the parent's flock: it needs a description of its own.
    int fd = open(s.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    close(s.fd);
    s.fd = fd;
    s.pid = getpid();
    s.depth = 0;  // ownership does not pass to a child
  }
  if (s.depth > 0 && s.owner == self) {
    ++s.depth;
    return true;
  }
  s.released.wait(lock, [&] { return s.depth == 0; });
  // This thread now owns the process's share; take the file lock for the
  // other processes. Other threads wait on `released` meanwhile.
  s.owner = self;
  s.depth = 1;
  lock.unlock();
  int rc;
  do {
    rc = flock(s.fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    lock.lock();
    s.depth = 0;
    s.owner = std::thread::id();
    s.released.notify_one();
    return false;
  }
  return true;
}

bool NamedMutex::Unlock() {
  State& s = *state_;
  std::lock_guard<std::mutex> lock(s.guard);
  if (s.depth == 0 || s.owner != std::this_thread::get_id()) return false;
  if (--s.depth == 0) {
    flock(s.fd, LOCK_UN);
    s.owner = std::thread::id();
    s.released.notify_one();
  }
  return true;
}

}  // namespace win32
