// Writes the self-made zip packages the tests use as seeds of the
// zip_package harness: stored, deflated, data descriptors, zip64, names.
#include <fstream>
#include <string>

#include "testsupport/zip_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  using testsupport::ZipEntrySpec;
  const std::string dir = argv[1];
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i % 23);
  int n = 0;
  for (int layout = 0; layout < 6; ++layout) {
    testsupport::ZipWriter w;
    for (int i = 0; i < 3; ++i) {
      ZipEntrySpec s;
      s.name = "dir/entry" + std::to_string(i) + (layout == 5 ? "\xC3\xA4" : "");
      s.data = text.substr(0, 100 + 700 * i);
      s.deflate = i != 1;
      s.utf8 = layout == 5;
      if (layout == 1) s.descriptor = ZipEntrySpec::Descriptor::Signed;
      if (layout == 2) s.descriptor = ZipEntrySpec::Descriptor::Unsigned;
      if (layout == 3) s.zip64 = true;
      if (layout == 4) s.wrongCrc = i == 0;
      w.add(s);
    }
    std::ofstream(dir + "/written-" + std::to_string(n++) + ".zip", std::ios::binary) << w.finish(layout != 4);
  }
  return 0;
}
