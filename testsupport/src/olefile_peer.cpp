// See olefile_peer.h.
#include "testsupport/olefile_peer.h"

#include <cstdlib>

#include "testsupport/peers.h"

namespace testsupport {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string PythonWithOlefile() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    std::string command = std::string(python) + " -c 'import olefile' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return python;
  }
  return {};
}

std::vector<std::string> RunPythonScript(const std::string& python, const std::string& script,
                                         const std::vector<std::filesystem::path>& files) {
  std::string command = python + " " + ShellQuote(std::string(PROJECT_SOURCE_DIR) + "/" + script);
  for (const std::filesystem::path& file : files) command += " " + ShellQuote(file.string());
  return RunLines(command);
}

std::map<std::string, OlefileFile> RunOlefileDump(const std::string& python,
                                                 const std::vector<std::filesystem::path>& files) {
  std::map<std::string, OlefileFile> result;
  std::string current;
  for (const std::string& line : RunPythonScript(python, "dalvex/tests/olefile_dump.py", files)) {
    std::vector<std::string> f = SplitFields(line, '\t');
    if (f.size() >= 3 && f[0] == "FILE") {
      current = f[1];
      result[current].opened = f[2] == "OK";
      if (f.size() >= 4) result[current].reason = f[3];
    } else if (f.size() == 4 && f[0] == "STREAM") {
      OlefileStream s;
      for (const std::string& name : SplitFields(f[1], '/')) s.path.push_back(FromHex(name));
      s.size = std::stoll(f[2]);
      s.digest = f[3];
      result[current].streams.push_back(s);
    }
  }
  return result;
}

}  // namespace testsupport
