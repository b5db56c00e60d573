// Tells the Office document kind of each package a list file names (one
// path a line) through ZelZipFile::detectOOXDocument's path form, printing
// "path: kind" like `file -b -f` prints one line per file. A whole-process
// program, so that it is timed on the same footing as file.
#include <fstream>
#include <iostream>
#include <string>

#include "quarnel/zip_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ooxml_detect <list file>\n";
    return 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::cerr << "ooxml_detect: cannot read " << argv[1] << "\n";
    return 1;
  }
  for (std::string path; std::getline(list, path);) {
    if (path.empty()) continue;
    std::cout << path << ": " << ObraCommon::ZelZipFile::detectOOXDocument(path.c_str()) << "\n";
  }
  return 0;
}
