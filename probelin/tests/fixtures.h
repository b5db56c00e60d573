// Helpers of the detector's tests: files written into the test's private
// temporary folder, compound files from the test-support writer, and one
// call of KVB_FileDtct with its record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "probelin/probelin.h"
#include "testsupport/compound_file_writer.h"

namespace probelin_test {

struct Detection {
  int result = -2;
  FileDtctRecord record{};
};

// What a detection should give: the result and the record's fields.
struct Expect {
  int result;
  int32_t id;
  int32_t sub;
  const char* name;
  int32_t protection = 0;
  const char* language = "";
};
void Check(const Detection& d, const Expect& e);

// Detects the file at path (mode 0).
Detection DetectPath(const std::string& path);
// Writes bytes to a file of that name in the temporary folder and detects it.
Detection DetectBytes(const std::string& bytes, const std::string& name = "sample.bin");
// Writes bytes to the temporary folder; the path.
std::string WriteTemp(const std::string& name, const std::string& bytes);

// A compound file of streams at the root.
std::string Cfb(const std::vector<std::pair<std::string, std::string>>& streams,
                const testsupport::ClassId& root_class = {});
// An Office Open XML package whose main document "doc/main.xml" has that
// content type, named from the package relationships by `target`.
std::string OfficePackage(const std::string& content_type, const std::string& target = "doc/main.xml");
// The first bytes of a "VisioDocument" stream of that header version.
std::string VisioHeader(uint16_t version, const std::string& title = "Visio (TM) Drawing\r\n");

// The bytes of a literal, NULs included.
template <size_t N>
std::string B(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Little-endian and big-endian bytes.
std::string Le16(uint16_t v);
std::string Le32(uint32_t v);
std::string Be32(uint32_t v);
// bytes padded with zeros (or cut) to size.
std::string Padded(std::string bytes, size_t size);

// The names in the temporary folder (empty when nothing is left there).
std::vector<std::string> TempEntries();

}  // namespace probelin_test
