// The Qt implementation of the user-interface services, the switch to a
// fake, and message boxes asked from worker threads (see services.h).
#include "palisk/services.h"

#include <algorithm>
#include <future>
#include <map>
#include <memory>
#include <mutex>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGridLayout>
#include <QListView>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainterPath>
#include <QProcess>
#include <QRegion>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>
#include <QTreeView>

#include "palisk/window.h"
#include "win32/locale_id.h"

namespace palisk {
namespace {

// A user folder as the XDG user directories name it (user-dirs.dirs, which
// a localised desktop fills with names such as ~/デスクトップ); the home
// folder when none is named. Nothing is made here.
QString UserFolder(QStandardPaths::StandardLocation location) {
  const QString path = QStandardPaths::writableLocation(location);
  if (!path.isEmpty() && QDir::isAbsolutePath(path)) return QDir::cleanPath(path);
  return QDir::homePath();
}

// What `program` prints, trimmed; empty when it cannot run, fails or
// takes more than a few seconds.
QString Answer(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(1000);
    return QString();
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return QString();
  return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// Where the file dialogs of this run were last left, by kind.
QString last_file_folder;
QString last_browsed_folder;

// `wanted` when it is a folder now, else `fallback` when that is one, else
// the home folder.
QString StartFolder(const QString& wanted, const QString& fallback) {
  for (const QString& folder : {wanted, fallback})
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  return QDir::homePath();
}

// The type column's words for folders and files come from Qt's icon
// provider, whose newer context some translations lack: the older
// contexts of the same words stand in.
class TranslatedIconProvider : public QFileIconProvider {
 public:
  QString type(const QFileInfo& info) const override {
    if (info.isDir() && !info.isRoot()) return Translated("Folder");
    return QFileIconProvider::type(info);
  }

 private:
  static QString Translated(const char* text) {
    for (const char* context : {"QAbstractFileIconProvider", "QFileIconProvider", "QFileSystemModel", "QFileDialog"}) {
      const QString translated = QCoreApplication::translate(context, text);
      if (translated != QLatin1String(text)) return translated;
    }
    return QString::fromLatin1(text);
  }
};

// Widens the dialog's columns to their longest text once its folder has
// been read, and its side bar to its longest entry.
void FitFileDialog(QFileDialog* dialog) {
  static TranslatedIconProvider icons;  // a dialog does not own its provider
  dialog->setIconProvider(&icons);
  auto fit = [dialog] {
    if (auto* tree = dialog->findChild<QTreeView*>("treeView")) {
      const int columns = tree->model() ? tree->model()->columnCount(tree->rootIndex()) : 0;
      for (int column = 0; column < columns; ++column) {
        if (tree->isColumnHidden(column)) continue;
        tree->resizeColumnToContents(column);
      }
    }
    if (auto* side = dialog->findChild<QListView*>("sidebar")) {
      const int want = side->sizeHintForColumn(0) + 2 * side->frameWidth() +
                       side->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
      side->setMinimumWidth(std::max(side->minimumWidth(), want));
    }
  };
  QObject::connect(dialog, &QFileDialog::directoryEntered, dialog, [fit] { fit(); });
  if (auto* model = dialog->findChild<QFileSystemModel*>())
    QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog, [fit] { fit(); });
  fit();
  dialog->resize(std::max(dialog->width(), 760), std::max(dialog->height(), 460));
}

class QtServices : public UserInterfaceServices {
 public:
  int MessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags) override {
    std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, text, caption, flags);
    switch (box->exec()) {
      case QMessageBox::Cancel: return IDCANCEL;
      case QMessageBox::Yes: return IDYES;
      case QMessageBox::No: return IDNO;
      default: return IDOK;
    }
  }

  QString GetOpenFileName(HWND owner, const QString& title, const std::vector<FileFilter>& filters,
                          int filter_index) override {
    std::unique_ptr<QFileDialog> dialog = MakeOpenFileDialog(owner, title, filters, filter_index);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
      last_file_folder = dialog->directory().absolutePath();
      return QString();
    }
    const QString chosen = dialog->selectedFiles().first();
    last_file_folder = QFileInfo(chosen).absolutePath();
    return chosen;
  }

  QString BrowseForFolder(HWND owner, const QString& title) override {
    std::unique_ptr<QFileDialog> dialog = MakeFolderBrowser(owner, title);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
      last_browsed_folder = dialog->directory().absolutePath();
      return QString();
    }
    last_browsed_folder = dialog->selectedFiles().first();
    return last_browsed_folder;
  }

  // As the shell's "open" verb, this fails when no program is associated
  // with the document's type; the desktop's opener runs on its own, so a
  // program that takes the document outlives this one.
  bool OpenDocument(const QString& path) override {
    if (!QFileInfo(path).isFile()) return false;
    const QString type = Answer("xdg-mime", {"query", "filetype", path});
    if (type.isEmpty() || Answer("xdg-mime", {"query", "default", type}).isEmpty()) return false;
    return QProcess::startDetached("xdg-open", {path});
  }

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

  QString DesktopFolder() override { return UserFolder(QStandardPaths::DesktopLocation); }
  QString DocumentsFolder() override { return UserFolder(QStandardPaths::DocumentsLocation); }
};

std::mutex services_guard;
UserInterfaceServices* installed = nullptr;

// Qt's translation of its own dialogs and buttons now installed, if any.
QTranslator* dialog_translator = nullptr;

// Room in a title bar beside the caption: the window's icon, the buttons
// and the margins between them.
constexpr int kTitleBarRoom = 120;

// The faces that answer for a script carry the region they were drawn for
// in their name ("... CJK JP", "... CJK SC"); the Han characters of one
// face take one region's forms. The family for `locale`: one marked for
// its region, else the first one Qt knows that writes its script; empty
// for scripts that need no choice.
QString FaceFor(const QLocale& locale) {
  QFontDatabase::WritingSystem system = QFontDatabase::Any;
  QStringList marks;
  if (locale.language() == QLocale::Japanese) {
    system = QFontDatabase::Japanese;
    marks = {"JP", "Japanese"};
  } else if (locale.language() == QLocale::Chinese && locale.script() != QLocale::TraditionalChineseScript) {
    system = QFontDatabase::SimplifiedChinese;
    marks = {"SC", "CN"};
  } else {
    return QString();
  }
  const QStringList families = QFontDatabase::families(system);
  for (const QString& family : families) {
    if (family.contains("Mono") || family.contains("Serif")) continue;
    const QStringList words = family.split(' ');
    for (const QString& mark : marks)
      if (words.contains(mark)) return family;
  }
  return families.isEmpty() ? QString() : families.first();
}

// Sets the face of every window for `locale`'s script, before the face
// the platform gave.
void UseFaceFor(const QLocale& locale) {
  static const QFont platform_font = QApplication::font();
  QFont font = platform_font;
  const QString face = FaceFor(locale);
  if (!face.isEmpty()) font.setFamilies(QStringList{face} + platform_font.families());
  QApplication::setFont(font);
}

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

std::unique_ptr<QMessageBox> MakeMessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setWindowTitle(caption);
  box->setText(text);
  switch (flags & 0xF0) {
    case MB_ICONERROR: box->setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box->setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box->setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0x0F) {
    case MB_OKCANCEL: box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNO: box->setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box->setStandardButtons(QMessageBox::Ok); break;
  }
  // Qt sizes a message box for its text alone; a window manager then cuts
  // a longer caption. A strut as wide as the caption, in the bold face
  // that title bars use, with room for the title bar's icon and buttons.
  QFont title_font = box->font();
  title_font.setBold(true);
  const int caption_width = QFontMetrics(title_font).horizontalAdvance(caption) + kTitleBarRoom;
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    const QMargins margins = grid->contentsMargins();
    grid->addItem(new QSpacerItem(caption_width - margins.left() - margins.right(), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

std::unique_ptr<QFileDialog> MakeOpenFileDialog(HWND owner, const QString& title,
                                                const std::vector<FileFilter>& filters, int filter_index) {
  QStringList list;
  for (const FileFilter& f : filters) list << QString("%1 (%2)").arg(f.title, f.pattern == "*.*" ? "*" : f.pattern);
  auto dialog = std::make_unique<QFileDialog>(owner, title,
                                              StartFolder(last_file_folder, Services().DocumentsFolder()));
  // Qt's own dialog rather than a desktop's: the same everywhere, and in
  // the language that SetDialogLanguage chose.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilters(list);
  if (filter_index >= 1 && filter_index <= list.size()) dialog->selectNameFilter(list[filter_index - 1]);
  FitFileDialog(dialog.get());
  return dialog;
}

std::unique_ptr<QFileDialog> MakeFolderBrowser(HWND owner, const QString& title) {
  auto dialog = std::make_unique<QFileDialog>(owner, title,
                                              StartFolder(last_browsed_folder, Services().DesktopFolder()));
  dialog->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
  dialog->setFileMode(QFileDialog::Directory);
  FitFileDialog(dialog.get());
  return dialog;
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
  UseFaceFor(locale);
  // The file dialogs' dates and file types follow the default locale.
  QLocale::setDefault(locale);
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
