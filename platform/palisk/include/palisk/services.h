// The user-interface services of the window system that windows call
// besides the DirectUI library: message boxes, the open-file dialog, the
// folder browser, opening a document, rounded window regions, the work area
// of the nearest screen, the desktop and documents folders, and the icons
// of the program's resources. Each is reached through one interface: the
// Qt implementation serves by default, tests install a scripted fake.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QIcon>
#include <QString>

#include "palisk/types.h"

class QFileDialog;
class QMessageBox;

namespace palisk {

struct FileFilter {
  QString title;    // "Visio Files"
  QString pattern;  // "*.vsd"
};

class UserInterfaceServices {
 public:
  virtual ~UserInterfaceServices() = default;
  // Shows a message box and answers IDOK, IDCANCEL, IDYES or IDNO.
  virtual int MessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags) = 0;
  // The chosen file's path, or empty when cancelled.
  virtual QString GetOpenFileName(HWND owner, const QString& title, const std::vector<FileFilter>& filters,
                                  int filter_index) = 0;
  // The chosen folder's path, or empty when cancelled.
  virtual QString BrowseForFolder(HWND owner, const QString& title) = 0;
  // Opens a document with the program the desktop associates with it.
  virtual bool OpenDocument(const QString& path) = 0;
  virtual void SetRoundRegion(HWND hwnd, int width, int height, int corner_cx, int corner_cy) = 0;
  virtual RECT WorkArea(HWND near) = 0;
  // Folders, without a final '/'. They may not exist yet: whoever writes
  // there first makes them.
  virtual QString DesktopFolder() = 0;
  virtual QString DocumentsFolder() = 0;
};

// The services in use (the Qt ones unless a fake is installed).
UserInterfaceServices& Services();
// Installs `services` (not owned); null restores the Qt ones.
void SetServices(UserInterfaceServices* services);

// Message box from any thread: a worker's request is carried out on the
// user-interface thread, the worker waiting for the answer.
int MessageBoxW(HWND owner, const QString& text, const QString& caption, uint32_t flags);

// The language of the window system's own dialogs and buttons (the
// open-file dialog, the folder browser, the buttons of message boxes), as
// a Windows language id (1033, 1041, 2052, ...); every window then draws
// in a face made for that language's script (Japanese forms of the Han
// characters for Japanese, Chinese ones for Chinese), and Qt's default
// locale (dates, file types) is that language's. User-interface thread
// only. False when that language's translation is not installed or the id
// is unknown: they then speak English.
bool SetDialogLanguage(uint16_t language_id);

// The dialogs that the Qt services show, built but not yet shown, so that
// tests can look at them. The message box is at least as wide as its
// caption with the title bar's icon and buttons. The file dialogs open in
// the folder the last one of their kind was left in during this run, else
// in the documents folder (open-file dialog) or on the desktop (folder
// browser), else in the home folder; they widen their columns and side bar
// to what they show.
std::unique_ptr<QMessageBox> MakeMessageBox(HWND owner, const QString& text, const QString& caption, uint32_t flags);
std::unique_ptr<QFileDialog> MakeOpenFileDialog(HWND owner, const QString& title,
                                                const std::vector<FileFilter>& filters, int filter_index);
std::unique_ptr<QFileDialog> MakeFolderBrowser(HWND owner, const QString& title);

// Icons of the program's resources, registered by the program.
void RegisterIcon(unsigned resource, const QIcon& icon);
QIcon LoadIconResource(unsigned resource);

}  // namespace palisk
