// The main window's two pop-up menus: the list menu (a right click on the
// file list) and the system menu (the "menubtn" button). A menu does no
// work itself: the chosen item's name goes back to the control that opened
// it as a notification of that name, delivered by the main window's event
// loop after the menu has closed.
//
// A menu opens with its top-left corner at the click point, moved up or
// left as far as needed to stay inside the work area of the screen that
// holds the main window. It closes on a click outside it, on Escape, when
// another window takes the focus, and when an item is chosen; the mouse
// wheel does nothing over it.
#pragma once

#include <vector>

#include "palisk/palisk.h"
#include "ui/quandel_mivo_wnd.h"

namespace shapeglean {

class MivoMenuWnd : public palisk::CWindowWnd, public palisk::INotifyUI {
 public:
  explicit MivoMenuWnd(WindowOwner* window_owner) : window_owner_(window_owner) {}
  ~MivoMenuWnd() override;

  // The show operation: opens the menu for `owner` at `point` (screen
  // coordinates). Without an owner nothing opens and the menu deletes
  // itself.
  void Init(palisk::CControlUI* owner, palisk::POINT point);
  void Notify(palisk::TNotifyUI& msg) override;
  palisk::CPaintManagerUI& Manager() { return pm_; }

  // Where a menu of `size` opened at `point` stands inside `work_area`.
  static palisk::POINT Placement(palisk::POINT point, palisk::SIZE size, const palisk::RECT& work_area);

 protected:
  palisk::UINT GetClassStyle() const override { return 0; }
  palisk::LRESULT HandleMessage(palisk::UINT msg, palisk::WPARAM wparam, palisk::LPARAM lparam) override;
  void OnFinalMessage(palisk::HWND hwnd) override;
  virtual const char* Layout() const = 0;
  virtual const std::vector<const char*>& Items() const = 0;

 private:
  void Place();

  WindowOwner* window_owner_;
  palisk::CControlUI* owner_ = nullptr;
  palisk::CPaintManagerUI* owner_manager_ = nullptr;
  palisk::POINT point_;
  palisk::CPaintManagerUI pm_;
};

class CMivoListMenuWnd : public MivoMenuWnd {
 public:
  using MivoMenuWnd::MivoMenuWnd;

 protected:
  const char* GetWindowClassName() const override { return "ListMenuWnd"; }
  const char* Layout() const override { return "list_menu1.xml"; }
  const std::vector<const char*>& Items() const override;
};

class CMivoSysMenuWnd : public MivoMenuWnd {
 public:
  using MivoMenuWnd::MivoMenuWnd;

 protected:
  const char* GetWindowClassName() const override { return "SysMenuWnd"; }
  const char* Layout() const override { return "sys_menu.xml"; }
  const std::vector<const char*>& Items() const override;
};

}  // namespace shapeglean
