// The thin layer between the conversion run and the extraction interface:
// one file's conversion (RunGetTextV4), the program's error callback that
// the engine reports to (OnExtractionError), and the message box that
// tells the user what an engine result code means, in the user-interface
// language (ShowEngineError).
#pragma once

#include <cstdint>

#include "dalvex/extract_records.h"

namespace shapeglean {

struct ConversionJob;

// The string id of the message for engine code `code`, or 0 when the
// program has none for it (0 itself included).
int EngineMessageId(int32_t code);

// Converts the job's source into its destination through the interface's
// GetText_V4 with the job's options and OnExtractionError, shows the
// message of a failing code and returns the code unchanged; -1 for no job.
int32_t RunGetTextV4(ConversionJob* job);

// The program's error callback: three lines on standard output (level,
// code, engine name); 1 for a non-zero code, so the error stands; 0 for 0.
extern "C" int OnExtractionError(ExtractErrorInfo* info);

// Shows the message of `code` (caption "Wrong", no owner, OK); codes
// without a message show nothing. Answers the box's result, or 0.
int ShowEngineError(int32_t code);

// The same for a failed format detection: a code without a message of its
// own shows "CantDetectFile".
int ShowDetectionError(int32_t code);

}  // namespace shapeglean
