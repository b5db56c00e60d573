// The paint manager of one window: it holds the window's control tree,
// finds controls by name and by point, keeps the window's caption
// rectangle and corner size from the layout, and delivers notifications to
// the window's notifiers. Its static part holds the program's instance
// folder, the resource folder and the skin archive that layouts are read
// from, and runs the message loop.
//
// The dialog builder reads a layout (from the skin archive when one is set,
// else from the resource folder) and builds its control tree; classes it
// does not know are offered to the builder's callback.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QByteArray>

#include "palisk/controls.h"
#include "palisk/string.h"
#include "palisk/types.h"

namespace palisk {

struct TNotifyUI {
  CStdString sType;
  CControlUI* pSender = nullptr;
  uint32_t dwTimestamp = 0;
  POINT ptMouse;  // client coordinates of the paint window
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const CStdString& class_name) = 0;
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  static void SetInstance(void* instance);
  static void* GetInstance();
  // The folder of the program file, ending in '/'.
  static CStdString GetInstancePath();
  static void SetResourcePath(const CStdString& path);
  static CStdString GetResourcePath();
  // Layouts are read from this archive inside the resource folder; an empty
  // name reads them from the resource folder itself.
  static void SetResourceZip(const CStdString& zip, bool cached = false);
  static CStdString GetResourceZip();
  // Skins of this program hold no images: repaints every window.
  static void ReloadAllImages();
  // Runs until PostQuitMessage.
  static int MessageLoop();
  // The bytes of resource `name`, or nothing.
  static std::optional<QByteArray> LoadResource(const CStdString& name);

  void Init(HWND paint_window);
  HWND GetPaintWindow() const { return paint_window_; }
  // Makes `root` the window's control tree (deleting the previous one).
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return root_; }
  // Deletes the control tree.
  void ReapObjects();

  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  // The manager's share of a window's messages; true when it handled one.
  bool MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

  void SetRoundCorner(int cx, int cy) { round_corner_ = {cx, cy}; }
  SIZE GetRoundCorner() const { return round_corner_; }
  void SetCaptionRect(const RECT& rect) { caption_ = rect; }
  const RECT& GetCaptionRect() const { return caption_; }
  void SetInitSize(int cx, int cy) { init_size_ = {cx, cy}; }
  SIZE GetInitSize() const { return init_size_; }
  void SetWindowStyleSheet(const QString& style) { style_sheet_ = style; }

  CControlUI* FindControl(const CStdString& name) const;
  // The innermost control at `point` (client coordinates), or null.
  CControlUI* FindControl(POINT point) const;
  bool Contains(const CControlUI* control) const;

  // Delivers `msg` to every notifier, now or from the event loop.
  void SendNotify(TNotifyUI& msg, bool async = false);
  void SendNotify(CControlUI* control, const CStdString& type, WPARAM wparam = 0, LPARAM lparam = 0,
                  bool async = false);

 private:
  HWND paint_window_ = nullptr;
  CControlUI* root_ = nullptr;
  std::vector<INotifyUI*> notifiers_;
  SIZE round_corner_;
  RECT caption_;
  SIZE init_size_;
  QString style_sheet_;
  std::shared_ptr<int> alive_;
};

class CDialogBuilder {
 public:
  // Builds layout `xml` for `manager`; null when it cannot be read or
  // parsed (GetLastErrorText says why).
  CControlUI* Create(const CStdString& xml, const CStdString& type = CStdString(),
                     IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  const CStdString& GetLastErrorText() const { return error_; }

 private:
  CStdString error_;
};

}  // namespace palisk
