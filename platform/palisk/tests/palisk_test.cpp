// Tests of the DirectUI stand-in: layouts from a folder and from a zip
// archive, the builder's callback, notifications of code-made changes,
// the caption hit rule's inputs and the window's message routing; and of
// the user-interface services: the user folders, where the file dialogs
// start and the dialogs' language.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

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
// the XDG user directories name them, and never made by asking for them.
TEST(UserFolders, NamedAsTheUserDirectoriesSayAndLeftAlone) {
  struct Case {
    const char* what;
    const char* user_dirs;  // null: no user-dirs.dirs
    const char* desktop;    // relative to the home folder
    const char* documents;
    bool present;
  } cases[] = {
      {"present", nullptr, "Desktop", "Documents", true},
      {"absent", nullptr, "Desktop", "Documents", false},
      {"configured, non-ASCII",
       "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
       "XDG_DOCUMENTS_DIR=\"$HOME/書類/仕事\"\n",
       "デスクトップ", "書類/仕事", false},
  };
  SetServices(nullptr);
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
    if (c.present) {
      for (const char* name : {c.desktop, c.documents}) ASSERT_EQ(mkdir((home / name).c_str(), 0700), 0);
    }
    const std::pair<QString, const char*> answers[] = {{Services().DesktopFolder(), c.desktop},
                                                       {Services().DocumentsFolder(), c.documents}};
    for (const auto& [answer, relative] : answers) {
      EXPECT_EQ(answer.toStdString(), (home / relative).string());
      EXPECT_EQ(std::filesystem::exists(home / relative), c.present);
    }
  }
}

// The file dialogs start where the user works: the open-file dialog in
// the documents folder, the folder browser on the desktop (the home folder
// while they are missing), then each where the last one of its kind was
// left in this run.
TEST(FileDialogsGui, StartInTheLastFolderUsedElseDocumentsOrDesktop) {
  EnsureTestApplication();
  const std::filesystem::path home = TempDir() / "dialogs-home";
  std::filesystem::create_directories(home / ".config");
  testsupport::ScopedEnv home_variable("HOME", home.c_str());
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").c_str());
  SetServices(nullptr);
  auto start_of = [](bool browser) {
    std::unique_ptr<QFileDialog> dialog =
        browser ? MakeFolderBrowser(nullptr, "Folder") : MakeOpenFileDialog(nullptr, "File", {{"All", "*.*"}}, 1);
    return dialog->directory().absolutePath().toStdString();
  };
  EXPECT_EQ(start_of(false), home.string());
  EXPECT_EQ(start_of(true), home.string());
  EXPECT_FALSE(std::filesystem::exists(home / "Documents"));  // not made by asking
  for (const char* folder : {"Documents", "Desktop", "plans", "sites"})
    std::filesystem::create_directories(home / folder);
  ASSERT_TRUE(WriteFile(home / "plans/a.vsd", "drawing"));
  EXPECT_EQ(start_of(false), (home / "Documents").string());
  EXPECT_EQ(start_of(true), (home / "Desktop").string());

  // The user picks a file and a folder elsewhere.
  QString answer;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      const QFileInfo chosen(answer);
      if (chosen.isDir()) {
        dialog->setDirectory(answer);
      } else {
        dialog->setDirectory(chosen.absolutePath());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(chosen.fileName());  // typed
      }
      QMetaObject::invokeMethod(dialog, "accept");  // as the Open or Choose button does
    }
  });
  user.start(20);
  answer = QString::fromStdString((home / "plans/a.vsd").string());
  EXPECT_EQ(Services().GetOpenFileName(nullptr, "File", {{"All", "*.*"}}, 1), answer);
  answer = QString::fromStdString((home / "sites").string());
  EXPECT_EQ(Services().BrowseForFolder(nullptr, "Folder"), answer);
  user.stop();
  EXPECT_EQ(start_of(false), (home / "plans").string());
  EXPECT_EQ(start_of(true), (home / "sites").string());
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
