// The main window with a fake extraction interface and scripted dialogs:
// adding by dialog, folder and drop, the detection filter, sorting, moving
// and removing, the busy state, the settings it reads and writes, the
// output-folder choice, the language switch and the screenshots.
#include <QTest>
#include <QTreeView>

#include "gui_fixture.h"
#include "win32/ini_file.h"
#include "win32/single_instance.h"

namespace shapeglean::testing {
namespace {

using namespace palisk;
using testsupport::WriteFile;

// Detection by file name: "*.vsd" is "Visio 2003/2007" unless `answers`
// says otherwise; anything else is not supported. A closed gate holds
// every detection until it opens.
class FakeExtraction : public ExtractionInterface {
 public:
  struct Answer {
    int32_t result;
    const char* name;
    int32_t state;
  };
  std::map<std::string, Answer> answers;  // by file name

  int32_t Detect(const std::string& source, FormatInfo* info) override {
    {
      std::unique_lock<std::mutex> lock(guard_);
      ++waiting_;
      opened_.wait(lock, [&] { return open_; });
      --waiting_;
    }
    std::string name = fs::path(source).filename().string();
    Answer answer{NotSuppoted, "", 0};
    if (auto it = answers.find(name); it != answers.end()) answer = it->second;
    else if (name.size() > 4 && name.substr(name.size() - 4) == ".vsd") answer = {0, "Visio 2003/2007", 0};
    std::snprintf(info->name, sizeof info->name, "%s", answer.name);
    info->state = answer.state;
    return answer.result;
  }
  int32_t GetText(const std::string&, const std::string&, ExtractOptionsV4*, ExtractErrorCallback) override {
    return NotSuppoted;
  }
  int32_t GetProperty(const std::string&, ExtractOptionsV4*, DocPropertyRecord*) override { return NotSuppoted; }

  void Close() {
    std::lock_guard<std::mutex> lock(guard_);
    open_ = false;
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(guard_);
      open_ = true;
    }
    opened_.notify_all();
  }
  int Waiting() {
    std::lock_guard<std::mutex> lock(guard_);
    return waiting_;
  }

 private:
  std::mutex guard_;
  std::condition_variable opened_;
  bool open_ = true;
  int waiting_ = 0;
};

// The shared fixture with detection by file name and its gate.
class MainWindowGui : public GuiFixture {
 protected:
  void SetUp() override {
    GuiFixture::SetUp();
    SetExtraction(&detection_);
  }
  void TearDown() override {
    detection_.Open();
    GuiFixture::TearDown();
  }

  void Header(const char* name) { Find<CListHeaderItemUI>(name)->Activate(); }
  void Idle() { ASSERT_TRUE(WaitFor([&] { return !window_->IsBusy(); })); }
  QStringList Names() {
    QStringList names;
    for (const FileItem& f : window_->Files()) names << f.name;
    return names;
  }

  FakeExtraction detection_;  // in place of the fixture's extraction
};

TEST_F(MainWindowGui, AddsByFileDialog) {
  Open();
  std::string drawing = Drawing("one/a.vsd");
  services_.open_file_answers = {QString::fromStdString(drawing), QString::fromStdString(drawing),
                                 QString::fromStdString(Drawing("one/notes.txt"))};
  Click("btnAddFile");
  Click("btnAddFile");  // the same file again: one row
  Click("btnAddFile");  // refused by detection
  Click("btnAddFile");  // cancelled
  ASSERT_EQ(window_->Files().size(), 1u);
  const FileItem& item = window_->Files()[0];
  EXPECT_EQ(item.name, "a.vsd");
  EXPECT_EQ(item.folder, QString::fromStdString((root_ / "data/one").string() + "/"));
  EXPECT_EQ(item.encryption, "Unencrypted");
  EXPECT_EQ(item.status, "Waiting conversion");
  EXPECT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(List()->CellText(0, 2), "Waiting conversion");
  EXPECT_EQ(Boxes(), QStringList{"Wrong: Invalid folder! Only No Encryption Visio file can be accepted."});
  EXPECT_EQ(services_.last_filters.size(), 2u);
}

TEST_F(MainWindowGui, AddsByFolder) {
  Open();
  Drawing("mixed/draw.vsd");
  Drawing("mixed/DRAW.vsd");  // another case: another file, another row
  Drawing("mixed/other.txt");
  fs::create_directories(root_ / "data/mixed/folder.vsd");  // files only
  Drawing("refused/x.vsd");
  Drawing("refused/y.vsd");
  detection_.answers["x.vsd"] = {0, "Visio 2010", 0};
  detection_.answers["y.vsd"] = {0, "Visio 2003/2007", 1};
  fs::create_directories(root_ / "data/empty");
  services_.folder_answers = {QString::fromStdString((root_ / "data/mixed").string()),
                              QString::fromStdString((root_ / "data/refused").string()),
                              QString::fromStdString((root_ / "data/empty").string()),
                              QString::fromStdString((root_ / "data/mixed").string())};
  for (int i = 0; i < 4; ++i) {
    Click("btnAddFolder");
    Idle();
  }
  EXPECT_EQ(Names(), QStringList({"DRAW.vsd", "draw.vsd"}));
  EXPECT_EQ(services_.last_browse_title, "Add folder:");
  // Only the empty folder speaks; refused drawings are skipped silently.
  EXPECT_EQ(Boxes(), QStringList{
                         "Notice: This folder does not match the format of the file or the file already exists!"});
}

TEST_F(MainWindowGui, AddsByDrop) {
  Open();
  Drawing("dropped/f1.vsd");
  Drawing("dropped/f2.vsd");
  std::string single = Drawing("single.vsd");
  std::string text = Drawing("readme.txt");
  ASSERT_TRUE(DropFiles(window_->GetHWND(), {(root_ / "data/dropped").string(), single, text, single}));
  Idle();
  EXPECT_EQ(Names(), QStringList({"f1.vsd", "f2.vsd", "single.vsd"}));
  EXPECT_EQ(Boxes(), QStringList{"Wrong: Invalid folder! Only No Encryption Visio file can be accepted."});
  ASSERT_TRUE(DropFiles(window_->GetHWND(), {single}));  // listed already
  Idle();
  EXPECT_EQ(window_->Files().size(), 3u);

  // Paths longer than any fixed buffer stay whole.
  std::string deep;
  for (int i = 0; i < 12; ++i) deep += "folder-with-a-rather-long-name-" + std::to_string(i) + "/";
  std::string long_drawing = Drawing(deep + "drawing with a long name.vsd");
  ASSERT_GT(long_drawing.size(), 400u);
  ASSERT_TRUE(DropFiles(window_->GetHWND(), {long_drawing}));
  Idle();
  ASSERT_EQ(window_->Files().size(), 4u);
  EXPECT_EQ((window_->Files()[3].folder + window_->Files()[3].name).toStdString(), long_drawing);
  EXPECT_TRUE(DragAcceptsFiles(window_->GetHWND()));
}

TEST(DetectionFilter, OnlyTheFourVisioNamesWithStateZero) {
  struct Case {
    int32_t result;
    const char* name;
    int32_t state;
    bool listed;
  } cases[] = {{0, "Visio 4.0", 0, true},        {0, "Visio 5.0", 0, true},       {0, "Visio 2000/2002", 0, true},
               {0, "Visio 2003/2007", 0, true},  {0, "Visio 2010", 0, false},     {0, "visio 5.0", 0, false},
               {2002, "Visio 5.0", 0, false},    {0, "Visio 5.0", 1, false},      {0, "", 0, false}};
  for (const Case& c : cases) {
    FormatInfo info{};
    std::snprintf(info.name, sizeof info.name, "%s", c.name);
    info.state = c.state;
    EXPECT_EQ(IsListableVisio(c.result, info), c.listed) << c.name << " " << c.result << " " << c.state;
  }
  FormatInfo unterminated;
  std::memset(&unterminated, 'V', sizeof unterminated);
  unterminated.state = 0;
  EXPECT_FALSE(IsListableVisio(0, unterminated));
}

TEST_F(MainWindowGui, HeadersSortFirstDescending) {
  Open();
  for (const char* name : {"b/b.vsd", "a/B.vsd", "c/a.vsd"}) {
    Add(Drawing(name));
  }
  Header("hbtnFilename");
  EXPECT_EQ(Names(), QStringList({"B.vsd", "b.vsd", "a.vsd"}));  // descending; ties by folder a/ before b/
  EXPECT_EQ(List()->CellText(0, 0), "B.vsd");                     // the list shows the vector's order
  Header("hbtnFilename");
  EXPECT_EQ(Names(), QStringList({"a.vsd", "B.vsd", "b.vsd"}));
  Header("hbtnFilePath");
  EXPECT_EQ(Names(), QStringList({"a.vsd", "b.vsd", "B.vsd"}));  // folders c/, b/, a/
  Header("hbtnState");
  Header("hbtnEncrypted");
  EXPECT_EQ(Names(), QStringList({"a.vsd", "B.vsd", "b.vsd"}));  // equal states: by name, then folder
}

TEST_F(MainWindowGui, MovesRemovesAndKeysAtTheEnds) {
  Open();
  QTreeView* view = List()->View();
  QTest::keyClick(view, Qt::Key_Delete);  // empty list: nothing
  Click("btnRemoveSel");
  for (const char* name : {"1.vsd", "2.vsd", "3.vsd"}) {
    Add(Drawing(name));
  }
  List()->SelectItem(0);
  Click("btnUp");  // first row: nothing
  EXPECT_EQ(Names(), QStringList({"1.vsd", "2.vsd", "3.vsd"}));
  Click("btnDown");
  EXPECT_EQ(Names(), QStringList({"2.vsd", "1.vsd", "3.vsd"}));
  EXPECT_EQ(List()->GetCurSel(), 1);
  EXPECT_EQ(List()->CellText(1, 0), "1.vsd");
  window_->Manager().SendNotify(List(), "menu_Down");
  EXPECT_EQ(Names(), QStringList({"2.vsd", "3.vsd", "1.vsd"}));
  Click("btnDown");  // last row: nothing
  EXPECT_EQ(Names(), QStringList({"2.vsd", "3.vsd", "1.vsd"}));
  QTest::keyClick(view, Qt::Key_Up);
  EXPECT_EQ(List()->GetCurSel(), 1);
  QTest::keyClick(view, Qt::Key_Delete);
  EXPECT_EQ(Names(), QStringList({"2.vsd", "1.vsd"}));
  QTest::keyClick(view, Qt::Key_Down);
  QTest::keyClick(view, Qt::Key_Down);
  EXPECT_EQ(List()->GetCurSel(), 1);
  window_->Manager().SendNotify(List(), "menu_DeleteAll");
  EXPECT_TRUE(window_->Files().empty());
  EXPECT_EQ(List()->GetCount(), 0);
}

TEST_F(MainWindowGui, BusyWhileAddingRefusesListChangesAndClose) {
  Open();
  Add(Drawing("first.vsd"));
  Drawing("folder/x.vsd");
  detection_.Close();
  ASSERT_TRUE(DropFiles(window_->GetHWND(), {(root_ / "data/folder").string()}));
  ASSERT_TRUE(WaitFor([&] { return detection_.Waiting() == 1; }));
  EXPECT_TRUE(window_->IsBusy());

  EXPECT_FALSE(DropFiles(window_->GetHWND(), {Drawing("second.vsd")}));  // drops refused
  List()->SelectItem(0);
  QTest::keyClick(List()->View(), Qt::Key_Delete);
  window_->Manager().SendNotify(List(), "menu_DeleteAll");
  window_->Manager().SendNotify(List(), "menu_Language");
  window_->PostMessage(kMsgRebuild);
  Header("hbtnFilename");
  window_->GetHWND()->close();
  QCoreApplication::processEvents();
  EXPECT_NE(window_->GetHWND(), nullptr);  // still open
  EXPECT_EQ(Names(), QStringList{"first.vsd"});
  EXPECT_FALSE(Find("btnAddFile")->IsMouseEnabled());
  EXPECT_FALSE(Find("closebtn")->IsEnabled());
  EXPECT_FALSE(Find("btnExcute")->IsMouseEnabled());

  detection_.Open();
  Idle();
  EXPECT_EQ(Names(), QStringList({"first.vsd", "x.vsd"}));
  EXPECT_TRUE(Find("btnAddFile")->IsMouseEnabled());
  EXPECT_TRUE(Find("filelist")->IsMouseEnabled());
  EXPECT_TRUE(Find("closebtn")->IsEnabled());
  EXPECT_TRUE(Find("btnExcute")->IsMouseEnabled());
  EXPECT_TRUE(DragAcceptsFiles(window_->GetHWND()));
  window_->GetHWND()->close();
  EXPECT_EQ(window_->GetHWND(), nullptr);
}

TEST_F(MainWindowGui, SettingsMissingFileAndBounds) {
  Open();  // no setting.ini: language 3, encoding 4, no byte order
  EXPECT_EQ(Find<CComboUI>("ComboUI2")->GetCurSel(), 3);
  EXPECT_EQ(Find<CComboUI>("ComboUI1")->GetCurSel(), 4);
  EXPECT_EQ(Find<CComboUI>("ComboUI1")->GetItemText(4), "Shift_JIS");
  EXPECT_FALSE(Find<COptionUI>("OptionBig")->IsSelected());
  EXPECT_FALSE(Find<COptionUI>("OptionBig")->IsMouseEnabled());
  EXPECT_FALSE(fs::exists(Settings()));  // reading writes nothing
  window_.reset();

  struct Case {
    const char* group;
    const char* lang;
    int want_group, want_lang;
  } cases[] = {{"9", "6", 0, 0}, {"-1", "-1", 0, 0}, {"1", "1", 1, 1}, {"8", "3", 8, 3}};
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(Settings(), std::string("[Setting]\npGroupName=") + c.group + "\npDefLangName=" + c.lang +
                                          "\n"));
    Open();
    EXPECT_EQ(Find<CComboUI>("ComboUI2")->GetCurSel(), c.want_lang) << c.group << "/" << c.lang;
    // An index past the list's entries leaves the first selected.
    int count = Find<CComboUI>("ComboUI1")->GetCount();
    EXPECT_EQ(Find<CComboUI>("ComboUI1")->GetCurSel(), c.want_group < count ? c.want_group : 0);
    window_.reset();
  }
}

TEST_F(MainWindowGui, ByteOrderRuleAndWrites) {
  // Both byte-order keys missing: big-endian counts as chosen.
  ASSERT_TRUE(WriteFile(Settings(), "[Setting]\npGroupName=0\npDefLangName=0\n[MoreSet]\nAddTime=true\n"));
  Open();
  auto* big = Find<COptionUI>("OptionBig");
  auto* little = Find<COptionUI>("OptionLittle");
  EXPECT_TRUE(big->IsSelected());
  EXPECT_FALSE(little->IsSelected());
  EXPECT_TRUE(big->IsMouseEnabled());
  EXPECT_FALSE(Find<COptionUI>("opAddTimeToEnd")->IsSelected());  // "true" is not "True"

  little->Selected(true);
  EXPECT_FALSE(big->IsSelected());
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "LittleEndian", ""), "True");
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "BigEndian", ""), "False");

  auto* encoding = Find<CComboUI>("ComboUI1");
  encoding->SelectItem(2);  // UTF-8: no byte order
  EXPECT_FALSE(big->IsSelected());
  EXPECT_FALSE(little->IsSelected());
  EXPECT_FALSE(little->IsMouseEnabled());
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "LittleEndian", ""), "True");  // deselecting writes nothing
  encoding->SelectItem(3);  // UTF-16: live again with the stored choice
  EXPECT_TRUE(little->IsSelected());
  EXPECT_TRUE(little->IsMouseEnabled());

  Find<COptionUI>("opAddTimeToEnd")->Selected(true);
  EXPECT_EQ(win32::IniReadString(Settings(), "MoreSet", "AddTime", ""), "True");
  Find<CComboUI>("ComboUI2")->SelectItem(1);
  EXPECT_EQ(encoding->GetCount(), 2);
  EXPECT_EQ(encoding->GetCurSel(), 0);
  EXPECT_FALSE(big->IsMouseEnabled());

  Click("closebtn");
  QCoreApplication::processEvents();
  EXPECT_EQ(window_->GetHWND(), nullptr);
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "pGroupName", ""), "0");
  EXPECT_EQ(win32::IniReadString(Settings(), "Setting", "pDefLangName", ""), "1");
  EXPECT_EQ(win32::IniReadString(Settings(), "MainWnd", "FileOutPutPath", ""),
            services_.desktop.toStdString() + "/");
  window_.reset();

  // The next start finds the choices again.
  Open();
  EXPECT_EQ(Find<CComboUI>("ComboUI2")->GetCurSel(), 1);
  EXPECT_TRUE(Find<COptionUI>("opAddTimeToEnd")->IsSelected());
}

TEST_F(MainWindowGui, OutputFolderChoice) {
  Open();  // no OutPutSet.ini: the desktop
  auto* folders = Find<CComboUI>("cmbFolderSet");
  auto* edit = Find<CEditUI>("edOutPath");
  EXPECT_EQ(folders->GetCurSel(), 1);
  EXPECT_EQ(edit->GetText(), services_.desktop + "/");
  EXPECT_TRUE(edit->IsReadOnly());
  folders->SelectItem(0);
  EXPECT_EQ(edit->GetText(), "The same folder");
  EXPECT_TRUE(Find<COptionUI>("opAddTimeToEnd")->IsSelected());
  EXPECT_FALSE(Find("BtnOutPath")->IsEnabled());
  folders->SelectItem(3);
  EXPECT_EQ(edit->GetText(), "Specified folder");
  EXPECT_TRUE(Find("BtnOutPath")->IsEnabled());
  services_.folder_answers.push_back("/chosen/out");
  Click("BtnOutPath");
  EXPECT_EQ(edit->GetText(), "/chosen/out");
  window_.reset();

  ASSERT_TRUE(WriteFile(root_ / "cwd/OutPutSet.ini",
                        "[OutputPath]\nFilePath=" + services_.documents.toUpper().toStdString() + "/\n"));
  Open();
  EXPECT_EQ(Find<CComboUI>("cmbFolderSet")->GetCurSel(), 2);
  window_.reset();

  ASSERT_TRUE(WriteFile(root_ / "cwd/OutPutSet.ini", "[OutputPath]\nFilePath=/some/where/\n"));
  Open();
  EXPECT_EQ(Find<CComboUI>("cmbFolderSet")->GetCurSel(), 3);
  EXPECT_EQ(Find<CComboUI>("cmbFolderSet")->GetText(), "/some/where/");
  EXPECT_EQ(Find<CEditUI>("edOutPath")->GetText(), "Specified folder");
}

TEST_F(MainWindowGui, OpensDrawingsAndHelp) {
  Open();
  std::string drawing = Drawing("open/a.vsd");
  services_.open_file_answers.push_back(QString::fromStdString(drawing));
  Click("btnAddFile");
  window_->Manager().SendNotify(List()->GetItemAt(0), "itemactivate");
  window_->Manager().SendNotify(Find("menubtn"), "menu_Help");
  EXPECT_EQ(services_.Opened(), std::vector<QString>({QString::fromStdString(drawing),
                                                      QString::fromStdString((root_ / "prog").string()) +
                                                          "/doc/Shapeglean_en.doc"}));
  EXPECT_TRUE(Boxes().isEmpty());
  // Where nothing opens the help document, the user is told.
  services_.documents_open = false;
  window_->Manager().SendNotify(Find("menubtn"), "menu_Help");
  EXPECT_EQ(Boxes(), QStringList{"Wrong: File can't be open!"});
}

TEST_F(MainWindowGui, LanguageSwitchRebuildsFromAnotherArchive) {
  Open();
  Add(Drawing("a.vsd"));
  ASSERT_EQ(List()->GetCount(), 1);
  UseLanguage(kLanguageJapanese);
  window_->PostMessage(kMsgRebuild);
  QCoreApplication::processEvents();
  EXPECT_EQ(List()->GetCount(), 0);
  EXPECT_TRUE(window_->Files().empty());
  EXPECT_EQ(Find("btnExcute")->GetText(), QString::fromUtf8("実行"));
  Add(Drawing("b.vsd"));
  ASSERT_EQ(List()->GetCount(), 1);
  EXPECT_EQ(List()->CellText(0, 2), QString::fromUtf8("変換待ち"));
}

TEST_F(MainWindowGui, SecondInstanceIsRefused) {
  win32::InstanceCheck check;
  auto first = win32::SingleInstanceGuard::Acquire("Shapeglean.lock", &check);
  ASSERT_TRUE(first);
  SetStringLanguageId(kLangEnglish);  // before the window, the system's language speaks
  EXPECT_EQ(wWinMain(), -1);
  ASSERT_EQ(services_.Boxes().size(), 1u);
  EXPECT_EQ(services_.Boxes()[0].text, "Program has been running.");
}

TEST_F(MainWindowGui, Screenshots) {
  const fs::path folder = ScreenshotFolder();
  const std::pair<int, const char*> languages[] = {
      {kLanguageEnglish, "en"}, {kLanguageJapanese, "jp"}, {kLanguageChinese, "cn"}};
  for (const auto& [number, tag] : languages) {
    UseLanguage(number);
    Open();
    for (const char* name : {"plans/Floor plan 2F.vsd", "network/Rack layout.vsd", "process/Order flow.vsd"}) {
      Add(Drawing(name));
    }
    List()->SelectItem(1);
    QCoreApplication::processEvents();
    QPixmap shot = window_->GetHWND()->grab();
    EXPECT_TRUE(shot.save(QString::fromStdString((folder / (std::string("main-") + tag + ".png")).string())));
    window_.reset();
  }
}

}  // namespace
}  // namespace shapeglean::testing
