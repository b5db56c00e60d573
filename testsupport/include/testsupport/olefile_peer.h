// What python3-olefile reads from compound files, through
// dalvex/tests/olefile_dump.py: the reference the compound-file readers'
// corpus tests compare with.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testsupport/peers.h"

namespace testsupport {

struct OlefileStream {
  std::vector<std::string> path;  // storage names, then the stream's (UTF-8)
  long long size = 0;
  std::string digest;  // SHA-256, or "ERROR:..." when olefile cannot read it
};

struct OlefileFile {
  bool opened = false;
  std::string reason;
  std::vector<OlefileStream> streams;
};

// A Python interpreter with olefile, or empty.
std::string PythonWithOlefile();

// Runs a script of the source tree (a path from its top) with the files as
// arguments and gives its output lines.
std::vector<std::string> RunPythonScript(const std::string& python, const std::string& script,
                                         const std::vector<std::filesystem::path>& files);

// olefile's view of each file, by file name.
std::map<std::string, OlefileFile> RunOlefileDump(const std::string& python,
                                                 const std::vector<std::filesystem::path>& files);

std::string FromHex(const std::string& hex);

}  // namespace testsupport
