// The scripted fake of the user-interface services (see scripted_services.h).
#include "palisk/scripted_services.h"

namespace palisk {

std::vector<ScriptedServices::Box> ScriptedServices::Boxes() const {
  std::lock_guard<std::mutex> lock(guard_);
  return boxes_;
}

std::vector<QString> ScriptedServices::Opened() const {
  std::lock_guard<std::mutex> lock(guard_);
  return opened_;
}

void ScriptedServices::ClearRecords() {
  std::lock_guard<std::mutex> lock(guard_);
  boxes_.clear();
  opened_.clear();
}

int ScriptedServices::MessageBox(HWND, const QString& text, const QString& caption, uint32_t flags) {
  if (on_box) on_box(Box{text, caption, flags});
  std::lock_guard<std::mutex> lock(guard_);
  boxes_.push_back({text, caption, flags});
  if (box_answers.empty()) return IDOK;
  int answer = box_answers.front();
  box_answers.pop_front();
  return answer;
}

QString ScriptedServices::GetOpenFileName(HWND, const QString&, const std::vector<FileFilter>& filters, int) {
  std::lock_guard<std::mutex> lock(guard_);
  last_filters = filters;
  if (open_file_answers.empty()) return {};
  QString answer = open_file_answers.front();
  open_file_answers.pop_front();
  return answer;
}

QString ScriptedServices::BrowseForFolder(HWND, const QString& title) {
  std::lock_guard<std::mutex> lock(guard_);
  last_browse_title = title;
  if (folder_answers.empty()) return {};
  QString answer = folder_answers.front();
  folder_answers.pop_front();
  return answer;
}

bool ScriptedServices::OpenDocument(const QString& path) {
  std::lock_guard<std::mutex> lock(guard_);
  opened_.push_back(path);
  return documents_open;
}

}  // namespace palisk
