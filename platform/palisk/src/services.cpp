// The Qt implementation of the user-interface services, the switch to a
// fake, and message boxes asked from worker threads (see services.h).
#include "palisk/services.h"

#include <cerrno>
#include <future>
#include <map>
#include <memory>
#include <mutex>

#include <sys/stat.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>

#include "palisk/window.h"
#include "win32/locale_id.h"

namespace palisk {
namespace {

// Creates the absolute folder `path` and every missing parent, each with
// mode 0755 (less the umask); true when it is a folder afterwards.
bool MakeFolders(const QString& path) {
  const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
  for (qsizetype end = 1; end <= native.size(); ++end) {
    if (end < native.size() && native[end] != '/') continue;
    if (::mkdir(native.left(end).constData(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A user folder as the XDG user directories name it (user-dirs.dirs, which
// a localised desktop fills with names such as ~/デスクトップ). The Windows
// shell guarantees that the desktop and documents folders exist, and the
// program writes there on its first run; on Linux they are often missing,
// so a missing one is made, and the home folder stands in when it cannot be.
QString ExistingUserFolder(QStandardPaths::StandardLocation location) {
  const QString path = QStandardPaths::writableLocation(location);
  if (!path.isEmpty() && QDir::isAbsolutePath(path) && MakeFolders(path)) return QDir::cleanPath(path);
  return QDir::homePath();
}

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
    return QFileDialog::getOpenFileName(owner, title, QString(), list.join(";;"), &selected,
                                        QFileDialog::DontUseNativeDialog);
  }

  // Qt's own dialogs rather than a desktop's: the same everywhere, and in
  // the language that SetDialogLanguage chose.
  QString BrowseForFolder(HWND owner, const QString& title) override {
    return QFileDialog::getExistingDirectory(owner, title, QString(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
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

  QString DesktopFolder() override { return ExistingUserFolder(QStandardPaths::DesktopLocation); }
  QString DocumentsFolder() override { return ExistingUserFolder(QStandardPaths::DocumentsLocation); }
};

std::mutex services_guard;
UserInterfaceServices* installed = nullptr;

// Qt's translation of its own dialogs and buttons now installed, if any.
QTranslator* dialog_translator = nullptr;

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

bool SetDialogLanguage(uint16_t language_id) {
  if (dialog_translator != nullptr) {
    QCoreApplication::removeTranslator(dialog_translator);
    delete dialog_translator;
    dialog_translator = nullptr;
  }
  const std::string name = win32::LocaleNameOfId(language_id);
  if (name.empty()) return false;
  const QLocale locale(QString::fromStdString(name));
  // Qt's texts are English: English needs no translation.
  if (locale.language() == QLocale::English) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
  QCoreApplication::installTranslator(translator.get());
  dialog_translator = translator.release();
  return true;
}

void RegisterIcon(unsigned resource, const QIcon& icon) { Icons()[resource] = icon; }

QIcon LoadIconResource(unsigned resource) {
  auto it = Icons().find(resource);
  return it == Icons().end() ? QIcon() : it->second;
}

}  // namespace palisk
