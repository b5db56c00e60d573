// What the tests of the conversion run, the dialogs and the menus share: a
// main window over scripted dialogs and a scripted extraction interface,
// with the settings, the current directory and the program folder in the
// test's own folder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QThread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app.h"
#include "bridge/extraction_interface.h"
#include "palisk/scripted_services.h"
#include "palisk/testing.h"
#include "testsupport/testdata.h"
#include "ui/quandel_mivo_wnd.h"

// Readable failures of text comparisons.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace shapeglean::testing {

namespace fs = std::filesystem;

// Lists every file; converts by writing "text of <name>" unless `results`
// names another code for it (or -1: throw). A gate can hold the
// conversion of one file until the test opens it.
class ScriptedExtraction : public ExtractionInterface {
 public:
  struct Call {
    std::string source, destination;
    ExtractOptionsV4 options;
  };

  std::map<std::string, int32_t> results;          // by file name
  std::map<std::string, int32_t> run_detections;   // by file name, once `running` is set
  std::atomic<bool> running{false};
  std::map<std::string, std::string> properties;   // field name → UTF-8 text
  std::string hold;                                // file name whose conversion waits for Release()

  int32_t Detect(const std::string& source, FormatInfo* info) override {
    const std::string name = fs::path(source).filename().string();
    if (running.load()) {
      std::lock_guard<std::mutex> lock(guard_);
      if (auto it = run_detections.find(name); it != run_detections.end()) return it->second;
    }
    std::snprintf(info->name, sizeof info->name, "%s", "Visio 2003/2007");
    info->state = 0;
    return 0;
  }

  int32_t GetText(const std::string& source, const std::string& destination, ExtractOptionsV4* options,
                  ExtractErrorCallback) override {
    const std::string name = fs::path(source).filename().string();
    int32_t result = 0;
    {
      std::unique_lock<std::mutex> lock(guard_);
      calls_.push_back({source, destination, *options});
      max_in_flight_ = std::max(max_in_flight_, ++in_flight_);
      if (name == hold) {
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
      }
      if (auto it = results.find(name); it != results.end()) result = it->second;
      --in_flight_;
    }
    if (result == -1) throw std::runtime_error("scripted failure");
    if (result == 0) testsupport::WriteFile(destination, "text of " + name);
    return result;
  }

  int32_t GetProperty(const std::string& source, ExtractOptionsV4* options, DocPropertyRecord* record) override {
    std::lock_guard<std::mutex> lock(guard_);
    property_source_ = source;
    property_options_ = *options;
    auto put = [&](char* field, size_t width, const char* key) {
      if (auto it = properties.find(key); it != properties.end())
        std::snprintf(field, width, "%s", it->second.c_str());
    };
    put(record->title, sizeof record->title, "title");
    put(record->author, sizeof record->author, "author");
    put(record->keywords, sizeof record->keywords, "keywords");
    put(record->subject, sizeof record->subject, "subject");
    put(record->comment, sizeof record->comment, "comment");
    put(record->manager, sizeof record->manager, "manager");
    put(record->company, sizeof record->company, "company");
    put(record->category, sizeof record->category, "category");
    return 0;
  }

  bool Held() {
    std::lock_guard<std::mutex> lock(guard_);
    return held_;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(guard_);
      released_ = true;
    }
    changed_.notify_all();
  }
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> lock(guard_);
    return calls_;
  }
  int MaxInFlight() {
    std::lock_guard<std::mutex> lock(guard_);
    return max_in_flight_;
  }
  ExtractOptionsV4 PropertyOptions() {
    std::lock_guard<std::mutex> lock(guard_);
    return property_options_;
  }

 private:
  std::mutex guard_;
  std::condition_variable changed_;
  std::vector<Call> calls_;
  int in_flight_ = 0, max_in_flight_ = 0;
  bool held_ = false, released_ = false;
  std::string property_source_;
  ExtractOptionsV4 property_options_{};
};

inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 2) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done()) return true;
    QThread::msleep(2);
  }
  return done();
}

// Where the GUI tests leave their screenshots: build/screenshots.
inline fs::path ScreenshotFolder() {
  const char* build = getenv("PROJECT_BUILD_DIR");
  const fs::path folder = fs::path(build != nullptr ? build : ".") / "screenshots";
  fs::create_directories(folder);
  return folder;
}

class GuiFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    palisk::EnsureTestApplication();
    root_ = testsupport::TempDir();
    for (const char* sub : {"home/Desktop", "home/Documents", "cwd", "prog", "data", "out"})
      fs::create_directories(root_ / sub);
    old_home_ = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", (root_ / "home").c_str(), 1);
    if (UseRealInterface()) {
      // The interface library is found beside the program, whose path may
      // be relative to the directory the test started in: bind it first.
      FormatInfo info{};
      Extraction().Detect("", &info);
    }
    old_cwd_ = fs::current_path();
    fs::current_path(root_ / "cwd");
    SetProgramFolder((root_ / "prog").string());
    services_.desktop = QString::fromStdString((root_ / "home/Desktop").string());
    services_.documents = QString::fromStdString((root_ / "home/Documents").string());
    palisk::SetServices(&services_);
    SetExtraction(UseRealInterface() ? nullptr : &extraction_);
    palisk::CPaintManagerUI::SetResourcePath(palisk::CPaintManagerUI::GetInstancePath() + "skin");
    UseLanguage(kLanguageEnglish);
  }

  void TearDown() override {
    extraction_.Release();
    window_.reset();
    services_.on_box = nullptr;
    SetExtraction(nullptr);
    palisk::SetServices(nullptr);
    palisk::SetDialogLanguage(kLangEnglish);
    SetProgramFolder("");
    fs::current_path(old_cwd_);
    setenv("HOME", old_home_.c_str(), 1);
  }

  virtual bool UseRealInterface() const { return false; }

  // The language of the skin, the strings and Qt's own dialogs.
  void UseLanguage(int number) {
    SetStringLanguage(number);
    MapLanguageToStringLanguage();
    palisk::SetDialogLanguage(StringLanguageId());
    palisk::CPaintManagerUI::SetResourceZip(SkinArchiveOf(number));
  }

  void Open() {
    window_ = std::make_unique<QuandelMivoWnd>();
    ASSERT_NE(window_->Create(nullptr, "Shapeglean", palisk::WS_VISIBLE | palisk::WS_OVERLAPPEDWINDOW, 0, 0, 0, 600,
                              320),
              nullptr);
    window_->ShowWindow(true);
  }

  template <typename T = palisk::CControlUI>
  T* Find(const char* name) {
    return dynamic_cast<T*>(window_->Manager().FindControl(name));
  }
  void Click(const char* name) { Find<palisk::CButtonUI>(name)->Activate(); }
  // The window of type T the main window has open, if any.
  template <typename T>
  T* Opened() {
    for (palisk::CWindowWnd* window : window_->OwnedWindows())
      if (auto* found = dynamic_cast<T*>(window)) return found;
    return nullptr;
  }
  palisk::CListUI* List() { return Find<palisk::CListUI>("filelist"); }

  std::string Drawing(const std::string& relative, const std::string& bytes = "drawing") {
    fs::path path = root_ / "data" / relative;
    fs::create_directories(path.parent_path());
    testsupport::WriteFile(path, bytes);
    return path.string();
  }
  void Add(const std::string& path) {
    services_.open_file_answers.push_back(QString::fromStdString(path));
    Click("btnAddFile");
  }
  // Output into a folder of the user's choice.
  void OutputTo(const fs::path& folder) {
    Find<palisk::CComboUI>("cmbFolderSet")->SelectItem(3);
    services_.folder_answers.push_back(QString::fromStdString(folder.string()));
    Click("BtnOutPath");
  }
  QStringList Statuses() {
    QStringList statuses;
    for (const FileItem& f : window_->Files()) statuses << f.status;
    return statuses;
  }
  QStringList Boxes() {
    QStringList boxes;
    for (const auto& box : services_.Boxes()) boxes << box.caption + ": " + box.text;
    return boxes;
  }
  // Starts a run and waits for its end; `at_end` gets the statuses shown
  // while the closing message was up.
  void RunToEnd(QStringList* at_end = nullptr) {
    services_.on_box = [this, at_end](const palisk::ScriptedServices::Box& box) {
      if (at_end != nullptr && box.caption == "Notice" && (box.text == "Success!" || box.text == "Failed!"))
        *at_end = Statuses();
    };
    Click("btnExcute");
    ASSERT_TRUE(WaitFor([&] { return window_->GetRunState() == RunState::kIdle; }));
  }
  std::string Settings() { return (root_ / "prog" / "setting.ini").string(); }
  // The engine's configuration archive where the engine looks for it: the
  // current directory.
  void PlaceConfiguration() {
    const fs::path archive = fs::path(palisk::CPaintManagerUI::GetInstancePath().ToUtf8()) / "etc.dll";
    std::error_code ec;
    fs::copy_file(archive, root_ / "cwd/etc.dll", fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << "no " << archive;
  }

  fs::path root_, old_cwd_;
  std::string old_home_;
  palisk::ScriptedServices services_;
  ScriptedExtraction extraction_;
  std::unique_ptr<QuandelMivoWnd> window_;
};

}  // namespace shapeglean::testing
