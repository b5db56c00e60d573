// Vombril: the RAR archive text extractor, a plug-in entered through its
// exports. In text mode every archived file is unpacked to a temporary file
// and handed back to the extraction interface, which appends its text to
// the one output, framed by "Filename:"/"Content:" headers; without text
// mode the files are unpacked beside the output. DecodeRar unpacks an
// archive into a folder (the engine's configuration archive etc.dll).
// Every export answers an EngineErrorCode and never throws.
#pragma once

#include <cstddef>
#include <ostream>

#include "dalvex/extract_records.h"
#include "win32/ordinals.h"

#if defined(VOMBRIL_BUILDING)
#define VOMBRIL_API __attribute__((visibility("default")))
#else
#define VOMBRIL_API
#endif

extern "C" {

VOMBRIL_API int GetTextStreamWithErrCallback(const char* archive_path, std::ostream* output,
                                             ExtractOptionsV4* options, int value, ExtractErrorCallback callback);
VOMBRIL_API int GetTextWithErrCallback(const char* archive_path, const char* output_path,
                                       ExtractOptionsV4* options, int value, ExtractErrorCallback callback);
VOMBRIL_API int GetText4WithErrCallback(const char* archive_path, const char* output_path,
                                        ExtractOptionsV4* options, int value, ExtractOutputTarget* target,
                                        ExtractErrorCallback callback);
VOMBRIL_API int GetText3WithErrCallback(const char* archive_path, const char* output_path,
                                        ExtractOptionsV4* options, int value, const char* password,
                                        ExtractErrorCallback callback);
VOMBRIL_API int DecodeRar(const char* archive_path, const char* destination_folder, const char* password);

}  // extern "C"

// Vombril's table of {ordinal, name}: 107 to 111. Not exported (the plug-in
// exports its five entry points alone); callers bind by name.
namespace vombril {
const win32::OrdinalEntry* OrdinalTable(size_t* count);
}  // namespace vombril
