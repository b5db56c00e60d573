// Writes the "VisioDocument" stream of each drawing named on the command
// line into a folder, as seeds of the Visio reader's fuzzer:
// visio_reader_seeds <folder> <drawing>...
#include <cstdio>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 2; i < argc; ++i) {
    KVB_OleStorage* root = KVB_2OLEopen(argv[i]);
    if (root == nullptr) continue;
    if (KVB_OleStream* stream = KVB_2OLEopenStream(root, "VisioDocument")) {
      std::string bytes;
      std::vector<char> buffer(65536);
      for (int n; (n = KVB_2OLEreadStream(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0;)
        bytes.append(buffer.data(), static_cast<size_t>(n));
      std::string name = argv[i];
      std::string out = std::string(argv[1]) + "/" + name.substr(name.find_last_of('/') + 1) + ".stream";
      if (std::FILE* f = std::fopen(out.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      }
      KVB_2OLEcloseStream(stream);
    }
    KVB_2OLEclose(root);
  }
  return 0;
}
