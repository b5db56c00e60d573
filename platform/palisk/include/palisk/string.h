// CStdString: the DirectUI library's string, here a Qt string (UTF-16) with
// the library's accessors. Comparisons ignoring case follow Qt's
// case-insensitive comparison.
#pragma once

#include <string>

#include <QString>

namespace palisk {

class CStdString : public QString {
 public:
  CStdString() = default;
  CStdString(const QString& text) : QString(text) {}
  CStdString(QString&& text) : QString(std::move(text)) {}
  CStdString(const char16_t* text) : QString(QString::fromUtf16(text)) {}
  CStdString(const char* utf8) : QString(QString::fromUtf8(utf8)) {}

  bool IsEmpty() const { return isEmpty(); }
  int GetLength() const { return static_cast<int>(size()); }
  void Empty() { clear(); }
  const char16_t* GetData() const { return reinterpret_cast<const char16_t*>(utf16()); }
  std::string ToUtf8() const { return toStdString(); }
  // Code-unit order, as the string's own ordering.
  int Compare(const QString& other) const { return QString::compare(*this, other, Qt::CaseSensitive); }
  int CompareNoCase(const QString& other) const { return QString::compare(*this, other, Qt::CaseInsensitive); }
};

}  // namespace palisk
