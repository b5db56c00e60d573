// The program's one way into the extraction interface: format detection,
// text extraction and document properties. The real interface binds the
// library's exports by ordinal and makes every call under one lock, so the
// engine's start and end never run side by side; tests install a fake.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "dalvex/extract_records.h"
#include "travix/travix.h"

namespace shapeglean {

class ExtractionInterface {
 public:
  virtual ~ExtractionInterface() = default;
  virtual int32_t Detect(const std::string& source, FormatInfo* info) = 0;
  virtual int32_t GetText(const std::string& source, const std::string& destination, ExtractOptionsV4* options,
                          ExtractErrorCallback callback) = 0;
  virtual int32_t GetProperty(const std::string& source, ExtractOptionsV4* options, DocPropertyRecord* record) = 0;
};

// The interface in use: the library beside the program unless a fake is
// installed.
ExtractionInterface& Extraction();
// Installs `fake` (not owned); null restores the library.
void SetExtraction(ExtractionInterface* fake);

// True when `info`, as detection filled it with `result`, names a Visio
// drawing the program lists.
bool IsListableVisio(int32_t result, const FormatInfo& info);

}  // namespace shapeglean
