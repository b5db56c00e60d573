// The orders of the file list (see file_item.h).
#include <algorithm>

#include "ui/file_item.h"

namespace shapeglean {
namespace {

int NoCase(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive); }
int Exact(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive); }

// <0, 0, >0 as `a` sorts before, with or after `b` by name then folder.
int ByName(const FileItem& a, const FileItem& b) {
  if (int c = NoCase(a.name, b.name)) return c;
  return NoCase(a.folder, b.folder);
}

}  // namespace

bool FileItemLess(const FileItem& a, const FileItem& b, SortColumn column, bool descending) {
  const int sign = descending ? -1 : 1;
  switch (column) {
    case SortColumn::kName:
      if (int c = NoCase(a.name, b.name)) return sign * c < 0;
      return NoCase(a.folder, b.folder) < 0;
    case SortColumn::kFolder:
      if (int c = NoCase(a.folder, b.folder)) return sign * c < 0;
      return NoCase(a.name, b.name) < 0;
    case SortColumn::kEncryption:
      if (int c = Exact(a.encryption, b.encryption)) return sign * c < 0;
      return ByName(a, b) < 0;
    case SortColumn::kStatus:
      if (int c = Exact(a.status, b.status)) return sign * c < 0;
      return ByName(a, b) < 0;
  }
  return false;
}

void SortFileItems(std::vector<FileItem>& items, SortColumn column, bool descending) {
  if (items.size() < 2) return;
  std::stable_sort(items.begin(), items.end(), [&](const FileItem& a, const FileItem& b) {
    return FileItemLess(a, b, column, descending);
  });
}

}  // namespace shapeglean
