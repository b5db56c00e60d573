// A scripted fake of the user-interface services for tests: it answers
// dialogs and message boxes from queues that the test fills, records what
// was asked, and lets tests pick the folders and the work area.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "palisk/services.h"

namespace palisk {

class ScriptedServices : public UserInterfaceServices {
 public:
  struct Box {
    QString text, caption;
    uint32_t flags;
  };

  // Answers, taken in order; an empty queue answers IDOK / cancels.
  std::deque<int> box_answers;
  // Called for every message box before it is answered, on the thread that
  // shows it (the user-interface thread), outside the fake's lock.
  std::function<void(const Box&)> on_box;
  std::deque<QString> open_file_answers;
  std::deque<QString> folder_answers;
  bool documents_open = true;  // what OpenDocument answers
  QString desktop = "/nonexistent/Desktop";
  QString documents = "/nonexistent/Documents";
  RECT work_area{0, 0, 1920, 1080};

  std::vector<Box> Boxes() const;
  std::vector<QString> Opened() const;
  void ClearRecords();

  int MessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags) override;
  QString GetOpenFileName(HWND owner, const QString& title, const std::vector<FileFilter>& filters,
                          int filter_index) override;
  QString BrowseForFolder(HWND owner, const QString& title) override;
  bool OpenDocument(const QString& path) override;
  void SetRoundRegion(HWND, int, int, int, int) override {}
  RECT WorkArea(HWND) override { return work_area; }
  QString DesktopFolder() override { return desktop; }
  QString DocumentsFolder() override { return documents; }

  // What the open-file dialog was last asked for.
  std::vector<FileFilter> last_filters;
  QString last_browse_title;

 private:
  mutable std::mutex guard_;
  std::vector<Box> boxes_;
  std::vector<QString> opened_;
};

}  // namespace palisk
