// The job of one Vombril call (RarTextJob) and the steps that work on it:
// set-up and the extraction folder (entry_points.cpp), the walk over the
// archived files with their entry headers (member_extract.cpp), member
// names and paths (member_names.cpp) and the folder walkers that clean up
// after a run (folder_walk.cpp).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "dalvex/extract_records.h"
#include "dalvex/portability.h"
#include "unrar/unrar.h"

namespace vombril {

inline constexpr size_t kMaxPath = 260;
inline constexpr size_t kTargetPath = sizeof(ExtractOutputTarget::path);

struct RarTextJob {
  unrar::Archive archive;
  std::string password;  // kept whole; this platform decrypts nothing

  std::string archive_path;
  std::string output_path;
  std::string extract_dir;   // the extraction folder (ends without a separator)
  std::string extract_base;  // the name MakeExtractDir numbers
  int extract_counter = 0;
  bool extract_made = false;

  std::string charset;
  std::string language;
  ExtractOptionsV4* options = nullptr;
  uint32_t flags_a = 0;
  uint32_t flags_b = 0;
  ExtractOutputTarget local_target{};
  ExtractOutputTarget* target = &local_target;

  KVB_FileHandle output = nullptr;
  std::ostream* stream = nullptr;
  bool stream_output = false;
  bool file_output = false;

  int64_t count = 0;         // running count of bytes written to the output
  int members = 0;           // archived files handed over
  int32_t last_member_error = 0;
  int mode = 1;              // line-end form of the header conversions
  std::vector<std::string> member_outputs;  // flag B 0x1000: files made
  KVB_FileHandle log = nullptr;
  int value = 0;             // the caller's int, kept
  ExtractErrorCallback callback = nullptr;
  bool stop = false;         // the current file's result ends the run whatever flag B says

  bool text_mode() const { return (flags_b & kFlagBTextMode) != 0; }
  bool decode_only() const { return (flags_b & kFlagBDecodeOnly) != 0; }
  bool beside_output() const { return (flags_b & kFlagBBesideOutput) != 0; }
};

// entry_points.cpp
int SetupRarJob(RarTextJob* job);
int MakeExtractDir(RarTextJob* job);
int MakeParentDirs(const std::string& path);

// member_extract.cpp
int ProcessRarFile(RarTextJob* job);
int ExtractCurrentFile(RarTextJob* job, const unrar::Entry& entry);
int WriteEntryHeader(RarTextJob* job, const std::string& name, bool opening);

// member_names.cpp
// The charset a request's header texts and stored names are taken to be in.
std::string HeaderSourceCharset(const std::string& charset, const std::string& language);
// The entry's name as UTF-8: Unicode names as stored (invalid bytes "?"),
// others converted from `charset` (bytes it cannot read "?").
std::string MemberNameUtf8(const unrar::Entry& entry, const std::string& charset);
// The parts of a stored path below the extraction folder: split at "/" and
// "\", without a drive, empty or "." parts. False for a ".." part or no part.
bool SafePathParts(const std::string& name, std::vector<std::string>* parts);
// The extension of the name's base (1-16 of A-Z a-z 0-9 _ -), or empty.
std::string MemberExtension(const std::string& name);
// The base name after the last "/" or "\".
std::string BaseName(const std::string& name);

// folder_walk.cpp
int RemoveDirTree(const std::string& path);
int PruneEmptyOutputs(const std::string& path, bool* kept);

}  // namespace vombril
