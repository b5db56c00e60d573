// The dialogs of the main window: how each opens and closes, what it
// reads and writes, the caption drag rule, the folder browser's language,
// and the screenshots of the six dialogs, the folder browser, both menus
// and one engine message in the three languages.
#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "bridge/engine_messages.h"
#include "gui_fixture.h"
#include "ui/dialogs.h"
#include "ui/popup_menus.h"
#include "win32/ini_file.h"

namespace shapeglean::testing {
namespace {

using namespace palisk;

class DialogsGui : public GuiFixture {
 protected:
  template <typename C = CControlUI, typename D>
  C* In(D* dialog, const char* name) {
    return dynamic_cast<C*>(dialog->Manager().FindControl(name));
  }
  template <typename D>
  void ClickIn(D* dialog, const char* name) {
    In<CButtonUI>(dialog, name)->Activate();
    QCoreApplication::processEvents();
  }
  bool MainEnabled() { return IsWindowEnabled(window_->GetHWND()); }
  void Notify(const char* type, CControlUI* sender = nullptr) {
    window_->Manager().SendNotify(sender ? sender : List(), type);
    QCoreApplication::processEvents();
  }
};

TEST_F(DialogsGui, OutputDetailsValidateAndKeepPasswordsUntilTheNextRun) {
  Open();
  Click("BtnMore");
  auto* page = Opened<OutDetailPage>();
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(MainEnabled());
  auto* up = In<COptionUI>(page, "OpUP");
  auto* op = In<COptionUI>(page, "OpOP");
  auto* ed_up = In<CEditUI>(page, "EdUP");
  auto* confirm_up = In<CEditUI>(page, "EdConfirmUP");
  auto* ed_op = In<CEditUI>(page, "EdOP");
  auto* confirm_op = In<CEditUI>(page, "EdConfirmOP");
  EXPECT_FALSE(ed_up->IsEnabled());
  EXPECT_EQ(ed_up->GetBkColor(), 0xFFDDDCDCu);
  EXPECT_FALSE(In(page, "Textcon1")->IsEnabled());

  up->Selected(true);
  EXPECT_TRUE(ed_up->IsEnabled());
  EXPECT_EQ(ed_up->GetBkColor(), 0xFFFFFFFFu);
  ClickIn(page, "BtnStoreSet");  // empty open password
  ed_up->SetText("one");
  confirm_up->SetText("two");
  ClickIn(page, "BtnStoreSet");  // differ: both emptied
  EXPECT_TRUE(ed_up->GetText().isEmpty());
  EXPECT_TRUE(confirm_up->GetText().isEmpty());
  ed_up->SetText("same");
  confirm_up->SetText("same");
  op->Selected(true);
  ClickIn(page, "BtnStoreSet");  // empty permission password
  ed_op->SetText("x");
  confirm_op->SetText("y");
  ClickIn(page, "BtnStoreSet");  // permission passwords differ
  ed_op->SetText("same");
  confirm_op->SetText("same");
  In<COptionUI>(page, "OpLineOut")->Selected(true);
  ClickIn(page, "BtnStoreSet");  // the same twice: refused, line output not saved
  EXPECT_EQ(window_->OpenPassword(), "same");  // kept by then
  EXPECT_FALSE(window_->LineOutput());
  EXPECT_EQ(win32::IniReadString(Settings(), "MoreSet", "LineStatus", "none"), "none");
  ed_op->SetText("other");
  confirm_op->SetText("other");
  ClickIn(page, "BtnStoreSet");
  EXPECT_EQ(Boxes(), QStringList({"Notice: Open password can't be empty!", "Notice: Entered open passwords differ.",
                                  "Notice: Permission password can't be empty!",
                                  "Notice: Entered permission passwords differ.",
                                  "Notice: Open password and Permission password can't be the same,\n please try "
                                  "again.",
                                  "Notice: Save successfully!"}));
  EXPECT_TRUE(window_->LineOutput());
  EXPECT_EQ(win32::IniReadString(Settings(), "MoreSet", "LineStatus", ""), "True");
  EXPECT_EQ(window_->PermissionPassword(), "other");
  ASSERT_EQ(Opened<OutDetailPage>(), page);  // the dialog stays open

  op->Selected(false);  // deselecting empties and greys the pair
  EXPECT_TRUE(ed_op->GetText().isEmpty());
  EXPECT_FALSE(ed_op->IsEnabled());
  ClickIn(page, "btnCancel");
  EXPECT_EQ(Opened<OutDetailPage>(), nullptr);
  EXPECT_TRUE(MainEnabled());

  // Opened again, it shows the kept open password.
  Click("BtnMore");
  page = Opened<OutDetailPage>();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(In<COptionUI>(page, "OpUP")->IsSelected());
  EXPECT_EQ(In<CEditUI>(page, "EdUP")->GetText(), "same");
  EXPECT_TRUE(In<COptionUI>(page, "OpLineOut")->IsSelected());
}

// The settings dialog shows and saves the language and encoding that the
// main window shows, whatever the stored entries.
TEST_F(DialogsGui, DetailSettingsShowAndSaveTheMainWindowsPair) {
  auto shown = [](CComboUI* language, CComboUI* encoding) {
    return std::make_pair(language->GetItemText(language->GetCurSel()), encoding->GetItemText(encoding->GetCurSel()));
  };
  struct Case {
    const char* group;  // null: no setting.ini
    const char* language;
    int want_group, want_language;
  } cases[] = {{nullptr, nullptr, 4, 3}, {"20", "5", 0, 5}, {"-1", "-2", 0, 0}, {"7", "3", 7, 3}, {"1", "1", 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group ? c.group : "no file");
    if (c.group == nullptr) {
      fs::remove(Settings());
    } else {
      ASSERT_TRUE(win32::IniWriteString(Settings(), "Setting", "pGroupName", c.group));
      ASSERT_TRUE(win32::IniWriteString(Settings(), "Setting", "pDefLangName", c.language));
    }
    Open();
    Click("BtnDetailSet");
    auto* page = Opened<DetailPage>();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(In<CComboUI>(page, "ComboUI1")->GetCurSel(), c.want_group);
    EXPECT_EQ(In<CComboUI>(page, "ComboUI2")->GetCurSel(), c.want_language);
    EXPECT_EQ(shown(In<CComboUI>(page, "ComboUI2"), In<CComboUI>(page, "ComboUI1")),
              shown(Find<CComboUI>("ComboUI2"), Find<CComboUI>("ComboUI1")));
    EXPECT_EQ(window_->SavedIndexes(), std::make_pair(c.want_group, c.want_language));
    ClickIn(page, "cancelbtn");
    window_.reset();
  }

  // Saved in the dialog, shown by the main window at its next set-up.
  Open();
  Click("BtnDetailSet");
  auto* page = Opened<DetailPage>();
  ASSERT_NE(page, nullptr);
  In<CComboUI>(page, "ComboUI2")->SelectItem(3);  // Japanese: its eight encodings
  ASSERT_EQ(In<CComboUI>(page, "ComboUI1")->GetCount(), 8);
  In<CComboUI>(page, "ComboUI1")->SelectItem(4);
  const auto chosen = shown(In<CComboUI>(page, "ComboUI2"), In<CComboUI>(page, "ComboUI1"));
  EXPECT_EQ(chosen.second, "Shift_JIS");
  ClickIn(page, "savebtn");
  EXPECT_EQ(Boxes(), QStringList{"Notice: Save successfully!"});
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "pGroupName", ""), "4");
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "pDefLangName", ""), "3");
  EXPECT_EQ(window_->SavedIndexes(), std::make_pair(4, 3));
  EXPECT_EQ(Opened<DetailPage>(), nullptr);
  EXPECT_TRUE(MainEnabled());
  window_.reset();
  Open();
  EXPECT_EQ(shown(Find<CComboUI>("ComboUI2"), Find<CComboUI>("ComboUI1")), chosen);
}

TEST_F(DialogsGui, LanguageOpensOnItsFirstEntryAndRebuildsTheWindow) {
  Open();
  Add(Drawing("a.vsd"));
  Notify("menu_Language");
  auto* page = Opened<Mivolanguage>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(In<CComboUI>(page, "LanguageSel")->GetCurSel(), 0);
  In<CComboUI>(page, "LanguageSel")->SelectItem(2);
  ClickIn(page, "savebtn");
  ASSERT_TRUE(WaitFor([&] { return Opened<Mivolanguage>() == nullptr && window_->Files().empty(); }));
  EXPECT_EQ(LanguageNumber(), kLanguageJapanese);
  EXPECT_EQ(Find("btnExcute")->GetText(), QString::fromUtf8("実行"));
  EXPECT_TRUE(MainEnabled());
  Notify("menu_Language");
  page = Opened<Mivolanguage>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(In<CComboUI>(page, "LanguageSel")->GetCurSel(), 0);  // whatever the language
  ClickIn(page, "closebtn");
  EXPECT_EQ(Opened<Mivolanguage>(), nullptr);
}

// The folder browser is Qt's own dialog and speaks the window's language:
// English first, then Japanese and Chinese as the language menu picks them.
TEST_F(DialogsGui, FolderBrowserSpeaksTheLanguageThatTheMenuChooses) {
  // The browser opens on the desktop: a few folders to show.
  for (const char* name : {"network", "plans", "process"}) fs::create_directories(root_ / "home/Desktop" / name);
  Open();
  palisk::SetServices(nullptr);  // the real dialogs
  struct Labels {
    QString look_in, cancel;
  };
  std::map<std::string, Labels> seen;
  std::string tag = "en";
  int shown_for = 0;
  // Answers the browser from its own loop: once its folder view has been
  // filled (or after a while), a screenshot, its labels, then Cancel.
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    auto* view = dialog->findChild<QAbstractItemView*>("listView");
    if (++shown_for < 100 && (view == nullptr || view->model()->rowCount(view->rootIndex()) == 0)) return;
    shown_for = 0;
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    auto* look_in = dialog->findChild<QLabel*>("lookInLabel");
    ASSERT_TRUE(buttons != nullptr && look_in != nullptr);
    seen[tag] = {look_in->text(), buttons->button(QDialogButtonBox::Cancel)->text()};
    EXPECT_TRUE(dialog->grab().save(
        QString::fromStdString((ScreenshotFolder() / ("dialog-folder-browser-" + tag + ".png")).string())));
    QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
  });
  user.start(20);
  Click("btnAddFolder");
  for (const auto& [entry, language] : {std::pair{2, "jp"}, std::pair{0, "cn"}}) {
    Notify("menu_Language");
    auto* page = Opened<Mivolanguage>();
    ASSERT_NE(page, nullptr);
    In<CComboUI>(page, "LanguageSel")->SelectItem(entry);
    ClickIn(page, "savebtn");
    ASSERT_TRUE(WaitFor([&] { return Opened<Mivolanguage>() == nullptr; }));
    tag = language;
    Click("btnAddFolder");
  }
  user.stop();
  palisk::SetServices(&services_);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen["en"].look_in, "Look in:");
  EXPECT_EQ(seen["en"].cancel, "Cancel");
  // Translated: neither English nor the other language, and in the
  // language's own script.
  const QRegularExpression han("\\p{Han}|\\p{Hiragana}|\\p{Katakana}");
  for (const char* language : {"jp", "cn"}) {
    for (const QString& text : {seen[language].look_in, seen[language].cancel}) {
      EXPECT_TRUE(text.contains(han)) << language << ": " << text.toStdString();
    }
  }
  EXPECT_NE(seen["jp"].look_in, seen["cn"].look_in);
  EXPECT_TRUE(seen["jp"].cancel.contains(QRegularExpression("\\p{Katakana}"))) << seen["jp"].cancel.toStdString();
}

TEST_F(DialogsGui, AboutAndPasswordPrompt) {
  Open();
  Notify("menu_About");
  auto* about = Opened<MivoAboutDialog>();
  ASSERT_NE(about, nullptr);
  const QString text = In(about, "view_richedit")->GetText();
  QString expected;
  for (int id : {293, 294, 295, 297, 296, 298, 299}) expected += LangString(id);
  EXPECT_EQ(text, expected);
  EXPECT_TRUE(text.contains("Visio"));
  ClickIn(about, "closebtn");
  EXPECT_EQ(Opened<MivoAboutDialog>(), nullptr);

  Add(Drawing("a.vsd"));
  List()->SelectItem(0);
  Notify("menu_Decrypt");  // an unencrypted drawing needs no password
  EXPECT_EQ(Boxes(), QStringList{"Notice: The files do not need to decrypt"});
  EXPECT_EQ(Opened<PWPage>(), nullptr);
  const_cast<std::vector<FileItem>&>(window_->Files())[0].encryption = "Encrypted";
  Notify("menu_Decrypt");
  auto* prompt = Opened<PWPage>();
  ASSERT_NE(prompt, nullptr);
  EXPECT_TRUE(MainEnabled());  // the prompt leaves the main window live
  ClickIn(prompt, "OK");       // no effect
  EXPECT_EQ(Opened<PWPage>(), prompt);
  ClickIn(prompt, "Cancel");
  EXPECT_EQ(Opened<PWPage>(), nullptr);
}

TEST_F(DialogsGui, FileInformationDecodesTheFieldsItAsksFor) {
  Open();
  const std::string drawing = Drawing("info/a.vsd");
  Add(drawing);
  Add(Drawing("info/empty.vsd"));
  List()->SelectItem(0);
  extraction_.properties = {{"title", "設計図 第二版"}, {"subject", "Subject"}, {"author", "Author"},
                            {"keywords", "k1; k2"},      {"comment", "注释"},    {"manager", "M"},
                            {"company", "C"},            {"category", "Cat"}};
  Notify("menu_FileInfo");
  auto* page = Opened<DocinfoPage>();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(In(page, "TITLE")->GetText(), QString::fromUtf8("設計図 第二版"));
  EXPECT_EQ(In(page, "COMMENT")->GetText(), QString::fromUtf8("注释"));
  EXPECT_EQ(In(page, "KEYWORD")->GetText(), "k1; k2");
  EXPECT_EQ(In(page, "CATEGORY")->GetText(), "Cat");
  const ExtractOptionsV4 asked = extraction_.PropertyOptions();
  EXPECT_STREQ(asked.charset, "UTF-8");
  EXPECT_STREQ(asked.language, "Simplified Chinese");
  EXPECT_EQ(asked.big_endian, 1);
  EXPECT_EQ(asked.flags_a, 8u);
  EXPECT_EQ(asked.length_limit, 0);
  ClickIn(page, "btnOK");
  EXPECT_EQ(Opened<DocinfoPage>(), nullptr);

  extraction_.properties.clear();  // a drawing without properties
  List()->SelectItem(1);
  Notify("menu_FileInfo");
  page = Opened<DocinfoPage>();
  ASSERT_NE(page, nullptr);
  for (const char* label : {"TITLE", "SUBJECT", "AUTHOR", "MANAGER", "COMPANY", "CATEGORY", "KEYWORD", "COMMENT"})
    EXPECT_TRUE(In(page, label)->GetText().isEmpty()) << label;
  ClickIn(page, "btnclose");

  const_cast<std::vector<FileItem>&>(window_->Files())[1].encryption = "Encrypted";
  Notify("menu_FileInfo");
  EXPECT_EQ(Opened<DocinfoPage>(), nullptr);
  EXPECT_EQ(Boxes(), QStringList{"Notice: Must first decrypt the file in order to do this!"});
}

TEST_F(DialogsGui, CaptionBandDragsOverLabelsNotOverButtons) {
  Open();
  Notify("menu_About");
  auto* about = Opened<MivoAboutDialog>();
  ASSERT_NE(about, nullptr);
  QCoreApplication::processEvents();
  auto hit = [&](const char* name) {
    CControlUI* control = In(about, name);
    QWidget* widget = control->GetWidget();
    const QPoint global = widget->mapToGlobal(QPoint(widget->width() / 2, widget->height() / 2));
    return about->SendMessage(WM_NCHITTEST, 0, MakeLParam(global.x(), global.y()));
  };
  EXPECT_EQ(hit("lblAboutTitle"), HTCAPTION);
  EXPECT_EQ(hit("closebtn"), HTCLIENT);
  EXPECT_EQ(hit("view_richedit"), HTCLIENT);  // below the band
}

TEST_F(DialogsGui, Screenshots) {
  const fs::path folder = ScreenshotFolder();
  auto save = [&](QWidget* widget, const std::string& name) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(widget->grab().save(QString::fromStdString((folder / (name + ".png")).string()))) << name;
  };
  const std::pair<int, const char*> languages[] = {
      {kLanguageEnglish, "en"}, {kLanguageJapanese, "jp"}, {kLanguageChinese, "cn"}};
  extraction_.properties = {{"title", "Floor plan 2F"}, {"author", "Facilities"}, {"subject", "Office layout"},
                            {"keywords", "plan, office"}, {"company", "—"},      {"comment", "Second revision"}};
  for (const auto& [number, tag] : languages) {
    const std::string suffix = std::string("-") + tag;
    UseLanguage(number);
    Open();
    Add(Drawing("Floor plan 2F.vsd"));
    Add(Drawing("Rack layout.vsd"));
    List()->SelectItem(0);

    auto shoot = [&](CWindowWnd* dialog, const std::string& name) {
      ASSERT_NE(dialog, nullptr);
      save(dialog->GetHWND(), name + suffix);
      dialog->DestroyWindow();
      EnableWindow(window_->GetHWND(), true);
    };
    shoot(OpenDialog<MivoAboutDialog>(window_.get()), "dialog-about");
    shoot(OpenDialog<Mivolanguage>(window_.get()), "dialog-language");
    shoot(OpenDialog<DetailPage>(window_.get()), "dialog-detail-settings");
    auto* details = OpenDialog<OutDetailPage>(window_.get());
    In<COptionUI>(details, "OpUP")->Selected(true);
    shoot(details, "dialog-output-details");
    shoot(OpenDialog<PWPage>(window_.get()), "dialog-password");
    shoot(OpenDialog<DocinfoPage>(window_.get(), Drawing("Floor plan 2F.vsd")), "dialog-file-info");

    auto* list_menu = new CMivoListMenuWnd(window_.get());
    list_menu->Init(List(), POINT{window_->GetHWND()->x() + 120, window_->GetHWND()->y() + 110});
    shoot(list_menu, "menu-list");
    auto* sys_menu = new CMivoSysMenuWnd(window_.get());
    sys_menu->Init(Find("menubtn"), POINT{window_->GetHWND()->x() + 500, window_->GetHWND()->y() + 28});
    shoot(sys_menu, "menu-system");

    // An engine message as the program shows it.
    std::unique_ptr<QMessageBox> box =
        MakeMessageBox(nullptr, LangString(EngineMessageId(FileLengthOver)), LangString(190), MB_OK);
    box->show();
    save(box.get(), "message-engine" + suffix);
    box->hide();
    window_.reset();
  }
}

}  // namespace
}  // namespace shapeglean::testing
