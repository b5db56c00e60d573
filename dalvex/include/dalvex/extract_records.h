// Records and result codes that cross the engine's deliverables.
//
// The desktop program fills an extraction request, the extraction interface
// passes it on unchanged, and the extractors read it and answer an
// EngineErrorCode. All records are caller-owned; those without pointers keep
// their byte layout, which is part of the interface. Header-only: usable
// without linking Dalvex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstddef>

extern "C" {

// Result of every extraction operation; 0 is success.
enum EngineErrorCode : int32_t {
  EngineOk = 0,
  SystemError = 11,
  NotEnoughMemory = 12,
  UserAbort = 13,
  FileNotFound = 21,
  FileCantOpen = 22,
  FileCantCreate = 23,
  FileCantWrite = 24,
  FileCantRead = 25,
  FileCantDelete = 26,
  FilePathTooLong = 27,
  DllLoadFailed = 1001,
  DllFuncCantFound = 1002,
  CantInitialize = 1003,
  CantDetectFile = 2001,
  NotSuppoted = 2002,
  TimeOut = 2003,
  LanguageNotSupported = 2004,
  OtherError = 3000,
  Encrypted = 3001,
  InvalidFile = 3002,
  NoTextStringFound = 3003,
  StoppedByOle = 3004,
  FileLengthOver = 3005,
  MaxLoopCounts = 3006,
  CompressDateUncompress = 3007,
  OleCantDetectFile = 4000,
  OleNotSuppoted = 4001,
  OleProtectedBypassWord = 4002,
  OleInvalidFile = 4003,
  OleNoTextStringFound = 4004,
  OleOutOfLimit = 4005,
  InsertFileOutOfLimit = 4006,
  InsertFileNotSuppoted = 4007,
  InsertFileNoTextStringFound = 4008,
  ProtectedByPassWordPDF = 5000,
  PasswordMistake = 5001,
  PWDfileNotSuppoted = 5002,
  EncryptedOwner = 5003,
  CompressedFileCantDetect = 6000,
  CompressedFileNotSuppoted = 6001,
  CompressedFileNoTextStringFound = 6002,
  CompressedFileInvalidfile = 6003,
  CompressedFileByPassWord = 6004,
  CompressedFileOutOfLimit = 6005,
  StoppedByCompressedFile = 6006,
};

// An extraction request (532 bytes).
struct ExtractOptionsV4 {
  char charset[256];     // output charset name, NUL-terminated
  char language[256];    // "Japanese", "English", "Simplified Chinese", ...
  int32_t big_endian;    // 1: big-endian output of multi-byte unit charsets
  uint32_t flags_a;      // see the kFlagA* bits
  uint32_t flags_b;      // read by the RAR extractor only
  int32_t length_limit;  // output limit in bytes, under kFlagAOutputLimit
  uint16_t value16;      // 0 from the desktop program; not read by extractors
  uint16_t reserved;
};

// The same request for the interface's older operations.
struct ExtractOptionsV3 {
  const char* charset;
  const char* language;
  int32_t big_endian;
  uint32_t flags_a;
  uint32_t flags_b;
  int32_t length_limit;
  uint16_t value16;
  int32_t zero;
};

// Where the text of a nested job goes, and its running state.
struct ExtractOutputTarget {
  char path[316];       // output path, NUL-terminated
  int32_t level;        // copied into every ExtractErrorInfo of the job
  int32_t count;        // running count of bytes written to the shared output
  std::FILE* log;       // the caller's log file, or null
};

// What an extractor reports to the caller's error callback (264 bytes).
struct ExtractErrorInfo {
  int32_t level;
  char engine[256];  // the extractor's name, "vsd" for the Visio extractor
  int32_t code;      // EngineErrorCode
};

typedef int (*ExtractErrorCallback)(ExtractErrorInfo* info);

}  // extern "C"

// Bits of flag word A.
inline constexpr uint32_t kFlagALineEndCrLf = 0x08;  // line-end form 1 (also the default)
inline constexpr uint32_t kFlagALineEndCr = 0x10;    // form 2
inline constexpr uint32_t kFlagALineEndLf = 0x20;    // form 3
inline constexpr uint32_t kFlagALineEndLs = 0x40;    // form 4, U+2028
inline constexpr uint32_t kFlagALineEndPs = 0x80;    // form 5, U+2029
inline constexpr uint32_t kFlagAEmbeddedObjects = 0x1000;
inline constexpr uint32_t kFlagARefuseEmbedded = 0x2000;
inline constexpr uint32_t kFlagACallerOutput = 0x4000;
inline constexpr uint32_t kFlagAGoOnAfterEmbeddedError = 0x8000;
inline constexpr uint32_t kFlagALog = 0x10000;
inline constexpr uint32_t kFlagALoopLimit = 0x20000;
inline constexpr uint32_t kFlagAOutputLimit = 0x400000;
inline constexpr uint32_t kFlagAPlainText = 0x1000000;
inline constexpr uint32_t kFlagAPassword = 0x400;  // archives: encrypted files may be decoded

// Bits of flag word B (archives).
inline constexpr uint32_t kFlagBRequired = 0x100;  // without it an archive gives no text
inline constexpr uint32_t kFlagBRefuse = 0x200;
inline constexpr uint32_t kFlagBTextMode = 0x400;
inline constexpr uint32_t kFlagBContinue = 0x800;
inline constexpr uint32_t kFlagBBesideOutput = 0x1000;
inline constexpr uint32_t kFlagBNoHeaders = 0x4000;
inline constexpr uint32_t kFlagBDecodeOnly = 0x40000;

// The line-end form (1 to 5) that flag word A asks for: the lowest set bit of
// 0x08..0x80 wins; none set gives form 1 (CR LF).
inline int LineEndForm(uint32_t flags_a) {
  for (int form = 1; form <= 5; ++form)
    if (flags_a & (kFlagALineEndCrLf << (form - 1))) return form;
  return 1;
}

// Reports the final code of a run to the caller's callback and returns the
// code that stands. A code equal to the last nested extraction's result
// (non-zero) was reported by that extraction already and is not reported
// again. A callback answering 0 turns the code into success, except 3005
// (the output size limit), which always stands.
inline int32_t ReportToCallback(ExtractErrorCallback callback, int32_t level, const char* engine,
                                int32_t code, int32_t last_nested) {
  if (callback == nullptr) return code;
  if (code != 0 && code == last_nested) return code;
  ExtractErrorInfo info{};
  info.level = level;
  for (size_t i = 0; engine != nullptr && engine[i] != '\0' && i + 1 < sizeof(info.engine); ++i)
    info.engine[i] = engine[i];
  info.code = code;
  if (callback(&info) == 0 && code != FileLengthOver) return 0;
  return code;
}

static_assert(sizeof(ExtractOptionsV4) == 532);
static_assert(offsetof(ExtractOptionsV4, language) == 256);
static_assert(offsetof(ExtractOptionsV4, big_endian) == 512);
static_assert(offsetof(ExtractOptionsV4, flags_a) == 516);
static_assert(offsetof(ExtractOptionsV4, flags_b) == 520);
static_assert(offsetof(ExtractOptionsV4, length_limit) == 524);
static_assert(offsetof(ExtractOptionsV4, value16) == 528);
static_assert(sizeof(ExtractErrorInfo) == 264);
static_assert(offsetof(ExtractErrorInfo, engine) == 4);
static_assert(offsetof(ExtractErrorInfo, code) == 260);
static_assert(offsetof(ExtractOutputTarget, level) == 316);
static_assert(offsetof(ExtractOutputTarget, count) == 320);
static_assert(offsetof(ExtractOutputTarget, log) == 328);
static_assert(sizeof(ExtractOutputTarget) == 336);
