// probelin-scan: reads a list of paths (one a line, from a file or standard
// input) and prints one tab-separated line per path with KVB_FileDtct's
// result, format id, sub-version, name, second token, language and
// protection flag. scripts/bench-detect times it beside `file -b -f`.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "probelin/probelin.h"

int main(int argc, char** argv) {
  std::ifstream file;
  if (argc > 1) {
    file.open(argv[1]);
    if (!file) {
      std::cerr << "probelin-scan: cannot read " << argv[1] << "\n";
      return 1;
    }
  }
  std::istream& in = argc > 1 ? file : std::cin;
  std::string path, out;
  while (std::getline(in, path)) {
    DtctInput input{};
    input.path = path.c_str();
    FileDtctRecord record{};
    record.input = &input;
    int result = KVB_FileDtct(&record);
    out += path + '\t' + std::to_string(result) + '\t' + std::to_string(record.format_id) + '\t' +
           std::to_string(record.sub) + '\t' + record.name + '\t' + record.second_text + '\t' + record.language +
           '\t' + std::to_string(record.protection) + '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
