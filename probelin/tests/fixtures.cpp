// Helpers of the detector's tests (see fixtures.h).
#include "fixtures.h"

#include <gtest/gtest.h>

#include "testsupport/testdata.h"
#include "testsupport/zip_writer.h"

namespace probelin_test {

Detection DetectPath(const std::string& path) {
  DtctInput input{};
  input.path = path.c_str();
  input.mode = kDtctModePath;
  Detection d;
  d.record.input = &input;
  d.result = KVB_FileDtct(&d.record);
  if (d.record.input == &input) d.record.input = nullptr;  // the input dies here
  EXPECT_EQ(input.file, nullptr);
  return d;
}

void Check(const Detection& d, const Expect& e) {
  EXPECT_EQ(d.result, e.result);
  EXPECT_EQ(d.record.format_id, e.id);
  EXPECT_EQ(d.record.sub, e.sub);
  EXPECT_STREQ(d.record.name, e.name);
  EXPECT_EQ(d.record.protection, e.protection);
  EXPECT_STREQ(d.record.language, e.language);
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = (testsupport::TempDir() / name).string();
  EXPECT_TRUE(testsupport::WriteFile(path, bytes));
  return path;
}

Detection DetectBytes(const std::string& bytes, const std::string& name) {
  std::string path = WriteTemp(name, bytes);
  Detection d = DetectPath(path);
  std::filesystem::remove(path);
  return d;
}

std::string Cfb(const std::vector<std::pair<std::string, std::string>>& streams,
                const testsupport::ClassId& root_class) {
  testsupport::CompoundFileWriter w;
  w.SetClassId(w.Root(), root_class);
  for (const auto& [name, bytes] : streams) {
    if (name.back() == '/') w.AddStorage(w.Root(), name.substr(0, name.size() - 1));
    else w.AddStream(w.Root(), name, bytes);
  }
  return w.Build().bytes;
}

std::string OfficePackage(const std::string& content_type, const std::string& target) {
  testsupport::ZipWriter zip;
  auto add = [&](const char* name, const std::string& data) {
    testsupport::ZipEntrySpec e;
    e.name = name;
    e.data = data;
    e.deflate = true;
    zip.add(e);
  };
  add("[Content_Types].xml",
      "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/doc/main.xml\" ContentType=\"" + content_type + "\"/></Types>");
  add("_rels/.rels",
      "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
      "officeDocument\" Target=\"" + target + "\"/></Relationships>");
  add("doc/main.xml", "<?xml version=\"1.0\"?><main/>");
  return zip.finish();
}

std::string Le16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(uint16_t(v)) + Le16(uint16_t(v >> 16)); }
std::string Be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Padded(std::string bytes, size_t size) {
  bytes.resize(size, '\0');
  return bytes;
}

std::string VisioHeader(uint16_t version, const std::string& title) {
  std::string h = Padded(title, 26) + Le16(version) + Le16(0) + Le16(0);
  return Padded(h, 64);
}

std::vector<std::string> TempEntries() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(testsupport::TempDir()))
    names.push_back(e.path().filename().string());
  return names;
}

}  // namespace probelin_test
