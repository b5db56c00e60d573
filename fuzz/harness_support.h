// What every libFuzzer harness of the engine shares: a private folder that
// is the process's temporary folder (TMPDIR) and is removed at exit (made
// in TMPDIR when set, else in /dev/shm when the machine has it), the
// input written there as a file, and the conversion engine started once per
// process with the configuration the build generated (its etc/ copied into
// the private folder, where the configuration lookup finds it) and ended at
// exit. Harnesses call only the engine's exported interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ios>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// The private folder, with a trailing '/'. Created on first use.
const std::string& PrivateFolder();

// Writes the bytes to PrivateFolder() + name (replacing the file) and
// answers the path; aborts when the file cannot be written.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);
std::string WriteInput(const std::string& name, std::string_view bytes);

// The names in a folder (without "." and ".."), read through a directory
// stream opened on the first call for that folder and rewound on the next
// ones; aborts when the folder cannot be opened.
std::vector<std::string> FolderEntries(const std::string& folder);

// The input where libFuzzer holds it, as a read-only stream buffer that
// seeks as a string stream's does: to any position from its start to its
// end. Copying an input of more than 128 KB into a string stream costs a
// sanitizer build two mappings and unmappings per execution.
class InputBuf : public std::streambuf {
 public:
  InputBuf(const uint8_t* data, size_t size) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    const off_type base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? gptr() - eback() : egptr() - eback();
    const off_type to = base + off;
    if (to < 0 || to > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + to, egptr());
    return pos_type(to);
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }
};

// Removes a file or folder below the private folder.
void Remove(const std::string& path);

// Starts the engine and loads the generated rules, once per process.
void StartEngine();

// The generated configuration folder beside the harness (build-fuzz/etc/).
std::string GeneratedConfiguration();
// One file of it, whole; aborts when it is missing.
std::string ReadGenerated(const std::string& name);

}  // namespace fuzz
