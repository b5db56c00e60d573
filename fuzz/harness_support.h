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

// Removes a file or folder below the private folder.
void Remove(const std::string& path);

// Starts the engine and loads the generated rules, once per process.
void StartEngine();

// The generated configuration folder beside the harness (build-fuzz/etc/).
std::string GeneratedConfiguration();
// One file of it, whole; aborts when it is missing.
std::string ReadGenerated(const std::string& name);

}  // namespace fuzz
