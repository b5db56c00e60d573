// CWindowWnd: a window of the DirectUI library, hosted by a frameless Qt
// top-level widget. The host turns Qt events into the window's messages
// (WM_CREATE, WM_CLOSE, WM_SIZE, WM_NCHITTEST on a mouse press, WM_KEYDOWN,
// WM_MOUSEWHEEL, WM_NCACTIVATE and WM_KILLFOCUS on activation changes,
// WM_DROPFILES, WM_DESTROY) and hands them to HandleMessage; a caption
// answer to WM_NCHITTEST starts a system move. A window made with WS_POPUP
// and WS_EX_TOOLWINDOW is a pop-up menu: a click outside closes it. PostMessage may be called
// from any thread; every other call belongs to the user-interface thread.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <QWidget>

#include "palisk/string.h"
#include "palisk/types.h"

namespace palisk {

class CWindowWnd {
 public:
  CWindowWnd();
  virtual ~CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return hwnd_.load(); }
  HWND Create(HWND parent, const CStdString& name, uint32_t style, uint32_t ex_style, int x, int y, int cx,
              int cy);
  // The icon resource for the window; set before creation it applies when
  // the window is created.
  void SetIcon(unsigned resource);
  void CenterWindow();
  void ShowWindow(bool show = true, bool take_focus = true);
  // Asks the window to close (posts WM_CLOSE).
  void Close(UINT result = IDOK);
  // Ends the window: WM_DESTROY, then OnFinalMessage.
  void DestroyWindow();
  LRESULT SendMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  // Queues a message; safe from any thread while the window exists.
  void PostMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  uint32_t GetStyle() const { return style_; }
  void SetStyle(uint32_t style) { style_ = style; }

 protected:
  friend class WindowHost;
  virtual const char* GetWindowClassName() const = 0;
  virtual const char* GetSuperClassName() const { return nullptr; }
  virtual UINT GetClassStyle() const { return 0; }
  // The default handling: closes on WM_CLOSE, minimises on SC_MINIMIZE,
  // answers HTCLIENT to WM_NCHITTEST, and kDefaultAction otherwise.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  virtual void OnFinalMessage(HWND hwnd);

 private:
  // Delivers the oldest posted message (the host calls it once per post).
  void DeliverPosted();

  struct Posted {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
  };
  std::mutex posted_guard_;
  std::deque<Posted> posted_;
  std::atomic<WindowHost*> hwnd_{nullptr};
  uint32_t style_ = 0;
  unsigned icon_ = 0;
};

// The Qt widget that hosts a CWindowWnd.
class WindowHost : public QWidget {
 public:
  WindowHost(CWindowWnd* owner, QWidget* parent, Qt::WindowFlags flags);
  ~WindowHost() override;
  CWindowWnd* Owner() const { return owner_; }
  void Detach() { owner_ = nullptr; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CWindowWnd* owner_;
  bool shown_once_ = false;
};

// Enables or disables the mouse and keyboard input of a window's content;
// the windows it owns (dialogs, menus) stay live.
void EnableWindow(HWND hwnd, bool enable);
bool IsWindowEnabled(HWND hwnd);
// The top-level window that owns `hwnd` through its parents (itself when
// it has none).
HWND GetAncestorRoot(HWND hwnd);

// Drag and drop of files. A drop handle holds the dropped paths (UTF-8);
// the handler of WM_DROPFILES owns it and ends it with DragFinish.
struct DropHandle {
  std::vector<std::string> paths;
};
using HDROP = DropHandle*;
void DragAcceptFiles(HWND hwnd, bool accept);
bool DragAcceptsFiles(HWND hwnd);
// Count of paths when `index` is 0xFFFFFFFF, else the path at `index`.
unsigned DragQueryFile(HDROP drop, unsigned index, std::string* path);
void DragFinish(HDROP drop);
// Drops `paths` on the window as the user would: WM_DROPFILES when the
// window accepts files; false when it refuses them.
bool DropFiles(HWND hwnd, const std::vector<std::string>& paths);

// Ends the message loop.
void PostQuitMessage(int code);
// Whether the caller runs on the user-interface thread.
bool IsUserInterfaceThread();

}  // namespace palisk
