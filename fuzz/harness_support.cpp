// The private folder, input files and the engine's start for the fuzzing
// harnesses (see harness_support.h).
#include "harness_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include <dirent.h>
#include <unistd.h>

#include "dalvex/cconv.h"

namespace fuzz {

namespace fs = std::filesystem;

namespace {

std::string* folder_path = nullptr;

void RemovePrivateFolder() {
  if (folder_path == nullptr) return;
  std::error_code ignored;
  fs::remove_all(*folder_path, ignored);
}

// Where the private folder goes: TMPDIR when it is set, else the machine's
// memory file system when it has one, since a harness writes its input and
// the engine its temporary files there for every execution.
std::string FolderBase() {
  const char* base = std::getenv("TMPDIR");
  if (base != nullptr && *base != '\0') return base;
  if (access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  return "/tmp";
}

}  // namespace

const std::string& PrivateFolder() {
  if (folder_path == nullptr) {
    std::string pattern = FolderBase() + "/shapeglean-fuzz.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    folder_path = new std::string(pattern + "/");
    // The engine's own temporary files and its configuration lookup go here.
    setenv("TMPDIR", folder_path->c_str(), 1);
    std::atexit(RemovePrivateFolder);
  }
  return *folder_path;
}

std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = PrivateFolder() + name;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || (size != 0 && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  return path;
}

std::string WriteInput(const std::string& name, std::string_view bytes) {
  return WriteInput(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  // Held for the whole process and never destroyed, so that the streams
  // stay reachable for the leak check at exit.
  static auto* const streams = new std::map<std::string, DIR*>;
  DIR*& stream = (*streams)[folder];
  if (stream == nullptr) {
    stream = opendir(folder.c_str());
    if (stream == nullptr) {
      std::perror(folder.c_str());
      std::abort();
    }
  } else {
    rewinddir(stream);
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(stream)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

void Remove(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

std::string GeneratedConfiguration() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return (self.parent_path().parent_path() / "etc").string();
}

std::string ReadGenerated(const std::string& name) {
  std::string path = GeneratedConfiguration() + "/" + name;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    std::perror(path.c_str());
    std::abort();
  }
  std::string bytes;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.append(buffer, n);
  std::fclose(in);
  return bytes;
}

void StartEngine() {
  static bool started = [] {
    std::error_code error;
    fs::copy(GeneratedConfiguration(), PrivateFolder() + "etc", fs::copy_options::recursive, error);
    if (error) {
      std::fprintf(stderr, "fuzz: cannot copy %s: %s\n", GeneratedConfiguration().c_str(),
                   error.message().c_str());
      std::abort();
    }
    if (startProcess() != 1 || cconvLoadRule() != 1) {
      std::fprintf(stderr, "fuzz: the engine did not start with %s\n", GeneratedConfiguration().c_str());
      std::abort();
    }
    // Ended before the private folder goes (atexit runs in reverse order).
    std::atexit([] { endProcess(); });
    return true;
  }();
  (void)started;
}

}  // namespace fuzz
