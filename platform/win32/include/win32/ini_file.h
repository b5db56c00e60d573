// INI settings files, with the semantics that the program's callers rely on:
// text is UTF-8 (a leading byte-order mark is accepted and kept); section
// and key names compare without regard to case; a missing file, section or
// key gives the caller's default; values are trimmed of blanks and of one
// pair of matching surrounding quotes; lines whose first non-blank
// character is ';' are comments. A write changes or adds one line and keeps
// every other line as it was, creating the file or the section when needed.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// The value of `key` in `section` of the file at `path`, or `fallback`.
std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view fallback);

// The value of `key` read as a decimal integer (optional sign, leading
// digits; a value without digits reads 0), or `fallback` when the file,
// section or key is missing.
int IniReadInt(const std::string& path, std::string_view section, std::string_view key, int fallback);

// Sets `key` in `section` to `value`. False when the file cannot be written.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

}  // namespace win32
