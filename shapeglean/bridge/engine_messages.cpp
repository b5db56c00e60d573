// Engine result codes to messages, and the conversion call (see
// engine_messages.h).
#include "bridge/engine_messages.h"

#include <cstdio>
#include <cstring>

#include "app.h"
#include "bridge/extraction_interface.h"
#include "ui/conversion_worker.h"

namespace shapeglean {
namespace {

struct CodeMessage {
  int32_t code;
  int string_id;
};

// Every code the program explains; the texts are in the string table.
constexpr CodeMessage kMessages[] = {
    {SystemError, 305},
    {NotEnoughMemory, 225},
    {UserAbort, 306},
    {FileNotFound, 307},
    {FileCantOpen, 223},
    {FileCantCreate, 308},
    {FileCantWrite, 221},
    {FileCantRead, 220},
    {FileCantDelete, 309},
    {FilePathTooLong, 310},
    {DllLoadFailed, 311},
    {DllFuncCantFound, 312},
    {CantInitialize, 313},
    {CantDetectFile, 315},
    {NotSuppoted, 316},
    {TimeOut, 317},
    {LanguageNotSupported, 318},
    {OtherError, 227},
    {Encrypted, 218},
    {InvalidFile, 144},
    {NoTextStringFound, 319},
    {StoppedByOle, 320},
    {FileLengthOver, 321},
    {MaxLoopCounts, 322},
    {CompressDateUncompress, 323},
    {OleCantDetectFile, 324},
    {OleNotSuppoted, 325},
    {OleProtectedBypassWord, 326},
    {OleInvalidFile, 327},
    {OleNoTextStringFound, 328},
    {OleOutOfLimit, 329},
    {InsertFileOutOfLimit, 330},
    {InsertFileNotSuppoted, 331},
    {InsertFileNoTextStringFound, 332},
    {ProtectedByPassWordPDF, 333},
    {PasswordMistake, 239},
    {PWDfileNotSuppoted, 334},
    {EncryptedOwner, 161},
    {CompressedFileCantDetect, 335},
    {CompressedFileNotSuppoted, 336},
    {CompressedFileNoTextStringFound, 337},
    {CompressedFileInvalidfile, 338},
    {CompressedFileByPassWord, 339},
    {CompressedFileOutOfLimit, 340},
    {StoppedByCompressedFile, 341},
};
static_assert(sizeof kMessages / sizeof kMessages[0] == 45);

}  // namespace

int EngineMessageId(int32_t code) {
  for (const CodeMessage& m : kMessages)
    if (m.code == code) return m.string_id;
  return 0;
}

int32_t RunGetTextV4(ConversionJob* job) {
  if (job == nullptr) return -1;
  int32_t result = Extraction().GetText(job->source, job->destination, &job->options_v4, &OnExtractionError);
  ShowEngineError(result);
  return result;
}

extern "C" int OnExtractionError(ExtractErrorInfo* info) {
  if (info == nullptr) return 0;
  // The engine's name is a fixed field: print no further than its end.
  const size_t name_length = strnlen(info->engine, sizeof info->engine);
  std::printf("This OleErr is level %d\n", info->level);
  std::printf("This OleErr's code is %d\n", info->code);
  std::printf("This OleErr's Engine is %.*s\n", static_cast<int>(name_length), info->engine);
  std::fflush(stdout);
  return info->code != 0 ? 1 : 0;
}

int ShowEngineError(int32_t code) {
  const int id = EngineMessageId(code);
  if (id == 0) return 0;
  return ShowLangMessageBox(nullptr, id, 190, palisk::MB_OK);
}

int ShowDetectionError(int32_t code) {
  if (code == 0) return 0;
  const int id = EngineMessageId(code);
  return ShowLangMessageBox(nullptr, id != 0 ? id : 315, 190, palisk::MB_OK);
}

}  // namespace shapeglean
