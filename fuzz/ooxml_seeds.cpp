// Writes self-made Office Open XML packages as seeds of the ooxml harness:
// a main part of each kind, relationships of parts with internal and
// external targets, a Default-only package and one whose part has a
// DOCTYPE.
#include <fstream>
#include <string>
#include <vector>

#include "testsupport/zip_writer.h"

namespace {

const std::string kOfficeDocument = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";

void Write(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts, bool deflate) {
  testsupport::ZipWriter w;
  for (const auto& [name, data] : parts) {
    testsupport::ZipEntrySpec s;
    s.name = name;
    s.data = data;
    s.deflate = deflate;
    w.add(s);
  }
  std::ofstream(path, std::ios::binary) << w.finish();
}

std::string Types(const std::string& body) {
  return "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">" +
         body + "</Types>";
}

std::string Rels(const std::string& body) {
  return "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + body +
         "</Relationships>";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const char* kinds[] = {
      "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
      "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
      "application/vnd.ms-excel.sheet.binary.macroEnabled.main",
      "application/vnd.ms-powerpoint.template.macroEnabled.main+xml",
      "application/vnd.openxmlformats-officedocument.themeManager+xml",
  };
  int n = 0;
  for (const char* kind : kinds) {
    std::string rels = Rels("<Relationship Id=\"rId1\" Type=\"" + kOfficeDocument + "\" Target=\"doc/main.xml\"/>");
    std::string partRels = Rels(
        "<Relationship Id=\"rId1\" Type=\"t\" Target=\"../media/a.png\"/>"
        "<Relationship Id=\"rId2\" Type=\"u\" Target=\"http://example.invalid/\" TargetMode=\"External\"/>");
    std::string types = Types("<Default Extension=\"rels\" ContentType=\"r\"/><Default Extension=\"png\" ContentType=\"p\"/>"
                              "<Override PartName=\"/doc/main.xml\" ContentType=\"" + std::string(kind) + "\"/>");
    for (bool deflate : {false, true})
      Write(dir + "/ooxml-" + std::to_string(n++) + ".zip",
            {{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"doc/main.xml", "<main/>"},
             {"doc/_rels/main.xml.rels", partRels}, {"media/a.png", "png"}},
            deflate);
  }
  Write(dir + "/ooxml-defaults.zip",
        {{"[Content_Types].xml", Types("<Default Extension=\"xml\" ContentType=\"" + std::string(kinds[0]) + "\"/>")},
         {"_rels/.rels", Rels("<Relationship Id=\"a\" Type=\"" + kOfficeDocument + "\" Target=\"main.xml\"/>")},
         {"main.xml", "<main/>"}},
        true);
  Write(dir + "/ooxml-doctype.zip",
        {{"[Content_Types].xml", "<!DOCTYPE Types SYSTEM \"types.dtd\" [<!ENTITY e SYSTEM \"e.xml\">]>" +
                                     Types("&e;")},
         {"_rels/.rels", Rels("")}},
        false);
  return 0;
}
