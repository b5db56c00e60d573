// The conversion run: one worker thread that takes the listed drawings in
// order, forms each output name, asks before replacing a file, fills the
// request record and hands the file to the extraction interface, then
// reports each file's state to the main window.
//
// The main window takes everything the run needs at its start, on the
// user-interface thread (RunPlan); the worker touches no control. It
// posts state changes to the window, asks its questions through
// message boxes that the user-interface thread shows while the worker
// waits, and checks between files whether the run goes on. The window
// joins the thread and puts itself back to idle when the worker is done.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dalvex/extract_records.h"
#include "palisk/types.h"
#include "travix/travix.h"

namespace shapeglean {

// The run's option block, filled at the start of every run.
struct ConversionOptions {
  int32_t sub_job_count = 1;
  std::string output_folder;  // ends in '/'
  std::string output_name;    // the time-stamped name, then the destination path
  std::string charset = "Shift_JIS";
  std::string language = "Japanese";
  int32_t big_endian = 1;
  uint32_t flags_a = 8;
  uint32_t flags_b = 0;
  std::string password;
  int32_t output_name_flag = 0;
  uint32_t length_limit = 0x80000000u;  // no limit
  uint16_t value16 = 0;
};

// One file's request. The V3 record is filled as the interface's older
// operations would take it, and not sent.
struct ConversionJob {
  std::string password;
  int32_t total_pages = 0;
  DocPropertyRecord properties{};
  ExtractOptionsV3 options_v3{};
  ExtractOptionsV4 options_v4{};
  std::string source;
  std::string destination;
  int32_t done = 0;
};

// One listed drawing as the run sees it.
struct RunSource {
  std::string folder;  // ends in '/'
  std::string name;
};

// What the run takes from the window at its start.
struct RunPlan {
  std::vector<RunSource> files;
  bool add_time = false;       // "opAddTimeToEnd"
  std::string output_path;     // the text of "edOutPath"
  bool same_folder = false;    // "cmbFolderSet" on "The same folder"
  bool make_output = false;    // "cmbFolderSet" on the desktop or documents: made when first written
  std::string charset;         // the selected entry of "ComboUI1" (empty: none)
  int language_index = 0;      // "ComboUI2"
  bool little_live = false;    // "OptionLittle" takes the mouse
  bool little_selected = false;
};

// What the worker needs of the window; every call may come from the
// worker thread.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // The state of row `index` becomes string `string_id`.
  virtual void PostStatus(size_t index, int string_id) = 0;
  // False once the user has asked the run to stop.
  virtual bool RunGoesOn() = 0;
  // The window that owns the run's closing message.
  virtual palisk::HWND RunOwner() = 0;
  // The worker has ended: the window puts itself back to idle.
  virtual void PostRunEnded() = 0;
};

// The run's thread procedure: converts `plan`'s files while the host lets
// it, shows the closing message and tells the host it has ended. Returns 0.
int ConversionWorkerProc(RunHost* host, const RunPlan& plan);

// The clock of time-stamped names (tests fix it); null restores the system's.
void SetRunClock(std::function<std::time_t()> clock);
// "_YYYYMMDD_hhmmss" of the local time now; returns 1.
int MakeTimeSuffix(std::string* suffix);

// A file name less its last extension ("plan.vsd" → "plan", "drawing" →
// "drawing", ".vsd" → ".vsd"): the one stem of every output name.
std::string OutputStem(const std::string& name);

// The option block of a run.
ConversionOptions MakeRunOptions(const RunPlan& plan);
// Leaves the destination path in `options.output_name`: the output folder
// and the time-stamped name, or the source's stem, with ".txt".
void MakeJobOutputName(ConversionOptions& options, const std::string& source);
void FillInterfaceOptions(const ConversionOptions& options, ExtractOptionsV3* v3, ExtractOptionsV4* v4);
void FillConversionJob(ConversionJob* job, const ConversionOptions& options, const std::string& source,
                       const ExtractOptionsV3& v3, const ExtractOptionsV4& v4);

}  // namespace shapeglean
