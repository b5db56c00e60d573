// One conversion session of the engine, owned by Glyphane, and the two
// steps every conversion of a text takes: control codes are stripped, then
// the text is converted in as many turns as the output needs. The engine
// stops with "output full" when its buffer is used up; the session hands
// what was produced to the caller, empties the buffer and goes on where the
// engine stopped, so no part of a long text is lost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "dalvex/cconv.h"

namespace glyphane {

// Engine statuses the session looks at.
inline constexpr int32_t kConvDone = 0;
inline constexpr int32_t kConvOutputFull = 22;

// Copies `text` without the control codes the output never carries (units
// 0-8, 11, 12, 14-26, 28-31 and 127; TAB, LF, CR and ESC stay), in UTF-16LE
// units for code page 1200 and bytes otherwise.
std::string StripControlCodes(std::string_view text, uint32_t code_page);

class ConversionSession {
 public:
  ConversionSession() = default;
  ConversionSession(const ConversionSession&) = delete;
  ConversionSession& operator=(const ConversionSession&) = delete;
  ~ConversionSession() { End(); }

  // Starts the session for `target` (with `options`) and `source`; the
  // source is read lead byte first except for UCS-2 (little-endian), and
  // input the source charset does not accept is skipped. Answers the
  // engine's status; on failure the session is ended.
  int32_t SetUp(const CconvOptions& options, const char* target, const char* source);
  bool Active() const { return active_; }
  // Ends the session (cconvTermConvert); harmless when none is active.
  void End();

  struct Outcome {
    int32_t status = kConvDone;   // the engine's last status (0: all input converted)
    int32_t stopped_by = 0;       // non-zero: what `produced` answered when it stopped
    bool produced_any = false;    // some output was handed over
  };
  // Converts `input`, handing each produced piece (at most `capacity`
  // bytes) to `produced`, which answers 0 to go on or a result code that
  // stops the conversion.
  Outcome Convert(std::string_view input, uint64_t capacity,
                  const std::function<int32_t(std::string_view)>& produced);

 private:
  CconvSession session_{};
  bool active_ = false;
  // The output block of every conversion, kept between them (a drawing
  // converts one item at a time) and made larger when one asks for more.
  std::unique_ptr<uint8_t[]> buffer_;
  uint64_t buffer_capacity_ = 0;
};

}  // namespace glyphane
