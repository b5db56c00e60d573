// Locating the shared test data and the test's own temporary folder.
#include "testsupport/testdata.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testsupport {

std::optional<std::filesystem::path> TestDataDir(std::string_view sub, std::string* why) {
  const char* root = std::getenv("TESTDATA_DIR");
  if (root == nullptr || *root == '\0') {
    if (why) *why = "TESTDATA_DIR is not set; the shared test data is not available";
    return std::nullopt;
  }
  std::filesystem::path dir = std::filesystem::path(root) / std::filesystem::path(sub);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    if (why) *why = "test data folder missing: " + dir.string();
    return std::nullopt;
  }
  return dir;
}

std::filesystem::path TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return std::filesystem::path(tmp && *tmp ? tmp : ".");
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace testsupport
