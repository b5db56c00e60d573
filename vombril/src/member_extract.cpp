// The per-file step of a job: every archived file in turn is unpacked to a
// path chosen here and, in text mode, handed to the extraction interface
// between its entry headers, then removed.
//
// Paths come from the archive and are untrusted: a file is unpacked only
// below the job's folder, by the plain parts of its stored path; every
// folder on the way is checked with lstat (a link or a file in the way fails
// the file) and the file itself is opened O_NOFOLLOW. Links in archives are
// never created. A text-mode copy is created O_EXCL in the private
// temporary folder before anything is unpacked into it, and removed on
// every path.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dalvex/cconv.h"
#include "dalvex/char_utils.h"
#include "interface_port.h"
#include "ostrand/stream_output.h"
#include "rar_job.h"

namespace vombril {

namespace {

constexpr int kTempAttempts = 100;

bool IsOneOf(const std::string& value, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (strcasecmp(value.c_str(), name) == 0) return true;
  return false;
}

int32_t ClampCount(int64_t count) {
  return count > INT32_MAX ? INT32_MAX : count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
}

// The text-mode copy: <temporary name>.<ext>, created exclusively; a new
// name when another file took it first.
int CreateTempCopy(const std::string& extension, std::string* path, int* fd) {
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    char name[kMaxPath];
    if (KVB_ASC_tmpnam(name) == nullptr) return FileCantWrite;
    std::string candidate = name;
    if (!extension.empty()) candidate += "." + extension;
    int f = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (f >= 0) {
      *path = candidate;
      *fd = f;
      return 0;
    }
    if (errno != EEXIST) break;
  }
  return FileCantWrite;
}

std::string JoinBelow(const std::string& folder, const std::vector<std::string>& parts) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") path.clear();
  for (const std::string& part : parts) path += "/" + part;
  return path;
}

// Makes the folders of `parts` below `folder` (all of them when `is_folder`,
// else all but the last) and opens the file of the last part.
int CreateBelow(const std::string& folder, const std::vector<std::string>& parts, bool is_folder,
                std::string* path, int* fd) {
  std::vector<std::string> walked;
  size_t folders = is_folder ? parts.size() : parts.size() - 1;
  for (size_t i = 0; i < folders; ++i) {
    walked.push_back(parts[i]);
    std::string p = JoinBelow(folder, walked);
    struct stat st {};
    if (lstat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return CompressedFileInvalidfile;  // a link or a file in the way
    } else if (errno != ENOENT || (mkdir(p.c_str(), 0777) != 0 && errno != EEXIST)) {
      return FileCantWrite;
    }
  }
  *path = JoinBelow(folder, parts);
  if (is_folder) return 0;
  *fd = open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (*fd >= 0) return 0;
  return errno == ELOOP ? CompressedFileInvalidfile : FileCantWrite;
}

// Unpacks the current entry into `fd`, closes it, and removes `path` when
// that failed.
int Unpack(RarTextJob* job, int fd, const std::string& path) {
  int rc = job->archive.ExtractTo(fd);
  if (close(fd) != 0 && rc == 0) rc = FileCantWrite;
  if (rc != 0) unlink(path.c_str());
  if (rc == FileCantWrite) job->stop = true;
  return rc;
}

// Name as shown in the entry headers, with this platform's separator.
std::string ShownName(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

}  // namespace

int WriteEntryHeader(RarTextJob* job, const std::string& name, bool opening) {
  std::string text = opening ? "Filename:" + name + "\r\nContent:\r\n" : std::string("\r\n");
  std::string converted(6 * text.size() + 4, '\0');
  CconvSession session{};
  session.input = reinterpret_cast<const uint8_t*>(text.data());
  session.input_length = static_cast<int32_t>(text.size());
  session.output = reinterpret_cast<uint8_t*>(converted.data());
  session.output_capacity = static_cast<int32_t>(converted.size());

  // The mark goes only at the very start of an output: not after a member's
  // text, nor into a caller's output that already holds text.
  int64_t position = job->stream_output ? KVB_StreamTell(job->stream) : KVB_FileTell(job->output);
  CconvOptions options{};
  options.big_endian = job->options->big_endian;
  options.write_bom = job->count == 0 && position == 0 ? 1 : 0;
  options.substitute = 1;
  if (IsOneOf(job->charset, {"ISO-8859-1", "ChineseGBK", "ChineseBIG5", "KoreanKSC"}))
    options.substitute_low = options.substitute_high = '?';
  std::strncpy(options.language, job->language.c_str(), sizeof options.language - 1);
  options.line_end_flag = 1;
  options.line_end_form = job->mode;
  CconvCharsetOptions charset_options{};
  charset_options.big_endian = 1;
  charset_options.skip_invalid = 1;
  int status = 1;
  if (cconvInitConvert(&session, &options, job->charset.c_str()) == 0 &&
      cconvChgCharset(&session, &charset_options, "UTF-8") == 0)
    status = cconvConvert(&session);
  cconvTermConvert(&session);
  if (status != 0 || session.output_length <= 0) return FileCantWrite;
  int32_t length = session.output_length;

  int32_t result = 0;
  if ((job->flags_a & kFlagAOutputLimit) && job->count + length > job->options->length_limit) {
    int64_t room = static_cast<int64_t>(job->options->length_limit) - job->count;
    if (room <= 0) return FileLengthOver;  // already at or past the limit: nothing more
    length = CutStr(converted.data(), length, static_cast<int>(room), job->charset.c_str());
    result = FileLengthOver;
  }
  if (length > 0) {
    bool failed = job->stream_output
                      ? KVB_WriteStream(job->stream, length, converted.data()) != 0
                      : KVB_FileWrite(converted.data(), 1, static_cast<size_t>(length), job->output) !=
                            static_cast<size_t>(length);
    if (failed) return FileCantWrite;
    job->count += length;
  }
  return result;
}

int ExtractCurrentFile(RarTextJob* job, const unrar::Entry& entry) {
  job->stop = false;
  std::string name = MemberNameUtf8(entry, HeaderSourceCharset(job->charset, job->language));
  bool by_path = job->decode_only() || (!job->text_mode() && !job->beside_output());

  if (entry.kind == unrar::Kind::kSymlink || entry.kind == unrar::Kind::kHardlink) return job->archive.Skip();
  if (entry.kind == unrar::Kind::kFolder) {
    int rc = job->archive.Skip();
    if (rc != 0 || !by_path) return rc;
    std::vector<std::string> parts;
    if (!SafePathParts(name, &parts)) return CompressedFileInvalidfile;
    if (JoinBelow(job->extract_dir, parts).size() >= kMaxPath) return FilePathTooLong;
    std::string path;
    int fd = -1;
    return CreateBelow(job->extract_dir, parts, true, &path, &fd);
  }
  if (entry.encrypted) {
    // Nothing here decrypts: with a password allowed the file counts as
    // one whose password did not match, and nothing is created either way.
    job->archive.Skip();
    return (job->flags_a & kFlagAPassword) ? PasswordMistake : Encrypted;
  }

  std::string path;
  int fd = -1;
  int rc = 0;
  if (job->text_mode()) {
    rc = CreateTempCopy(MemberExtension(name), &path, &fd);
  } else if (job->beside_output()) {
    std::string base = BaseName(name);
    size_t dot = base.rfind('.');
    path = job->extract_dir + (dot == std::string::npos ? base : base.substr(0, dot)) + ".txt";
    if (path.size() >= kMaxPath) {
      rc = FilePathTooLong;
    } else {
      fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd < 0) rc = errno == ELOOP ? CompressedFileInvalidfile : FileCantWrite;
      else job->member_outputs.push_back(path);
    }
  } else {
    std::vector<std::string> parts;
    if (!SafePathParts(name, &parts))
      rc = CompressedFileInvalidfile;
    else if (JoinBelow(job->extract_dir, parts).size() >= kMaxPath)
      rc = FilePathTooLong;
    else
      rc = CreateBelow(job->extract_dir, parts, false, &path, &fd);
  }
  if (rc != 0) {
    job->archive.Skip();
    if (rc == FileCantWrite) job->stop = true;
    return rc;
  }
  rc = Unpack(job, fd, path);
  if (rc != 0) {
    if (job->beside_output() && !job->member_outputs.empty() && job->member_outputs.back() == path)
      job->member_outputs.pop_back();
    return rc;
  }
  if (!job->text_mode()) return 0;  // kept where it was unpacked

  ExtractOutputTarget* target = job->target;
  std::memset(target->path, 0, sizeof target->path);
  std::memcpy(target->path, job->output_path.data(), std::min(job->output_path.size(), kTargetPath - 1));
  std::string shown = ShownName(name);
  int result = 0;
  if (!(job->flags_b & kFlagBNoHeaders)) {
    int header = WriteEntryHeader(job, shown, true);
    if (header != 0) {
      unlink(path.c_str());
      job->stop = true;
      return header;
    }
  }
  target->count = ClampCount(job->count);
  result = job->stream_output
               ? CallMemberTextStream(path.c_str(), job->stream, job->options, target, job->callback)
               : CallMemberText(path.c_str(), job->output, job->options, target, job->callback);
  ++job->members;
  int64_t before = job->count;
  job->count = target->count;
  // Without entry headers the closing line break follows text only: a
  // member that gave none adds nothing, so an archive without text leaves
  // an empty output, which is removed.
  bool closing = !(job->flags_b & kFlagBNoHeaders) || job->count != before;
  int header = closing ? WriteEntryHeader(job, shown, false) : 0;
  target->count = ClampCount(job->count);
  unlink(path.c_str());
  if (header != 0) {
    job->stop = true;
    return header;
  }
  return result;
}

int ProcessRarFile(RarTextJob* job) {
  for (;;) {
    unrar::Entry entry;
    int rc = job->archive.Next(&entry);
    if (rc == unrar::kEnd) return 0;
    if (rc != 0) return rc;
    int result = ExtractCurrentFile(job, entry);
    if (result == 0) continue;
    if (!job->stop && result > 10 && (job->flags_b & kFlagBContinue)) {
      job->last_member_error = result;
      continue;
    }
    if (!job->stop && result <= 10) continue;
    if (job->beside_output()) {
      for (const std::string& made : job->member_outputs) unlink(made.c_str());
      job->member_outputs.clear();
    }
    return result;
  }
}

}  // namespace vombril
