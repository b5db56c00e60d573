// One row of the file list, and the orders the list can be sorted in.
#pragma once

#include <vector>

#include "palisk/string.h"

namespace shapeglean {

struct FileItem {
  palisk::CStdString name;        // with extension, without folder
  palisk::CStdString folder;      // as the user gave it, ending in '/'
  palisk::CStdString encryption;  // "Unencrypted" for every file added
  palisk::CStdString password;    // empty for every file added
  palisk::CStdString status;      // "Waiting conversion" when added
};

enum class SortColumn { kName = 0, kFolder = 1, kEncryption = 2, kStatus = 3 };

// The order of a column: names and folders compare ignoring case, states
// exactly; ties fall to the next key (name: folder; folder: name; states:
// name, then folder). A strict weak ordering, as sorting requires.
bool FileItemLess(const FileItem& a, const FileItem& b, SortColumn column, bool descending);

// Sorts stably, so rows equal in every key keep their order.
void SortFileItems(std::vector<FileItem>& items, SortColumn column, bool descending);

}  // namespace shapeglean
