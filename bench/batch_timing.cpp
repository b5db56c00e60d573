// Times a batch of drawings through the desktop program's conversion run
// (offscreen window, every message box answered OK) against the same
// drawings converted by the extraction interface's GetText_V4 alone, with
// the same request. Prints the median of N runs of each and the run's
// overhead per file. Usage: batch_timing <folder of drawings> [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QThread>

#include "app.h"
#include "bridge/extraction_interface.h"
#include "palisk/scripted_services.h"
#include "ui/quandel_mivo_wnd.h"

namespace fs = std::filesystem;
using namespace shapeglean;

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Pump(const std::function<bool()>& done) {
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(200);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder of drawings> [runs]\n", argv[0]);
    return 2;
  }
  const fs::path drawings = fs::absolute(argv[1]);
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const fs::path bin = fs::path(QCoreApplication::applicationDirPath().toStdString());
  const fs::path work = fs::temp_directory_path() / ("batch-timing-" + std::to_string(getpid()));
  fs::create_directories(work / "out");
  fs::copy_file(bin / "etc.dll", work / "etc.dll", fs::copy_options::overwrite_existing);
  fs::current_path(work);
  SetProgramFolder(work.string());
  // The engine starts on the first call, from the configuration archive in
  // the current directory.
  FormatInfo probe{};
  Extraction().Detect("", &probe);

  palisk::ScriptedServices services;
  palisk::SetServices(&services);
  palisk::CPaintManagerUI::SetResourcePath(palisk::CPaintManagerUI::GetInstancePath() + "skin");
  palisk::CPaintManagerUI::SetResourceZip(SkinArchiveOf(kLanguageEnglish));
  SetStringLanguage(kLanguageEnglish);

  auto window = std::make_unique<QuandelMivoWnd>();
  window->Create(nullptr, "Shapeglean", palisk::WS_VISIBLE | palisk::WS_OVERLAPPEDWINDOW, 0, 0, 0, 600, 320);
  services.folder_answers.push_back(QString::fromStdString(drawings.string()));
  auto find = [&](const char* name) { return window->Manager().FindControl(name); };
  dynamic_cast<palisk::CButtonUI*>(find("btnAddFolder"))->Activate();
  Pump([&] { return !window->IsBusy(); });
  const std::vector<FileItem> files = window->Files();
  if (files.empty()) {
    std::fprintf(stderr, "no drawing of %s was listed\n", drawings.c_str());
    return 1;
  }
  dynamic_cast<palisk::CComboUI*>(find("ComboUI2"))->SelectItem(0);
  dynamic_cast<palisk::CComboUI*>(find("ComboUI1"))->SelectItem(2);  // UTF-8
  dynamic_cast<palisk::CComboUI*>(find("cmbFolderSet"))->SelectItem(3);
  services.folder_answers.push_back(QString::fromStdString((work / "out").string()));
  dynamic_cast<palisk::CButtonUI*>(find("BtnOutPath"))->Activate();

  ExtractOptionsV4 options{};
  std::snprintf(options.charset, sizeof options.charset, "UTF-8");
  std::snprintf(options.language, sizeof options.language, "Japanese");
  options.big_endian = 1;
  options.flags_a = 8;
  options.length_limit = static_cast<int32_t>(0x80000000u);

  std::vector<double> through_run, alone;
  int failures = 0;
  for (int r = 0; r < runs; ++r) {
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    auto start = std::chrono::steady_clock::now();
    dynamic_cast<palisk::CButtonUI*>(find("btnExcute"))->Activate();
    Pump([&] { return window->GetRunState() == RunState::kIdle; });
    through_run.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    failures = 0;
    start = std::chrono::steady_clock::now();
    for (const FileItem& file : files) {
      ExtractOptionsV4 request = options;
      const std::string name = file.name.toStdString();
      const std::string dest = (work / "out" / (name.substr(0, name.rfind('.')) + ".txt")).string();
      const int32_t code = Extraction().GetText((file.folder + file.name).toStdString(), dest, &request, nullptr);
      if (code != 0 && failures++ == 0 && r == 0) std::fprintf(stderr, "%s: %d\n", name.c_str(), code);
    }
    alone.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  window.reset();
  palisk::SetServices(nullptr);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work);

  const double run_s = Median(through_run), alone_s = Median(alone);
  std::printf("files: %zu (GetText_V4 failures: %d), runs: %d\n", files.size(), failures, runs);
  std::printf("through the conversion run: %.3f s (median)\n", run_s);
  std::printf("GetText_V4 alone:           %.3f s (median)\n", alone_s);
  std::printf("overhead per file:          %.2f ms\n", (run_s - alone_s) * 1000.0 / files.size());
  return 0;
}
