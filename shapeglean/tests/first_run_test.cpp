// The program's first run as a new user meets it: started in a home folder
// without a desktop folder and in a Japanese locale, a folder of three
// shared drawings added through the folder browser, then Start with every
// setting at its default. The texts land in the desktop folder, made for
// the run, and are what the extraction interface writes for each drawing
// alone. Everything goes through the real dialogs and mouse and key events.
#include <set>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include "gui_fixture.h"

namespace shapeglean::testing {
namespace {

using palisk::CControlUI;

// The first drawing of each VisioDocument version among those the index
// records as read by the peer, with some text, in the index's order.
std::vector<fs::path> OneDrawingOfEachVersion(const fs::path& vsd) {
  std::set<std::string> versions;
  std::vector<fs::path> drawings;
  for (testsupport::IndexRow& row : testsupport::ReadIndex(vsd)) {
    if (row["vsd2text_exit"] != "0" || std::atol(row["vsd2text_output_bytes"].c_str()) <= 0) continue;
    if (fs::exists(vsd / row["file"]) && versions.insert(row["VisioDocument_header_version"]).second)
      drawings.push_back(vsd / row["file"]);
  }
  return drawings;
}

// The control named `name` in the window `top`, found from its widgets.
CControlUI* ControlIn(QWidget* top, const char* name) {
  for (QWidget* widget : top->findChildren<QWidget*>())
    if (CControlUI* control = CControlUI::FromWidget(widget); control != nullptr && control->GetName() == name)
      return control;
  return nullptr;
}

QAbstractButton* ButtonIn(QWidget* top, const char* name) {
  CControlUI* control = ControlIn(top, name);
  return control != nullptr ? qobject_cast<QAbstractButton*>(control->GetWidget()) : nullptr;
}

// A click as the mouse gives it, delivered from the event loop: the dialog
// that it opens then runs its loop outside the caller.
void ClickLater(QAbstractButton* button) {
  QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

// The request that a run sends with the window's present choices.
ExtractOptionsV4 RequestOf(QWidget* main) {
  RunPlan plan;
  auto* encoding = dynamic_cast<palisk::CComboUI*>(ControlIn(main, "ComboUI1"));
  auto* language = dynamic_cast<palisk::CComboUI*>(ControlIn(main, "ComboUI2"));
  auto* little = dynamic_cast<palisk::COptionUI*>(ControlIn(main, "OptionLittle"));
  if (encoding != nullptr && encoding->GetCurSel() >= 0) plan.charset = encoding->GetItemText(encoding->GetCurSel()).ToUtf8();
  plan.language_index = language != nullptr ? language->GetCurSel() : 0;
  plan.little_live = little != nullptr && little->IsMouseEnabled();
  plan.little_selected = little != nullptr && little->IsSelected();
  ExtractOptionsV3 v3{};
  ExtractOptionsV4 v4{};
  FillInterfaceOptions(MakeRunOptions(plan), &v3, &v4);
  return v4;
}

class FirstRunGui : public GuiFixture {
 protected:
  bool UseRealInterface() const override { return true; }

  void SetUp() override {
    GuiFixture::SetUp();
    home_ = root_ / "new user";
    fs::create_directories(home_);
    setenv("HOME", home_.c_str(), 1);  // the fixture puts it back
    palisk::SetServices(nullptr);      // the real dialogs, message boxes and folders
  }

  fs::path home_;
  testsupport::ScopedEnv config_{"XDG_CONFIG_HOME", nullptr};  // ~/.config, which a new user lacks
  testsupport::ScopedEnv locale_{"LC_ALL", "ja_JP.UTF-8"};
};

TEST_F(FirstRunGui, DefaultSettingsConvertAFolderIntoTheNewDesktopFolder) {
  TESTDATA_OR_SKIP(vsd, "vsd");
  PlaceConfiguration();
  const std::vector<fs::path> drawings = OneDrawingOfEachVersion(vsd);
  ASSERT_EQ(drawings.size(), 3u) << "the index lists fewer VisioDocument versions";
  const fs::path folder = root_ / "data" / "three drawings";
  fs::create_directories(folder);
  for (const fs::path& drawing : drawings) fs::copy_file(drawing, folder / drawing.filename());
  ASSERT_FALSE(fs::exists(home_ / "Desktop"));

  // The user, one step at a time, from a timer that also fires inside the
  // loops of dialogs and message boxes. Every message box is read and
  // answered with its default button.
  enum Step { kWindow, kBrowser, kChoose, kListed, kEnded, kClosed };
  Step step = kWindow;
  QWidget* main = nullptr;
  QStringList boxes;
  QString browser_cancel;
  ExtractOptionsV4 request{};
  int ticks = 0;
  bool gave_up = false;
  bool desktop_before_run = true;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
      boxes << box->text();
      QTest::mouseClick(box->defaultButton() ? box->defaultButton() : box->buttons().value(0), Qt::LeftButton);
      return;
    }
    auto* browser = qobject_cast<QFileDialog*>(modal);
    switch (step) {
      case kWindow:
        for (QWidget* top : QApplication::topLevelWidgets())
          if (top->objectName() == "Shapeglean" && top->isVisible()) main = top;
        if (main != nullptr && ButtonIn(main, "btnAddFolder") != nullptr) {
          ClickLater(ButtonIn(main, "btnAddFolder"));
          step = kBrowser;
        }
        break;
      case kBrowser:  // click into the name field, type the folder, choose it
        if (browser != nullptr && browser->isVisible()) {
          // A desktop gives the new dialog the keyboard, which the dialog's
          // completion relies on; on an X server without a window manager,
          // shared with other tests, the window system may not, so Qt is
          // told here. Typing and choosing then follow in this one step,
          // before the window system has a say again.
          QApplication::setActiveWindow(browser);
          auto* edit = browser->findChild<QLineEdit*>("fileNameEdit");
          QTest::mouseClick(edit, Qt::LeftButton);
          if (!edit->hasFocus()) break;
          QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
          QTest::keyClicks(edit, QString::fromStdString(folder.string()));
          if (edit->completer() != nullptr && edit->completer()->popup()->isVisible())
            QTest::keyClick(edit->completer()->popup(), Qt::Key_Escape);
          step = kChoose;
        }
        [[fallthrough]];
      case kChoose:
        if (browser != nullptr && step == kChoose) {
          auto* buttons = browser->findChild<QDialogButtonBox*>("buttonBox");
          browser_cancel = buttons->button(QDialogButtonBox::Cancel)->text();
          if (QPushButton* choose = buttons->button(QDialogButtonBox::Open); choose->isEnabled()) {
            QTest::mouseClick(choose, Qt::LeftButton);
            step = kListed;
          }
        }
        break;
      case kListed: {
        auto* list = dynamic_cast<palisk::CListUI*>(ControlIn(main, "filelist"));
        CControlUI* start = ControlIn(main, "btnExcute");
        if (list != nullptr && list->GetCount() == static_cast<int>(drawings.size()) && start->IsMouseEnabled()) {
          request = RequestOf(main);
          desktop_before_run = fs::exists(home_ / "Desktop");
          ClickLater(qobject_cast<QAbstractButton*>(start->GetWidget()));
          step = kEnded;
        }
        break;
      }
      case kEnded:
        if (!boxes.isEmpty() && ControlIn(main, "btnAddFolder")->IsMouseEnabled()) {
          ClickLater(ButtonIn(main, "closebtn"));
          step = kClosed;
        }
        break;
      case kClosed:
        break;
    }
    if (++ticks == 6000) {  // two minutes: stop rather than hang
      gave_up = true;
      QCoreApplication::exit(1);
    }
  });
  user.start(20);
  const int code = wWinMain();
  user.stop();

  ASSERT_FALSE(gave_up) << "the run stopped at step " << step << " after the boxes " << boxes.join(" | ").toStdString();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(StringLanguageId(), kLangJapanese);
  EXPECT_NE(browser_cancel, "Cancel");  // Qt's dialogs speak the program's language from the start
  // One message, the closing one: "Success!" in the window's language.
  EXPECT_EQ(boxes, QStringList{LangString(166)});

  // Made by the run that first wrote there, not by starting the program.
  EXPECT_FALSE(desktop_before_run);
  struct stat info {};
  ASSERT_EQ(stat((home_ / "Desktop").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0755 & ~mask);

  std::set<std::string> expected_names, written;
  for (const fs::path& drawing : drawings) expected_names.insert(OutputStem(drawing.filename().string()) + ".txt");
  for (const auto& entry : fs::directory_iterator(home_ / "Desktop")) written.insert(entry.path().filename().string());
  EXPECT_EQ(written, expected_names);

  fs::create_directories(root_ / "alone");
  for (const fs::path& drawing : drawings) {
    SCOPED_TRACE(drawing.filename().string());
    const std::string name = OutputStem(drawing.filename().string()) + ".txt";
    ExtractOptionsV4 options = request;
    ASSERT_EQ(Extraction().GetText(drawing.string(), (root_ / "alone" / name).string(), &options, nullptr), 0);
    const std::string text = testsupport::ReadFile(home_ / "Desktop" / name);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, testsupport::ReadFile(root_ / "alone" / name));
  }
}

}  // namespace
}  // namespace shapeglean::testing
