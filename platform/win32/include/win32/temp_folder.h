// The user's temporary folder and unique temporary files.
//
// The temporary folder is $TMPDIR when it is set and not empty, else a
// private folder /tmp/shapeglean-<uid>/ that belongs to the user alone
// (mode 0700, no symbolic link, owned by the user). Every temporary name of
// the engine and its configuration folder live there, so no other user can
// plant files or links on the names it uses. The folder is looked up on
// every call, as the system service does.
#pragma once

#include <string>

namespace win32 {

// The temporary folder, always ending in '/'; empty when the private folder
// cannot be made safe.
std::string TempFolder();

// Makes `path` a private folder of the user: created with mode 0700 when
// missing, refused when it is a symbolic link, not a directory or not the
// user's, its mode tightened to 0700 when wider. True when it is safe.
bool EnsurePrivateFolder(const std::string& path);

// Creates a new empty file <folder><prefix>XXXXXX<suffix> exclusively and
// returns its path, or empty on failure. `folder` ends in '/'.
std::string CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix);

}  // namespace win32
