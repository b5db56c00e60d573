// Writes seeds of the fuzzers taken from compound files: for each file named
// on the command line, the named streams (joined in the order given; a file
// without the first is skipped) go to <folder>/<file name>.stream:
//   stream_seeds <folder> <stream>[,<stream>...] <file>...
// e.g. "VisioDocument" for the Visio reader, or the two property-set
// streams for the SummaryInfo harness.
#include <cstdio>
#include <string>
#include <vector>

#include "dalvex/compound_file.h"

namespace {

bool ReadStream(KVB_OleStorage* root, const std::string& name, std::string* bytes) {
  KVB_OleStream* stream = KVB_2OLEopenStream(root, name.c_str());
  if (stream == nullptr) return false;
  std::vector<char> buffer(65536);
  for (int n; (n = KVB_2OLEreadStream(stream, buffer.data(), static_cast<int>(buffer.size()))) > 0;)
    bytes->append(buffer.data(), static_cast<size_t>(n));
  KVB_2OLEcloseStream(stream);
  return true;
}

// "\005Name" may be written as "\\005Name" on a command line.
std::string Unescape(const std::string& name) {
  if (name.rfind("\\005", 0) == 0) return "\005" + name.substr(4);
  return name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <folder> <stream>[,<stream>...] <file>...\n", argv[0]);
    return 2;
  }
  std::vector<std::string> streams;
  std::string list = argv[2];
  for (size_t start = 0, comma; start <= list.size(); start = comma + 1) {
    comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    streams.push_back(Unescape(list.substr(start, comma - start)));
  }
  for (int i = 3; i < argc; ++i) {
    KVB_OleStorage* root = KVB_2OLEopen(argv[i]);
    if (root == nullptr) continue;
    std::string bytes;
    bool found = ReadStream(root, streams[0], &bytes);
    for (size_t s = 1; found && s < streams.size(); ++s) ReadStream(root, streams[s], &bytes);
    KVB_2OLEclose(root);
    if (!found) continue;
    std::string name = argv[i];
    std::string out = std::string(argv[1]) + "/" + name.substr(name.find_last_of('/') + 1) + ".stream";
    if (std::FILE* f = std::fopen(out.c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  return 0;
}
