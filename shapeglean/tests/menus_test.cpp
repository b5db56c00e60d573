// The pop-up menus: placement inside the work area of the main window's
// screen (whose origin need not be 0,0), closing on Escape and on a click
// outside, the wheel swallowed, and the chosen item reaching the main
// window after the menu has closed.
#include <QTest>

#include "gui_fixture.h"
#include "ui/dialogs.h"
#include "ui/popup_menus.h"

namespace shapeglean::testing {
namespace {

using namespace palisk;

TEST(MenuPlacement, StaysInsideTheWorkArea) {
  const RECT area{1920, 40, 1920 + 1280, 1024};  // a second screen under a top panel
  struct Case {
    POINT click;
    SIZE size;
    POINT want;
  } cases[] = {
      {{2000, 100}, {150, 164}, {2000, 100}},              // fits: at the click point
      {{3190, 1010}, {150, 164}, {3200 - 150, 1024 - 164}},  // near the bottom-right corner: up and left
      {{2000, 500}, {150, 2000}, {2000, 40}},                // taller than the area: its top
      {{3100, 500}, {3000, 100}, {1920, 500}},               // wider than the area: its left
  };
  for (const Case& c : cases) {
    const POINT at = MivoMenuWnd::Placement(c.click, c.size, area);
    EXPECT_EQ(at.x, c.want.x) << c.click.x << "," << c.click.y;
    EXPECT_EQ(at.y, c.want.y) << c.click.x << "," << c.click.y;
  }
}

class MenusGui : public GuiFixture {
 protected:
  CMivoListMenuWnd* OpenListMenu(POINT screen) {
    auto* menu = new CMivoListMenuWnd(window_.get());
    menu->Init(List(), screen);
    QCoreApplication::processEvents();
    return menu;
  }
};

TEST_F(MenusGui, OpensInsideAWorkAreaAwayFromTheOrigin) {
  services_.work_area = {300, 200, 1100, 800};
  Open();
  CMivoListMenuWnd* menu = OpenListMenu(POINT{1090, 790});
  ASSERT_EQ(Opened<CMivoListMenuWnd>(), menu);
  const QRect at = menu->GetHWND()->geometry();
  EXPECT_EQ(at.right() + 1, 1100);
  EXPECT_EQ(at.bottom() + 1, 800);
  EXPECT_GE(at.left(), 300);
  EXPECT_GE(at.top(), 200);
  EXPECT_TRUE(menu->GetHWND()->windowFlags().testFlag(Qt::Popup));
}

TEST_F(MenusGui, EscapeAndAClickOutsideClose) {
  Open();
  CMivoListMenuWnd* menu = OpenListMenu(POINT{200, 200});
  QTest::keyClick(menu->GetHWND(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return Opened<CMivoListMenuWnd>() == nullptr; }));

  menu = OpenListMenu(POINT{200, 200});
  // What the window system gives a pop-up for a press outside it.
  QTest::mousePress(menu->GetHWND(), Qt::LeftButton, {}, QPoint(-20, -20));
  ASSERT_TRUE(WaitFor([&] { return Opened<CMivoListMenuWnd>() == nullptr; }));

  menu = OpenListMenu(POINT{200, 200});
  EXPECT_EQ(menu->SendMessage(WM_MOUSEWHEEL, 120u << 16, 0), 0);  // swallowed
  EXPECT_EQ(Opened<CMivoListMenuWnd>(), menu);
  menu->SendMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(window_->GetHWND()), 0);
  ASSERT_TRUE(WaitFor([&] { return Opened<CMivoListMenuWnd>() == nullptr; }));
}

// Records, for each menu notification, whether a menu was still open.
class MenuWatcher : public INotifyUI {
 public:
  explicit MenuWatcher(QuandelMivoWnd* window) : window_(window) {}
  void Notify(TNotifyUI& msg) override {
    if (msg.sType.startsWith("menu_")) seen << msg.sType + (window_->OwnedWindows().empty() ? "" : " (menu open)");
  }
  QStringList seen;

 private:
  QuandelMivoWnd* window_;
};

TEST_F(MenusGui, DeleteAllEmptiesTheListAfterTheMenuHasClosed) {
  Open();
  Add(Drawing("a.vsd"));
  Add(Drawing("b.vsd"));
  MenuWatcher watcher(window_.get());
  window_->Manager().AddNotifier(&watcher);
  // A right click on the list opens its menu.
  window_->Manager().SendNotify(List(), "menu");
  auto* menu = Opened<CMivoListMenuWnd>();
  ASSERT_NE(menu, nullptr);
  dynamic_cast<CButtonUI*>(menu->Manager().FindControl("menu_DeleteAll"))->Activate();
  EXPECT_EQ(window_->Files().size(), 2u);  // not yet: the owner hears of it from its loop
  ASSERT_TRUE(WaitFor([&] { return window_->Files().empty(); }));
  EXPECT_EQ(List()->GetCount(), 0);
  EXPECT_EQ(watcher.seen, QStringList{"menu_DeleteAll"});
  window_->Manager().RemoveNotifier(&watcher);
}

TEST_F(MenusGui, SystemMenuOpensTheAboutBox) {
  Open();
  Click("menubtn");
  auto* menu = Opened<CMivoSysMenuWnd>();
  ASSERT_NE(menu, nullptr);
  dynamic_cast<CButtonUI*>(menu->Manager().FindControl("menu_About"))->Activate();
  ASSERT_TRUE(WaitFor([&] { return Opened<MivoAboutDialog>() != nullptr; }));
  EXPECT_EQ(Opened<CMivoSysMenuWnd>(), nullptr);
}

}  // namespace
}  // namespace shapeglean::testing
