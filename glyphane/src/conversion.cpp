// The engine session Glyphane converts through (see conversion.h).
#include "conversion.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "code_pages.h"
#include "dalvex/char_utils.h"

namespace glyphane {

std::string StripControlCodes(std::string_view text, uint32_t code_page) {
  std::string out;
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX - 16)) return out;
  int width = code_page == kCodePageUcs2 ? 2 : 1;
  // The filter may write a little past what it keeps; 16 bytes of room.
  out.resize(text.size() + 16);
  int kept = KVB_CopyStripControlCode(out.data(), reinterpret_cast<const uint8_t*>(text.data()),
                                      static_cast<int>(text.size()), width, 0);
  out.resize(static_cast<size_t>(std::max(kept, 0)));
  return out;
}

int32_t ConversionSession::SetUp(const CconvOptions& options, const char* target, const char* source) {
  End();
  session_ = CconvSession{};
  int32_t rc = cconvInitConvert(&session_, &options, target);
  if (rc != 0) return rc;
  active_ = true;
  CconvCharsetOptions input{};
  input.big_endian = InputBigEndianFor(source);
  input.expect_bom = 0;
  input.skip_invalid = 1;
  rc = cconvChgCharset(&session_, &input, source);
  if (rc != 0) End();
  return rc;
}

void ConversionSession::End() {
  if (!active_) return;
  cconvTermConvert(&session_);
  active_ = false;
}

ConversionSession::Outcome ConversionSession::Convert(
    std::string_view input, uint64_t capacity, const std::function<int32_t(std::string_view)>& produced) {
  Outcome outcome;
  if (input.empty()) return outcome;
  if (input.size() > static_cast<size_t>(INT_MAX)) {
    outcome.status = kConvOutputFull;
    return outcome;
  }
  capacity = std::clamp<uint64_t>(capacity, 16, INT_MAX);
  if (buffer_capacity_ < capacity) {
    buffer_.reset(new (std::nothrow) uint8_t[capacity]);
    buffer_capacity_ = buffer_ ? capacity : 0;
    if (!buffer_) {
      outcome.status = 12;
      return outcome;
    }
  }
  uint8_t* buffer = buffer_.get();
  session_.input = reinterpret_cast<const uint8_t*>(input.data());
  session_.input_length = static_cast<int32_t>(input.size());
  session_.input_position = 0;
  session_.output = buffer;
  session_.output_capacity = static_cast<int32_t>(capacity);
  for (;;) {
    session_.output_length = 0;
    outcome.status = cconvConvert(&session_);
    int32_t length = std::clamp(session_.output_length, 0, session_.output_capacity);
    if (length > 0) {
      outcome.produced_any = true;
      if (int32_t rc = produced(std::string_view(reinterpret_cast<const char*>(buffer),
                                                 static_cast<size_t>(length)))) {
        outcome.stopped_by = rc;
        break;
      }
    }
    // "Output full" continues where the engine stopped once the buffer is
    // empty; a turn that produced nothing would never end.
    if (outcome.status != kConvOutputFull || length == 0) break;
  }
  session_.input = nullptr;
  session_.output = nullptr;
  return outcome;
}

}  // namespace glyphane
