// The conversion run (see conversion_worker.h).
//
// Output names: the folder (the chosen output folder, or the drawing's own
// with "The same folder"), the drawing's name less its last extension, and
// ".txt"; with "add the time", "_YYYYMMDD_hhmmss" before ".txt", and "_1",
// "_2", ... after it when that name is taken already (two drawings of the
// same name from two folders in one second). A drawing that would be its
// own output (a text drawing beside itself) fails without a question and
// without reaching the engine: replacing it would destroy it while it is
// read. Paths reach the interface whole; what it cannot take it answers
// with a code like any other failure.
#include "ui/conversion_worker.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>

#include <sys/stat.h>

#include "app.h"
#include "bridge/engine_messages.h"
#include "bridge/extraction_interface.h"
#include "ui/quandel_mivo_wnd.h"

namespace shapeglean {
namespace {

namespace fs = std::filesystem;

std::mutex clock_guard;
std::function<std::time_t()> run_clock;

std::time_t Now() {
  {
    std::lock_guard<std::mutex> lock(clock_guard);
    if (run_clock) return run_clock();
  }
  return std::time(nullptr);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::u8path(path), ec);
}

// Whether writing `destination` would write over `source` itself.
bool IsSameFile(const std::string& source, const std::string& destination) {
  std::error_code ec;
  return fs::equivalent(fs::u8path(source), fs::u8path(destination), ec) && !ec;
}

// Copies `text` into a fixed text field, always terminated.
template <size_t N>
void CopyField(char (&field)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// The first free name of "<stem><suffix>[_n].txt" in `folder`.
std::string FreeStampedName(const std::string& folder, const std::string& stem, const std::string& suffix) {
  std::string name = stem + suffix + ".txt";
  for (int n = 1; Exists(folder + name) && n < 100000; ++n) name = stem + suffix + "_" + std::to_string(n) + ".txt";
  return name;
}

// Makes the folder `path` and every missing parent, each with mode 0755
// (less the umask), as the Windows shell keeps the user's desktop and
// documents folders, which are often missing on Linux until something is
// written there.
void MakeFolders(const std::string& path) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty()) ::mkdir(part.c_str(), 0755);  // one that exists stays as it is
    if (end == std::string::npos) break;
  }
}

enum class FileOutcome { kSuccess, kFailed };

// One file of the run, from "Converting" to its final state.
FileOutcome ConvertOne(RunHost* host, const RunPlan& plan, ConversionOptions& options, size_t index) {
  const RunSource& file = plan.files[index];
  host->PostStatus(index, 165);
  const std::string source = WithSlash(file.folder) + file.name;
  options.output_folder = WithSlash(plan.same_folder ? file.folder : plan.output_path);
  const std::string stem = OutputStem(file.name);

  if (plan.add_time) {
    std::string suffix;
    MakeTimeSuffix(&suffix);
    options.output_name = FreeStampedName(options.output_folder, stem, suffix);
  } else {
    options.output_name.clear();
    const std::string test_name = options.output_folder + stem + ".txt";
    if (IsSameFile(source, test_name)) return FileOutcome::kFailed;
    if (Exists(test_name)) {
      if (ShowLangMessageBox(host->RunOwner(), 237, 217, palisk::MB_OKCANCEL) != palisk::IDOK)
        return FileOutcome::kFailed;
    } else if (plan.same_folder) {
      ShowLangMessageBox(host->RunOwner(), 236, 217, palisk::MB_OK);
    }
  }
  if (!options.output_name.empty()) options.output_name_flag = 1;

  ExtractOptionsV3 v3{};
  ExtractOptionsV4 v4{};
  FillInterfaceOptions(options, &v3, &v4);
  const auto started = std::chrono::steady_clock::now();
  MakeJobOutputName(options, source);
  if (IsSameFile(source, options.output_name)) return FileOutcome::kFailed;

  FormatInfo format{};
  const int32_t detected = Extraction().Detect(source, &format);
  if (detected != 0) ShowDetectionError(detected);

  if (plan.make_output) MakeFolders(options.output_folder);
  auto job = std::make_unique<ConversionJob>();
  FillConversionJob(job.get(), options, source, v3, v4);
  const int32_t result = RunGetTextV4(job.get());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("Elapsed time = %.0f seconds\n", seconds);
  std::fflush(stdout);
  return result == 0 ? FileOutcome::kSuccess : FileOutcome::kFailed;
}

}  // namespace

void SetRunClock(std::function<std::time_t()> clock) {
  std::lock_guard<std::mutex> lock(clock_guard);
  run_clock = std::move(clock);
}

int MakeTimeSuffix(std::string* suffix) {
  const std::time_t now = Now();
  std::tm local{};
  localtime_r(&now, &local);
  char text[80];
  std::snprintf(text, sizeof text, "_%04d%02d%02d_%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  *suffix = text;
  return 1;
}

std::string OutputStem(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name.substr(0, dot);
}

ConversionOptions MakeRunOptions(const RunPlan& plan) {
  ConversionOptions options;
  if (!plan.charset.empty()) options.charset = plan.charset;
  options.language = QuandelMivoWnd::LanguageNameOf(plan.language_index);
  // Little-endian only where the option is live and chosen.
  options.big_endian = (plan.little_live && plan.little_selected) ? 0 : 1;
  return options;
}

void MakeJobOutputName(ConversionOptions& options, const std::string& source) {
  if (options.output_name_flag != 0) {
    options.output_name = options.output_folder + OutputStem(options.output_name) + ".txt";
  } else {
    const size_t slash = source.rfind('/');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    options.output_name = options.output_folder + OutputStem(name) + ".txt";
  }
}

void FillInterfaceOptions(const ConversionOptions& options, ExtractOptionsV3* v3, ExtractOptionsV4* v4) {
  *v4 = ExtractOptionsV4{};
  CopyField(v4->charset, options.charset);
  CopyField(v4->language, options.language);
  v4->big_endian = options.big_endian;
  v4->flags_a = options.flags_a;
  v4->flags_b = options.flags_b;
  v4->length_limit = static_cast<int32_t>(options.length_limit);
  v4->value16 = options.value16;
  *v3 = ExtractOptionsV3{};
  v3->charset = options.charset.c_str();
  v3->language = options.language.c_str();
  v3->big_endian = options.big_endian;
  v3->flags_a = options.flags_a;
  v3->flags_b = options.flags_b;
  v3->length_limit = static_cast<int32_t>(options.length_limit);
  v3->value16 = options.value16;
}

void FillConversionJob(ConversionJob* job, const ConversionOptions& options, const std::string& source,
                       const ExtractOptionsV3& v3, const ExtractOptionsV4& v4) {
  job->password = options.password;
  job->options_v3 = v3;
  job->options_v4 = v4;
  job->source = source;
  job->destination = options.output_name;
}

int ConversionWorkerProc(RunHost* host, const RunPlan& plan) {
  MapLanguageToStringLanguage();
  bool any_failed = false;
  ConversionOptions options = MakeRunOptions(plan);
  for (size_t index = 0; index < plan.files.size() && host->RunGoesOn(); ++index) {
    FileOutcome outcome = FileOutcome::kFailed;
    try {
      outcome = ConvertOne(host, plan, options, index);
    } catch (...) {
      ShowLangMessageBox(nullptr, 227, 190, palisk::MB_OK);
    }
    if (outcome == FileOutcome::kFailed) any_failed = true;
    host->PostStatus(index, outcome == FileOutcome::kSuccess ? 166 : 238);
  }
  // The closing message tells the truth: "Success!" only when no file of
  // the run failed.
  ShowLangMessageBox(host->RunOwner(), any_failed ? 238 : 166, 137, palisk::MB_OK);
  host->PostRunEnded();
  return 0;
}

}  // namespace shapeglean
