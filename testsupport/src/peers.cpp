// Outside programs and iconv for the comparison tests.
#include "testsupport/peers.h"

#include <iconv.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

namespace testsupport {

CommandResult RunCommand(const std::string& command, size_t limit) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[1 << 16];
  bool over = false;
  // Read to the end even past the limit, so that the command can finish.
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
    over = over || result.output.size() + n > limit;
    if (!over) result.output.append(buffer, n);
  }
  const int status = pclose(pipe);
  if (over) {
    result.output.clear();
    result.status = -2;
  } else if (status != -1 && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  return result;
}

std::vector<std::string> SplitFields(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!line.empty() && line.back() == sep) parts.emplace_back();
  return parts;
}

std::vector<std::string> RunLines(const std::string& command) {
  std::vector<std::string> lines = SplitFields(RunCommand(command).output, '\n');
  if (!lines.empty()) lines.pop_back();  // after the last line break, or an unfinished line
  return lines;
}

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::optional<std::string> Iconv(std::string_view bytes, const char* from, const char* to, IconvErrors on_error) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size(), out_left = out.size();
  char* put = out.data();
  bool failed = false;
  while (in_left > 0 && iconv(cd, &in, &in_left, &put, &out_left) == static_cast<size_t>(-1)) {
    if (on_error != IconvErrors::kSkipByte) {
      failed = on_error == IconvErrors::kFail;
      break;
    }
    ++in;
    --in_left;
  }
  iconv_close(cd);
  if (failed) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace testsupport
