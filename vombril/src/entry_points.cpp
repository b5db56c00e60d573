// Vombril's exports and the set-up of a job: flag word B, the log, the
// extraction folder (MakeExtractDir numbers it X, XDIR, XDIR1 ...), the
// output of text mode, and what is kept or removed when the run ends.
//
// Paths and the password are held as strings of any length; the limits that
// remain are those callers see: an archive path over 260 characters, a
// joined output path of 260 or more, and an output path that does not fit
// the output target's 316 bytes give 27 before anything is opened.
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "dalvex/log.h"
#include "rar_job.h"
#include "vombril/vombril.h"

namespace vombril {

namespace {

constexpr char kLogSuffix[] = "rar";
constexpr char kLogLine[] = "KVB_VOMBRIL gettext().\r\n";
constexpr int kMaxExtractTries = 10000;

enum class Caller { kStream, kFile, kText4, kText3 };

struct Request {
  Caller caller;
  const char* archive_path = nullptr;
  const char* output_path = nullptr;
  std::ostream* stream = nullptr;
  ExtractOptionsV4* options = nullptr;
  int value = 0;
  ExtractOutputTarget* target = nullptr;
  const char* password = nullptr;
  ExtractErrorCallback callback = nullptr;
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

// Removes an output this call created while it is still empty.
void RemoveIfEmpty(const std::string& path, int32_t size) {
  if (size == 0) unlink(path.c_str());
}

int Run(const Request& rq) {
  if (rq.options == nullptr) return NoTextStringFound;
  RarTextJob job;
  job.options = rq.options;
  job.flags_a = rq.options->flags_a;
  job.flags_b = rq.options->flags_b;
  job.value = rq.value;
  job.callback = rq.callback;
  if (rq.caller == Caller::kText4 && rq.target != nullptr) job.target = rq.target;
  if (rq.caller == Caller::kStream) {
    job.stream_output = true;
    job.stream = rq.stream;
  } else {
    job.file_output = true;
    job.output_path = rq.output_path != nullptr ? rq.output_path : "";
  }
  job.archive_path = rq.archive_path != nullptr ? rq.archive_path : "";

  if (job.flags_b & kFlagBRefuse) return StoppedByCompressedFile;
  if (!(job.flags_b & kFlagBRequired)) return NoTextStringFound;
  if (rq.caller != Caller::kText3 && job.archive_path.size() > kMaxPath) return FilePathTooLong;
  if (job.output_path.size() >= kTargetPath) return FilePathTooLong;
  if (job.stream_output && job.stream == nullptr) return FileCantWrite;
  std::memset(job.target->path, 0, sizeof job.target->path);
  std::memcpy(job.target->path, job.output_path.data(), job.output_path.size());

  job.charset = Field(rq.options->charset, sizeof rq.options->charset);
  job.language = Field(rq.options->language, sizeof rq.options->language);

  // The log: beside the output (the archive for stream output); a nested
  // call given the caller's target uses the caller's log.
  bool own_log = rq.caller == Caller::kFile || rq.caller == Caller::kStream;
  if (own_log) {
    char name[kMaxPath] = {};
    std::string base = job.stream_output ? job.archive_path : job.output_path;
    if (GetLogFileName(base.c_str(), kLogSuffix, name) == 0 && name[0] != '\0')
      job.log = kvb_logfopen(static_cast<int>(job.flags_a), name);
    kvb_logfprintf(static_cast<int>(job.flags_a), job.log, kLogLine, 0);
    job.local_target.log = job.log;
  } else if (rq.caller == Caller::kText4) {
    job.log = job.target->log;
    job.count = job.target->count;
  }
  struct LogCloser {
    RarTextJob* job;
    bool own;
    ~LogCloser() {
      if (own) kvb_logfclose(static_cast<int>(job->flags_a), job->log);
    }
  } log_closer{&job, own_log};

  if (int rc = SetupRarJob(&job)) return rc;

  if (job.text_mode() && job.file_output) {
    job.output = KVB_FileOpen(job.output_path.c_str(), "wb");
    if (job.output == nullptr) return FileCantOpen;
  }
  if (rq.caller == Caller::kText3 && rq.password != nullptr) job.password = job.archive.password = rq.password;

  if (job.archive.Open(job.archive_path) != 0) {
    if (job.output != nullptr) {
      int32_t size = KVB_FileTellSize(job.output);
      KVB_FileClose(job.output);
      RemoveIfEmpty(job.output_path, size);
    }
    if (job.extract_made) rmdir(job.extract_dir.c_str());  // only when still empty
    return CantInitialize;
  }
  int result = ProcessRarFile(&job);
  job.archive.Close();
  job.target->count = job.count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(job.count);

  if (job.output != nullptr) {
    int32_t size = KVB_FileTellSize(job.output);
    KVB_FileClose(job.output);
    job.output = nullptr;
    bool keep_on_error = (job.flags_b & kFlagBContinue) || result == FileLengthOver || rq.caller == Caller::kText3;
    if (result != 0 && !keep_on_error)
      unlink(job.output_path.c_str());
    else
      RemoveIfEmpty(job.output_path, size);
  }

  if (rq.caller != Caller::kText3 && !job.extract_dir.empty() && !job.beside_output()) {
    bool failed_run = result != 0 && !(job.flags_b & (kFlagBTextMode | kFlagBContinue | kFlagBBesideOutput));
    bool unsupported = job.last_member_error == CompressedFileCantDetect && (job.flags_b & kFlagBContinue);
    if (failed_run || unsupported) RemoveDirTree(job.extract_dir);
    if (!(job.flags_b & (kFlagBTextMode | kFlagBBesideOutput))) PruneEmptyOutputs(job.extract_dir, nullptr);
  }
  return job.last_member_error != 0 ? job.last_member_error : result;
}

int Guarded(const Request& rq) {
  try {
    return Run(rq);
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory;
  } catch (...) {
    return SystemError;
  }
}

}  // namespace

int SetupRarJob(RarTextJob* job) {
  if (job->decode_only()) return 0;
  if (!job->text_mode()) {
    // Stream output has no output path: its files go beside the archive.
    std::string folder = FolderOf(job->file_output ? job->output_path : job->archive_path);
    if (job->beside_output()) {
      job->extract_dir = folder;
    } else {
      size_t slash = job->archive_path.rfind('/');
      job->extract_dir = folder + (slash == std::string::npos ? job->archive_path : job->archive_path.substr(slash + 1));
      job->extract_base = job->extract_dir;
      if (MakeExtractDir(job) != 0) return FilePathTooLong;
    }
  }
  job->mode = LineEndForm(job->flags_a);
  return 0;
}

int MakeExtractDir(RarTextJob* job) {
  std::string& x = job->extract_dir;
  for (int tries = 0; tries < kMaxExtractTries; ++tries) {
    struct stat st {};
    if (lstat(x.c_str(), &st) != 0) {
      int rc = mkdir(x.c_str(), 0777);
      if (rc != 0) {
        if (MakeParentDirs(x) != 0) return FilePathTooLong;
        rc = mkdir(x.c_str(), 0777);
      }
      if (rc == 0) job->extract_made = true;
      return rc == 0 ? 0 : FilePathTooLong;
    }
    if (S_ISDIR(st.st_mode) && job->extract_made) return 0;
    if (job->extract_counter == 0) job->extract_base += "DIR";
    x = job->extract_counter == 0 ? job->extract_base : job->extract_base + std::to_string(job->extract_counter);
    ++job->extract_counter;
  }
  return FilePathTooLong;
}

int MakeParentDirs(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return 0;
  std::string parent = path.substr(0, slash);
  struct stat st {};
  if (stat(parent.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : 1;
  if (mkdir(parent.c_str(), 0777) == 0) return 0;
  if (MakeParentDirs(parent) != 0) return 1;
  return mkdir(parent.c_str(), 0777) == 0 ? 0 : 1;
}

}  // namespace vombril

using vombril::Caller;
using vombril::Guarded;
using vombril::Request;

extern "C" {

int GetTextStreamWithErrCallback(const char* archive_path, std::ostream* output, ExtractOptionsV4* options,
                                 int value, ExtractErrorCallback callback) {
  Request rq{Caller::kStream};
  rq.archive_path = archive_path;
  rq.stream = output;
  rq.options = options;
  rq.value = value;
  rq.callback = callback;
  return Guarded(rq);
}

int GetTextWithErrCallback(const char* archive_path, const char* output_path, ExtractOptionsV4* options, int value,
                           ExtractErrorCallback callback) {
  Request rq{Caller::kFile};
  rq.archive_path = archive_path;
  rq.output_path = output_path;
  rq.options = options;
  rq.value = value;
  rq.callback = callback;
  return Guarded(rq);
}

int GetText4WithErrCallback(const char* archive_path, const char* output_path, ExtractOptionsV4* options, int value,
                            ExtractOutputTarget* target, ExtractErrorCallback callback) {
  Request rq{Caller::kText4};
  rq.archive_path = archive_path;
  rq.output_path = output_path;
  rq.options = options;
  rq.value = value;
  rq.target = target;
  rq.callback = callback;
  return Guarded(rq);
}

int GetText3WithErrCallback(const char* archive_path, const char* output_path, ExtractOptionsV4* options, int value,
                            const char* password, ExtractErrorCallback callback) {
  Request rq{Caller::kText3};
  rq.archive_path = archive_path;
  rq.output_path = output_path;
  rq.options = options;
  rq.value = value;
  rq.password = password;
  rq.callback = callback;
  return Guarded(rq);
}

int DecodeRar(const char* archive_path, const char* destination_folder, const char* password) {
  try {
    using namespace vombril;
    if (archive_path == nullptr) return CantInitialize;
    // An empty destination would put the files at the root of the file system.
    if (destination_folder == nullptr || *destination_folder == '\0') return FileCantCreate;
    RarTextJob job;
    ExtractOptionsV4 options{};
    options.flags_b = kFlagBDecodeOnly;
    job.options = &options;
    job.flags_b = options.flags_b;
    job.archive_path = archive_path;
    job.output_path = job.extract_dir = destination_folder;
    job.file_output = true;
    SetupRarJob(&job);
    if (password != nullptr) job.password = job.archive.password = password;
    if (job.archive.Open(job.archive_path) != 0) return CantInitialize;
    options.flags_a = job.flags_a = kFlagAPassword;
    int result = ProcessRarFile(&job);
    job.archive.Close();
    return job.last_member_error != 0 ? job.last_member_error : result;
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory;
  } catch (...) {
    return SystemError;
  }
}

}  // extern "C"
