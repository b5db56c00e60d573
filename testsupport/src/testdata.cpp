// Locating the shared test data and the test's own temporary folder.
#include "testsupport/testdata.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

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

std::vector<IndexRow> ReadIndex(const std::filesystem::path& dir) {
  std::vector<IndexRow> rows;
  std::istringstream index(ReadFile(dir / "INDEX.tsv"));
  auto cells = [](const std::string& line) {
    std::vector<std::string> out;
    std::istringstream split(line);
    for (std::string cell; std::getline(split, cell, '\t');) out.push_back(cell);
    return out;
  };
  std::string line;
  if (!std::getline(index, line)) return rows;
  const std::vector<std::string> columns = cells(line);
  while (std::getline(index, line)) {
    if (line.empty()) continue;
    std::vector<std::string> row = cells(line);
    IndexRow named;
    for (size_t k = 0; k < columns.size(); ++k) named[columns[k]] = k < row.size() ? row[k] : std::string();
    rows.push_back(std::move(named));
  }
  return rows;
}

}  // namespace testsupport
