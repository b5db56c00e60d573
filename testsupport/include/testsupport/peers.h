// The outside programs and converters that tests compare the engine with:
// a shell command's output and exit status, file names quoted for the
// shell, and iconv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

struct CommandResult {
  int status = -1;  // the exit status; -1 when it did not run or end, -2 past the output limit
  std::string output;
};

// Runs `command` with /bin/sh and reads its standard output whole; an
// output past `limit` bytes answers -2 and no output.
CommandResult RunCommand(const std::string& command, size_t limit = SIZE_MAX);

// The complete output lines of `command` (an unfinished last line is left
// out; none when it cannot be run).
std::vector<std::string> RunLines(const std::string& command);

// Splits at `sep`, keeping empty fields (also a last one).
std::vector<std::string> SplitFields(const std::string& line, char sep);

// `text` in single quotes for the shell.
std::string ShellQuote(std::string_view text);

// What Iconv does with input it cannot convert.
enum class IconvErrors {
  kFail,      // answer nothing
  kSkipByte,  // leave the byte out and go on
  kStop,      // answer what came before it
};

// `bytes` from charset `from` to `to`; nothing when iconv knows neither
// name (or, under kFail, refuses some input).
std::optional<std::string> Iconv(std::string_view bytes, const char* from, const char* to,
                                 IconvErrors on_error = IconvErrors::kFail);

}  // namespace testsupport
