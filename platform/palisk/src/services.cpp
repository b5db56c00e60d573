// The Qt implementation of the user-interface services, the switch to a
// fake, and message boxes asked from worker threads (see services.h).
#include "palisk/services.h"

#include <future>
#include <map>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "palisk/window.h"

namespace palisk {
namespace {

class QtServices : public UserInterfaceServices {
 public:
  int MessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags) override {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
      case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
      case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
      case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
      case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
      default: break;
    }
    switch (flags & 0x0F) {
      case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
      case QMessageBox::Cancel: return IDCANCEL;
      case QMessageBox::Yes: return IDYES;
      case QMessageBox::No: return IDNO;
      default: return IDOK;
    }
  }

  QString GetOpenFileName(HWND owner, const QString& title, const std::vector<FileFilter>& filters,
                          int filter_index) override {
    QStringList list;
    for (const FileFilter& f : filters) list << QString("%1 (%2)").arg(f.title, f.pattern == "*.*" ? "*" : f.pattern);
    QString selected = filter_index >= 1 && filter_index <= list.size() ? list[filter_index - 1] : QString();
    return QFileDialog::getOpenFileName(owner, title, QString(), list.join(";;"), &selected);
  }

  QString BrowseForFolder(HWND owner, const QString& title) override {
    return QFileDialog::getExistingDirectory(owner, title);
  }

  bool OpenDocument(const QString& path) override { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

  void SetRoundRegion(HWND hwnd, int width, int height, int cx, int cy) override {
    if (hwnd == nullptr) return;
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width, height), cx / 2.0, cy / 2.0);
    hwnd->setMask(QRegion(path.toFillPolygon().toPolygon()));
  }

  RECT WorkArea(HWND near) override {
    QScreen* screen = near ? near->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0, 1024, 768};
    QRect r = screen->availableGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }

  QString DesktopFolder() override { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); }
  QString DocumentsFolder() override {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  }
};

std::mutex services_guard;
UserInterfaceServices* installed = nullptr;

std::map<unsigned, QIcon>& Icons() {
  static std::map<unsigned, QIcon> icons;
  return icons;
}

}  // namespace

UserInterfaceServices& Services() {
  static QtServices qt;
  std::lock_guard<std::mutex> lock(services_guard);
  return installed ? *installed : qt;
}

void SetServices(UserInterfaceServices* services) {
  std::lock_guard<std::mutex> lock(services_guard);
  installed = services;
}

int MessageBoxW(HWND owner, const QString& text, const QString& caption, uint32_t flags) {
  if (IsUserInterfaceThread()) return Services().MessageBox(owner, text, caption, flags);
  // The answer comes back through a promise, so the hand-over between the
  // two threads is plain to see for the reader and for race checkers.
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> result = answer->get_future();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [answer, owner, text, caption, flags] { answer->set_value(Services().MessageBox(owner, text, caption, flags)); },
      Qt::QueuedConnection);
  return result.get();
}

void RegisterIcon(unsigned resource, const QIcon& icon) { Icons()[resource] = icon; }

QIcon LoadIconResource(unsigned resource) {
  auto it = Icons().find(resource);
  return it == Icons().end() ? QIcon() : it->second;
}

}  // namespace palisk
