// The pop-up menus (see popup_menus.h).
#include "ui/popup_menus.h"

#include <cstring>

namespace shapeglean {

using namespace palisk;

MivoMenuWnd::~MivoMenuWnd() { pm_.RemoveNotifier(this); }

void MivoMenuWnd::Init(CControlUI* owner, POINT point) {
  if (owner == nullptr || owner->GetManager() == nullptr || owner->GetManager()->GetPaintWindow() == nullptr) {
    delete this;
    return;
  }
  owner_ = owner;
  owner_manager_ = owner->GetManager();
  point_ = point;
  if (window_owner_ != nullptr) window_owner_->Adopt(this);
  Create(owner_manager_->GetPaintWindow(), "", WS_POPUP, WS_EX_TOOLWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
         CW_USEDEFAULT, CW_USEDEFAULT);
  ShowWindow(true);
  // The main window keeps its active look while its menu is open.
  if (HWND root = GetAncestorRoot(owner_manager_->GetPaintWindow()); root != nullptr && root->Owner() != nullptr)
    root->Owner()->SendMessage(WM_NCACTIVATE, 1, 0);
}

POINT MivoMenuWnd::Placement(POINT point, SIZE size, const RECT& work_area) {
  POINT at = point;
  if (at.y + size.cy > work_area.bottom)
    at.y = size.cy < work_area.Height() ? work_area.bottom - size.cy : work_area.top;
  if (at.x + size.cx > work_area.right)
    at.x = size.cx < work_area.Width() ? work_area.right - size.cx : work_area.left;
  return at;
}

void MivoMenuWnd::Place() {
  HWND hwnd = GetHWND();
  if (hwnd == nullptr) return;
  const RECT area = Services().WorkArea(GetAncestorRoot(owner_manager_->GetPaintWindow()));
  const POINT at = Placement(point_, SIZE{hwnd->width(), hwnd->height()}, area);
  hwnd->move(at.x, at.y);
}

LRESULT MivoMenuWnd::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE: {
      pm_.Init(GetHWND());
      CDialogBuilder builder;
      CControlUI* root = builder.Create(Layout(), "", nullptr, &pm_);
      if (root == nullptr) qWarning("cannot build %s: %s", Layout(), qPrintable(builder.GetLastErrorText()));
      pm_.AttachDialog(root);
      pm_.AddNotifier(this);
      pm_.SetRoundCorner(3, 3);
      Place();
      return 0;
    }
    case WM_SIZE: {
      const SIZE corner = pm_.GetRoundCorner();
      if (wparam != SIZE_MINIMIZED && (corner.cx != 0 || corner.cy != 0))
        Services().SetRoundRegion(GetHWND(), LowWord(lparam) + 1, HighWord(lparam) + 1, corner.cx, corner.cy);
      break;
    }
    case WM_KILLFOCUS:
      if (reinterpret_cast<HWND>(wparam) != GetHWND()) PostMessage(WM_CLOSE);
      return 0;
    case WM_KEYDOWN:
      if (wparam == static_cast<WPARAM>(VK_ESCAPE)) {
        Close();
        return 0;
      }
      break;
    case WM_MOUSEWHEEL:
      return 0;
    default:
      break;
  }
  LRESULT result = 0;
  if (pm_.MessageHandler(msg, wparam, lparam, result)) return result;
  return CWindowWnd::HandleMessage(msg, wparam, lparam);
}

void MivoMenuWnd::OnFinalMessage(HWND) {
  if (window_owner_ != nullptr) window_owner_->Release(this);
  delete this;
}

void MivoMenuWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == "itemselect") {
    Close();
    return;
  }
  if (msg.sType != "itemclick" || msg.pSender == nullptr) return;
  const CStdString name = msg.pSender->GetName();
  for (const char* item : Items()) {
    if (name != item) continue;
    // The menu closes first; the owner hears of the item from its event
    // loop, when the menu has gone.
    Close();
    if (owner_manager_ != nullptr) owner_manager_->SendNotify(owner_, name, 0, 0, true);
    return;
  }
}

const std::vector<const char*>& CMivoListMenuWnd::Items() const {
  static const std::vector<const char*> kItems = {"menu_Up",       "menu_Down",       "menu_Decrypt",
                                                  "menu_FileInfo", "menu_DeleteThis", "menu_DeleteAll"};
  return kItems;
}

const std::vector<const char*>& CMivoSysMenuWnd::Items() const {
  static const std::vector<const char*> kItems = {"menu_Help", "menu_About", "menu_Language"};
  return kItems;
}

}  // namespace shapeglean
