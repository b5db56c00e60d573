// The conversion run over a scripted extraction interface: starting and
// stopping, the checks before a start, output names (stems, time stamps,
// taken names, a drawing that would be its own output, long paths), the
// overwrite question, the request record sent, failures of detection, of
// the engine and of the run itself, and the closing message.
#include <cstring>

#include <QImage>
#include <QTimer>

#include "gui_fixture.h"
#include "ui/conversion_worker.h"
#include "win32/ini_file.h"

namespace shapeglean::testing {
namespace {

using palisk::IDCANCEL;
using palisk::IDOK;
using testsupport::ReadFile;
using testsupport::WriteFile;

class ConversionRunGui : public GuiFixture {
 protected:
  void TearDown() override {
    SetRunClock(nullptr);
    GuiFixture::TearDown();
  }
  QString Wait() { return "Waiting conversion"; }
};

TEST_F(ConversionRunGui, StopsAfterTheFileInHandAndIgnoresClicksWhileStopping) {
  Open();
  for (const char* name : {"1.vsd", "2.vsd", "3.vsd", "4.vsd"}) Add(Drawing(name));
  OutputTo(root_ / "out");
  ASSERT_TRUE(WriteFile(Settings(), "[MoreSet]\nLineStatus=True\n"));
  window_->SetOpenPassword("kept");
  window_->SetLineOutput(true);
  extraction_.hold = "2.vsd";
  QStringList at_end;
  services_.on_box = [&](const palisk::ScriptedServices::Box& box) {
    if (box.caption == "Notice") at_end = Statuses();
  };

  Click("btnExcute");
  EXPECT_EQ(window_->GetRunState(), RunState::kRunning);
  EXPECT_EQ(Find("btnExcute")->GetText(), "Cancel");
  EXPECT_FALSE(Find("btnAddFile")->IsMouseEnabled());
  EXPECT_FALSE(Find("filelist")->IsMouseEnabled());
  ASSERT_TRUE(WaitFor([&] { return extraction_.Held() && Statuses()[1] == "Converting"; }));
  EXPECT_EQ(Statuses(), QStringList({"Success!", "Converting", Wait(), Wait()}));

  Click("btnExcute");  // stop
  EXPECT_EQ(window_->GetRunState(), RunState::kStopping);
  Click("btnExcute");  // ignored while stopping: no second run
  Click("btnExcute");
  EXPECT_EQ(window_->GetRunState(), RunState::kStopping);
  extraction_.Release();
  ASSERT_TRUE(WaitFor([&] { return window_->GetRunState() == RunState::kIdle; }));

  ASSERT_EQ(extraction_.Calls().size(), 2u);  // file 3 onward untouched
  EXPECT_EQ(extraction_.MaxInFlight(), 1);
  EXPECT_FALSE(fs::exists(root_ / "out/3.txt"));
  EXPECT_EQ(at_end, QStringList({"Success!", "Success!", Wait(), Wait()}));
  EXPECT_EQ(Boxes(), QStringList{"Notice: Success!"});  // no file of the stopped run failed
  EXPECT_EQ(Statuses(), QStringList({Wait(), Wait(), Wait(), Wait()}));
  EXPECT_EQ(Find("btnExcute")->GetText(), "Start");
  EXPECT_TRUE(Find("btnAddFile")->IsMouseEnabled());
  EXPECT_TRUE(Find("btnExcute")->IsMouseEnabled());
  EXPECT_EQ(win32::IniReadString(Settings(), "MoreSet", "LineStatus", ""), "False");
  EXPECT_TRUE(window_->OpenPassword().isEmpty());
  EXPECT_FALSE(window_->LineOutput());
}

TEST_F(ConversionRunGui, ClosingTheWindowMidRunEndsAfterTheFileInHand) {
  Open();
  for (const char* name : {"1.vsd", "2.vsd", "3.vsd"}) Add(Drawing(name));
  OutputTo(root_ / "out");
  extraction_.hold = "1.vsd";
  QWidget* close_button = Find("closebtn")->GetWidget();
  const QImage idle_look = close_button->grab().toImage();
  Click("btnExcute");
  ASSERT_TRUE(WaitFor([&] { return extraction_.Held(); }));
  // The close button does nothing now, and looks it.
  EXPECT_FALSE(close_button->isEnabled());
  EXPECT_NE(close_button->grab().toImage(), idle_look);
  window_->GetHWND()->close();  // refused while the run is on
  QCoreApplication::processEvents();
  ASSERT_NE(window_->GetHWND(), nullptr);
  QTimer::singleShot(50, [&] { extraction_.Release(); });
  window_.reset();  // the program ends: the run stops and its thread is joined
  EXPECT_EQ(extraction_.Calls().size(), 1u);
}

TEST_F(ConversionRunGui, ChecksBeforeStarting) {
  Open();
  OutputTo(root_ / "out");
  Click("btnExcute");  // nothing listed
  Find<palisk::CComboUI>("cmbFolderSet")->SelectItem(3);
  Find<palisk::CEditUI>("edOutPath")->SetText("SPECIFIED folder");
  Add(Drawing("a.vsd"));
  Click("btnExcute");
  Find<palisk::CEditUI>("edOutPath")->SetText("");
  Click("btnExcute");
  OutputTo(root_ / "out");
  const_cast<std::vector<FileItem>&>(window_->Files())[0].encryption = "Encrypted";
  Click("btnExcute");
  EXPECT_EQ(Boxes(), QStringList({"Notice: Please add Visio file to be converted!",
                                  "Notice: Output path can't be empty!", "Notice: Output path can't be empty!",
                                  "Notice: No decrypt the file exists in the list!"}));
  EXPECT_EQ(window_->GetRunState(), RunState::kIdle);
  EXPECT_TRUE(extraction_.Calls().empty());
  const_cast<std::vector<FileItem>&>(window_->Files())[0].encryption = "Decrypted";
  RunToEnd();
  EXPECT_EQ(extraction_.Calls().size(), 1u);
}

TEST_F(ConversionRunGui, OverwriteQuestionOkReplacesCancelFailsOnlyThatFile) {
  Open();
  for (const char* name : {"a.vsd", "b.vsd", "c.vsd"}) Add(Drawing(name));
  OutputTo(root_ / "out");
  ASSERT_TRUE(WriteFile(root_ / "out/a.txt", "old a"));
  ASSERT_TRUE(WriteFile(root_ / "out/b.txt", "old b"));
  services_.box_answers = {IDOK, IDCANCEL};
  QStringList at_end;
  RunToEnd(&at_end);
  EXPECT_EQ(ReadFile(root_ / "out/a.txt"), "text of a.vsd");
  EXPECT_EQ(ReadFile(root_ / "out/b.txt"), "old b");
  EXPECT_EQ(ReadFile(root_ / "out/c.txt"), "text of c.vsd");
  EXPECT_EQ(at_end, QStringList({"Success!", "Failed!", "Success!"}));
  const QString question = "Notice: Output position have the same file, whether to cover?";
  EXPECT_EQ(Boxes(), QStringList({question, question, "Notice: Failed!"}));
  EXPECT_EQ(services_.Boxes()[0].flags, palisk::MB_OKCANCEL);
  ASSERT_EQ(extraction_.Calls().size(), 2u);
}

TEST_F(ConversionRunGui, TimeStampedNamesNeverReplaceEachOther) {
  std::tm when{};
  when.tm_year = 2024 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 5;
  when.tm_hour = 9;
  when.tm_min = 15;
  when.tm_sec = 2;
  when.tm_isdst = -1;
  const std::time_t fixed = std::mktime(&when);
  SetRunClock([fixed] { return fixed; });
  std::string suffix;
  EXPECT_EQ(MakeTimeSuffix(&suffix), 1);
  EXPECT_EQ(suffix, "_20240305_091502");

  Open();
  Add(Drawing("x/plan.vsd"));
  Add(Drawing("y/plan.vsd"));
  Add(Drawing("z/plan.vsd"));
  OutputTo(root_ / "out");
  ASSERT_TRUE(WriteFile(root_ / "out/plan_20240305_091502_1.txt", "taken"));
  Find<palisk::COptionUI>("opAddTimeToEnd")->Selected(true);
  RunToEnd();
  std::vector<std::string> destinations;
  for (const auto& call : extraction_.Calls()) destinations.push_back(fs::path(call.destination).filename());
  EXPECT_EQ(destinations, std::vector<std::string>({"plan_20240305_091502.txt", "plan_20240305_091502_2.txt",
                                                    "plan_20240305_091502_3.txt"}));
  EXPECT_EQ(ReadFile(root_ / "out/plan_20240305_091502_1.txt"), "taken");
  EXPECT_EQ(Boxes(), QStringList{"Notice: Success!"});  // no question with a time stamp
}

TEST_F(ConversionRunGui, OneStemForTheTestAndTheDestination) {
  struct Case {
    const char* name;
    const char* stem;
  } cases[] = {{"plan.vsd", "plan"}, {"drawing", "drawing"}, {"ab", "ab"}, {"a.b.vsd", "a.b"}, {".vsd", ".vsd"},
               {"x.", "x"}};
  for (const Case& c : cases) EXPECT_EQ(OutputStem(c.name), c.stem) << c.name;

  Open();
  Add(Drawing("drawing"));
  Add(Drawing("ab"));
  OutputTo(root_ / "out");
  ASSERT_TRUE(WriteFile(root_ / "out/drawing.txt", "old"));  // asked about, as the name written
  services_.box_answers = {IDCANCEL};
  RunToEnd();
  EXPECT_EQ(ReadFile(root_ / "out/drawing.txt"), "old");
  ASSERT_EQ(extraction_.Calls().size(), 1u);
  EXPECT_EQ(extraction_.Calls()[0].destination, (root_ / "out/ab.txt").string());
}

TEST_F(ConversionRunGui, ADrawingNeverBecomesItsOwnOutput) {
  Open();
  const std::string source = Drawing("same/x.txt", "drawing bytes");
  Add(source);
  Add(Drawing("same/y.vsd"));
  Find<palisk::CComboUI>("cmbFolderSet")->SelectItem(0);  // "The same folder", which also adds the time
  Find<palisk::COptionUI>("opAddTimeToEnd")->Selected(false);
  QStringList at_end;
  RunToEnd(&at_end);
  EXPECT_EQ(ReadFile(source), "drawing bytes");
  EXPECT_EQ(at_end, QStringList({"Failed!", "Success!"}));
  ASSERT_EQ(extraction_.Calls().size(), 1u);  // x.txt never reached the engine
  EXPECT_EQ(extraction_.Calls()[0].destination, (root_ / "data/same/y.txt").string());
  // No question for x.txt; y.txt is new beside its source: the warning.
  EXPECT_EQ(Boxes(), QStringList({"Notice: You save the settings will overwrite the source file.\nThe file being "
                                  "executed operation, forced to save will cause damage to files.\n\nDate will be "
                                  "added after the original file name suffix output.",
                                  "Notice: Failed!"}));
}

TEST_F(ConversionRunGui, LongPathsReachTheInterfaceWhole) {
  Open();
  std::string deep;
  for (int i = 0; i < 8; ++i) deep += "a-folder-with-a-long-name-" + std::to_string(i) + "/";
  const std::string source = Drawing(deep + "a drawing with a long name.vsd");
  ASSERT_GT(source.size(), 300u);
  Add(source);
  const fs::path out = root_ / "out" / deep;
  fs::create_directories(out);
  OutputTo(out);
  RunToEnd();
  ASSERT_EQ(extraction_.Calls().size(), 1u);
  EXPECT_EQ(extraction_.Calls()[0].source, source);
  EXPECT_EQ(extraction_.Calls()[0].destination, (out / "a drawing with a long name.txt").string());
}

TEST_F(ConversionRunGui, FailuresShowTheirMessagesAndTheEndTellsTheTruth) {
  Open();
  for (const char* name : {"long.vsd", "odd.vsd", "broken.vsd", "throws.vsd"}) Add(Drawing(name));
  OutputTo(root_ / "out");
  extraction_.results = {{"long.vsd", FileLengthOver}, {"odd.vsd", 9999}, {"broken.vsd", InvalidFile},
                         {"throws.vsd", -1}};
  QStringList at_end;
  RunToEnd(&at_end);
  EXPECT_EQ(at_end, QStringList({"Failed!", "Failed!", "Failed!", "Failed!"}));
  // 9999 has no message; an exception is "Other error!" and the run goes on.
  EXPECT_EQ(Boxes(), QStringList({"Wrong: FileLengthOver", "Wrong: Invalid Visio file!", "Wrong: Other error!",
                                  "Notice: Failed!"}));
  EXPECT_EQ(window_->GetRunState(), RunState::kIdle);
  EXPECT_EQ(Statuses(), QStringList({Wait(), Wait(), Wait(), Wait()}));
}

TEST_F(ConversionRunGui, DetectionFailureShowsItsOwnMessageAndConvertsAllTheSame) {
  Open();
  Add(Drawing("invalid.vsd"));
  Add(Drawing("unknown.vsd"));
  OutputTo(root_ / "out");
  extraction_.run_detections = {{"invalid.vsd", InvalidFile}, {"unknown.vsd", 9999}};
  extraction_.running = true;
  RunToEnd();
  EXPECT_EQ(Boxes(), QStringList({"Wrong: Invalid Visio file!", "Wrong: CantDetectFile", "Notice: Success!"}));
  EXPECT_EQ(extraction_.Calls().size(), 2u);
}

TEST_F(ConversionRunGui, TheRequestRecordSent) {
  struct Case {
    int language;
    int encoding;
    const char* byte_order;  // the option to select, if any
    const char* charset;
    const char* language_name;
    int32_t big_endian;
  } cases[] = {
      {0, 0, "OptionLittle", "ISO-10646-UCS-2", "Japanese", 0},  // index 0 sends "Japanese"
      {0, 3, nullptr, "UTF-16", "Japanese", 0},                  // the stored choice comes back
      {0, 1, "OptionBig", "ISO-10646-UCS-4", "Japanese", 1},
      {0, 3, "OptionLittle", "UTF-16", "Japanese", 0},
      {0, 2, nullptr, "UTF-8", "Japanese", 1},  // no byte order for UTF-8: the option is not live
      {4, 0, nullptr, "ISO-8859-1", "English", 1},
      {1, 1, nullptr, "GB18030", "Simplified Chinese", 1},
      {5, 0, nullptr, "KoreanKSC", "Korean", 1},
  };
  Open();
  Add(Drawing("a.vsd"));
  OutputTo(root_ / "out");
  size_t calls = 0;
  for (const Case& c : cases) {
    Find<palisk::CComboUI>("ComboUI2")->SelectItem(c.language);
    Find<palisk::CComboUI>("ComboUI1")->SelectItem(c.encoding);
    if (c.byte_order != nullptr) Find<palisk::COptionUI>(c.byte_order)->Selected(true);
    fs::remove(root_ / "out/a.txt");
    RunToEnd();
    ASSERT_EQ(extraction_.Calls().size(), ++calls);
    const ExtractOptionsV4 sent = extraction_.Calls().back().options;
    unsigned char bytes[sizeof sent];
    std::memcpy(bytes, &sent, sizeof sent);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes), c.charset);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 256), c.language_name);
    int32_t words[4];
    std::memcpy(words, bytes + 512, sizeof words);
    EXPECT_EQ(words[0], c.big_endian) << c.charset;
    EXPECT_EQ(words[1], 8);
    EXPECT_EQ(words[2], 0);
    EXPECT_EQ(static_cast<uint32_t>(words[3]), 0x80000000u);
    EXPECT_EQ(bytes[528] | bytes[529], 0);
  }
}

}  // namespace
}  // namespace shapeglean::testing
