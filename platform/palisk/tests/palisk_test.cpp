// Tests of the DirectUI stand-in: layouts from a folder and from a zip
// archive, the builder's callback, notifications of code-made changes,
// the caption hit rule's inputs and the window's message routing; and of
// the user-interface services: the user folders and the dialogs' language.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "palisk/palisk.h"
#include "palisk/services.h"
#include "palisk/testing.h"
#include "testsupport/testdata.h"

namespace palisk {
namespace {

using testsupport::TempDir;
using testsupport::WriteFile;

constexpr char kLayout[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,200" caption="0,0,0,30" roundcorner="4,4">
  <Container name="root" pos="0,0,300,200">
    <Label name="title" pos="0,0,200,30" text="Title"/>
    <Button name="BtnGo" pos="200,0,50,30" text="Go"/>
    <Option name="a" group="g" pos="0,40,80,20" text="A"/>
    <Option name="b" group="g" pos="80,40,80,20" text="B"/>
    <Combo name="combo" pos="0,70,100,22"><Item text="one"/><Item text="two"/></Combo>
    <List name="list" pos="0,100,300,100">
      <Header name="hbtnOne" width="100" text="One"/><Header name="hbtnTwo" width="100" text="Two"/>
    </List>
    <Special name="special" pos="0,0,10,10"/>
    <Unknown name="skipped"><Label name="inner"/></Unknown>
  </Container>
</Window>)";

class Recorder : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override {
    events.push_back(msg.sType + ":" + (msg.pSender ? QString(msg.pSender->GetName()) : QString()));
  }
  QStringList events;
};

class SpecialMaker : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(const CStdString& cls) override {
    if (cls == "Special") return new CContainerUI();
    return nullptr;
  }
};

class TestWindow : public CWindowWnd {
 public:
  CPaintManagerUI pm;
  std::vector<UINT> seen;
  bool refuse_close = false;

 protected:
  const char* GetWindowClassName() const override { return "TestWindow"; }
  LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
    seen.push_back(msg);
    if (msg == WM_CREATE) {
      pm.Init(GetHWND());
      CDialogBuilder builder;
      SpecialMaker maker;
      pm.AttachDialog(builder.Create("layout.xml", "", &maker, &pm));
      return 0;
    }
    if (msg == WM_CLOSE && refuse_close) return 0;
    return CWindowWnd::HandleMessage(msg, w, l);
  }
};

class PaliskGui : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    ASSERT_TRUE(WriteFile(TempDir() / "layout.xml", kLayout));
    CPaintManagerUI::SetResourcePath(QString::fromStdString(TempDir().string()));
    CPaintManagerUI::SetResourceZip("");
  }
};

TEST_F(PaliskGui, BuildsLayoutsAndFindsControlsIgnoringCase) {
  TestWindow window;
  window.Create(nullptr, "t", 0, 0, 0, 0, 0, 0);
  CPaintManagerUI& pm = window.pm;
  ASSERT_NE(pm.GetRoot(), nullptr);
  EXPECT_EQ(pm.GetInitSize().cx, 300);
  EXPECT_EQ(window.GetHWND()->width(), 300);  // the layout's size for a window made without one
  EXPECT_EQ(pm.GetCaptionRect().bottom, 30);
  EXPECT_EQ(pm.GetRoundCorner().cx, 4);
  EXPECT_EQ(pm.FindControl("btngo")->GetClass(), "ButtonUI");
  EXPECT_EQ(pm.FindControl("HBTNTWO")->GetClass(), "ListHeaderItemUI");
  EXPECT_NE(pm.FindControl("special"), nullptr);   // made by the callback
  EXPECT_EQ(pm.FindControl("skipped"), nullptr);   // unknown class: skipped with its children
  EXPECT_EQ(pm.FindControl("inner"), nullptr);
  EXPECT_EQ(pm.FindControl(POINT{210, 10}), pm.FindControl("BtnGo"));
  EXPECT_EQ(pm.FindControl(POINT{20, 10}), pm.FindControl("title"));
  window.DestroyWindow();
}

TEST_F(PaliskGui, ChangesMadeByCodeAreNotified) {
  TestWindow window;
  window.Create(nullptr, "t", 0, 0, 0, 0, 0, 0);
  Recorder recorder;
  window.pm.AddNotifier(&recorder);
  auto* a = static_cast<COptionUI*>(window.pm.FindControl("a"));
  auto* b = static_cast<COptionUI*>(window.pm.FindControl("b"));
  auto* combo = static_cast<CComboUI*>(window.pm.FindControl("combo"));
  EXPECT_EQ(combo->GetCurSel(), -1);  // nothing preselected
  a->Selected(true);
  b->Selected(true);  // deselects a
  EXPECT_FALSE(a->IsSelected());
  combo->SelectItem(1);
  combo->SelectItem(1);  // selecting the selected entry reports again
  static_cast<CButtonUI*>(window.pm.FindControl("BtnGo"))->Activate();
  static_cast<CListHeaderItemUI*>(window.pm.FindControl("hbtnOne"))->Activate();
  EXPECT_EQ(recorder.events, QStringList({"selectchanged:a", "selectchanged:a", "selectchanged:b",
                                          "itemselect:combo", "itemselect:combo", "click:BtnGo",
                                          "headerclick:hbtnOne"}));

  // A mouse-disabled button is deaf to activation and cannot take focus.
  recorder.events.clear();
  auto* go = static_cast<CButtonUI*>(window.pm.FindControl("BtnGo"));
  go->SetMouseEnabled(false);
  go->Activate();
  EXPECT_TRUE(recorder.events.isEmpty());
  EXPECT_EQ(go->GetWidget()->focusPolicy(), Qt::NoFocus);
  EXPECT_TRUE(go->GetWidget()->isEnabled());  // normal look
  go->SetMouseEnabled(true);
  EXPECT_NE(go->GetWidget()->focusPolicy(), Qt::NoFocus);

  // Queued notifications arrive from the event loop.
  window.pm.SendNotify(go, "menu_Custom", 0, 0, true);
  EXPECT_TRUE(recorder.events.isEmpty());
  QCoreApplication::processEvents();
  EXPECT_EQ(recorder.events, QStringList({"menu_Custom:BtnGo"}));
  window.DestroyWindow();
}

TEST_F(PaliskGui, ListRowsTakeTheirTextFromTheCallback) {
  TestWindow window;
  window.Create(nullptr, "t", 0, 0, 0, 0, 0, 0);
  auto* list = static_cast<CListUI*>(window.pm.FindControl("list"));
  struct Texts : IListCallbackUI {
    CStdString GetItemText(CControlUI*, int item, int sub) override { return QString("%1/%2").arg(item).arg(sub); }
  } texts;
  list->SetTextCallback(&texts);
  list->Add(new CListTextElementUI());
  list->Add(new CListTextElementUI());
  EXPECT_EQ(list->CellText(1, 1), "1/1");
  EXPECT_EQ(list->GetCurSel(), -1);
  list->SelectItem(1);
  EXPECT_EQ(list->GetCurSel(), 1);
  list->RemoveAt(0);
  EXPECT_EQ(list->GetCount(), 1);
  window.DestroyWindow();
}

TEST_F(PaliskGui, WindowMessagesPostingKeysAndClose) {
  TestWindow window;
  window.Create(nullptr, "t", 0, 0, 0, 0, 300, 200);
  window.ShowWindow();
  window.refuse_close = true;
  window.GetHWND()->close();  // refused by the handler
  ASSERT_NE(window.GetHWND(), nullptr);
  window.PostMessage(WM_USER + 7);
  QCoreApplication::processEvents();
  EXPECT_NE(std::find(window.seen.begin(), window.seen.end(), WM_USER + 7), window.seen.end());
  QTest::keyClick(window.pm.FindControl("list")->GetWidget(), Qt::Key_Delete);
  EXPECT_NE(std::find(window.seen.begin(), window.seen.end(), WM_KEYDOWN), window.seen.end());
  window.refuse_close = false;
  DragAcceptFiles(window.GetHWND(), false);
  EXPECT_FALSE(DropFiles(window.GetHWND(), {"/x"}));
  window.GetHWND()->close();
  EXPECT_EQ(window.GetHWND(), nullptr);
  EXPECT_NE(std::find(window.seen.begin(), window.seen.end(), WM_DESTROY), window.seen.end());
}

// The desktop and documents folders of the Qt services in a fake home: as
// the XDG user directories name them, made (parents included) when
// missing, and the home folder when they cannot be made.
TEST(UserFolders, ExistOrTheHomeFolderAnswers) {
  struct Case {
    const char* what;
    const char* user_dirs;  // null: no user-dirs.dirs
    const char* desktop;    // relative to the home folder; "" is the home folder
    const char* documents;
  } cases[] = {
      {"present", nullptr, "Desktop", "Documents"},
      {"absent", nullptr, "Desktop", "Documents"},
      {"configured, non-ASCII",
       "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
       "XDG_DOCUMENTS_DIR=\"$HOME/書類/仕事\"\n",
       "デスクトップ", "書類/仕事"},
      // A file stands where a folder would go (root may write anywhere).
      {"not creatable", "XDG_DESKTOP_DIR=\"$HOME/file/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/file\"\n", "", ""},
  };
  SetServices(nullptr);
  const mode_t mask = umask(0);
  umask(mask);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path home = TempDir() / ("home" + std::to_string(++n));
    std::filesystem::create_directories(home / ".config");
    testsupport::ScopedEnv home_variable("HOME", home.c_str());
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").c_str());
    if (c.user_dirs != nullptr) {
      ASSERT_TRUE(WriteFile(home / ".config/user-dirs.dirs", c.user_dirs));
    }
    ASSERT_TRUE(WriteFile(home / "file", "in the way"));
    const bool present = std::string(c.what) == "present";
    if (present) {
      for (const char* name : {c.desktop, c.documents}) ASSERT_EQ(mkdir((home / name).c_str(), 0700), 0);
    }

    const std::pair<QString, const char*> answers[] = {{Services().DesktopFolder(), c.desktop},
                                                       {Services().DocumentsFolder(), c.documents}};
    for (const auto& [answer, relative] : answers) {
      const std::filesystem::path expected = *relative ? home / relative : home;
      EXPECT_EQ(answer.toStdString(), expected.string());
      struct stat info {};
      ASSERT_EQ(stat(expected.c_str(), &info), 0);
      EXPECT_TRUE(S_ISDIR(info.st_mode));
      // Made with 0755 (less the umask), each parent too; a folder that was
      // there keeps its mode.
      if (*relative) {
        EXPECT_EQ(info.st_mode & 0777, present ? 0700u : (0755u & ~mask));
        if (!present && std::filesystem::path(relative).has_parent_path()) {
          ASSERT_EQ(stat((home / relative).parent_path().c_str(), &info), 0);
          EXPECT_EQ(info.st_mode & 0777, 0755u & ~mask);
        }
      }
    }
  }
}

// Qt's own dialogs and buttons follow the language id: the translations
// installed for Japanese and Chinese, none for English, and English again
// for a language without translation or an unknown id.
TEST(DialogLanguageGui, FollowsTheLanguageId) {
  EnsureTestApplication();
  auto look_in = [] { return QCoreApplication::translate("QFileDialog", "Look in:"); };
  auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
  struct Case {
    uint16_t id;
    bool available;
    bool english;
  } cases[] = {{1041, true, false}, {2052, true, false}, {1033, true, true},
               {1061, false, true},  // Estonian: no translation of Qt
               {1041, true, false}, {0x7FFF, false, true}};
  std::map<uint16_t, QString> seen;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(SetDialogLanguage(c.id), c.available);
    if (c.english) {
      EXPECT_EQ(look_in(), "Look in:");
      EXPECT_EQ(cancel(), "Cancel");
    } else {
      EXPECT_NE(look_in(), "Look in:");
      EXPECT_NE(cancel(), "Cancel");
      // The same id gives the same texts; each language its own.
      auto [it, first] = seen.emplace(c.id, look_in());
      EXPECT_EQ(it->second, look_in());
      for (const auto& [id, text] : seen) EXPECT_TRUE(id == c.id || text != look_in());
    }
  }
  SetDialogLanguage(1033);
}

}  // namespace
}  // namespace palisk
