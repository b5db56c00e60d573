// Text items: cleaning and quoting, conversion and the size-limited write
// (see text_output.h).
#include "text_output.h"

#include <cstring>

#include "code_pages.h"
#include "dalvex/char_utils.h"
#include "ostrand/stream_output.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr uint8_t kFieldMark = 30;

bool IsDroppedSingleByte(uint8_t b) {
  switch (b) {
    case 15: case 16: case 17: case 20: case 25: case 26: case 30: return true;
    default: return false;
  }
}

std::string_view CharsetName(const ExtractOptionsV4& options) {
  return std::string_view(options.charset, strnlen(options.charset, sizeof options.charset));
}

void PutUnit(std::string* out, uint16_t unit) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

}  // namespace

std::string CleanAnsiItem(std::string_view text, uint32_t code_page, bool plain) {
  std::string out;
  if (text.size() == 1 && IsDroppedSingleByte(static_cast<uint8_t>(text[0]))) return out;
  out.reserve(text.size() + text.size() / 8 + 2);
  if (!plain) out.push_back('"');
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (b == '\n' || b == 14) {
      out.push_back(' ');
    } else if (b == '\r') {
      out.push_back(' ');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (b == kFieldMark) {
      continue;
    } else if (code_page == kCodePageLatin1 && (b == 0x93 || b == 0x94)) {
      if (!plain) out.push_back('\\');
      out.push_back('"');
    } else if (b == '"') {
      if (!plain) out.push_back('\\');
      out.push_back('"');
    } else if (IsLeadByte(code_page, b) && i + 1 < text.size()) {
      out.append(text.substr(i, 2));
      ++i;
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  if (out.size() == (plain ? 0u : 1u)) return std::string();
  if (!plain) out.push_back('"');
  return out;
}

std::string CleanUtf16Item(std::string_view text, bool plain) {
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 4);
  if (!plain) PutUnit(&out, '"');
  const size_t units = text.size() / 2;
  auto unit_at = [&](size_t k) {
    return static_cast<uint16_t>(static_cast<uint8_t>(text[2 * k]) | (static_cast<uint8_t>(text[2 * k + 1]) << 8));
  };
  for (size_t k = 0; k < units; ++k) {
    uint16_t u = unit_at(k);
    if (u == '\n' || u == 0x000E || u == 0x2028) {
      PutUnit(&out, ' ');
    } else if (u == '\r') {
      PutUnit(&out, ' ');
      if (k + 1 < units && unit_at(k + 1) == '\n') ++k;
    } else if (u == kFieldMark) {
      continue;
    } else if (u == '"') {
      if (!plain) PutUnit(&out, '\\');
      PutUnit(&out, '"');
    } else {
      PutUnit(&out, u);
    }
  }
  if (out.size() == (plain ? 0u : 2u)) return std::string();
  if (!plain) PutUnit(&out, '"');
  return out;
}

TextOutput::TextOutput(const ExtractOptionsV4& options)
    : options_(options),
      plain_((options.flags_a & kFlagAPlainText) != 0),
      output_code_page_(OutputCodePageOfCharset(std::string(CharsetName(options)).c_str())) {}

int32_t TextOutput::SetUpFor(uint32_t code_page) {
  if (conversion_.Active() && !first_setup_ && setup_source_ == code_page && setup_output_ == output_code_page_)
    return 0;
  const std::string target(CharsetName(options_));
  CconvOptions setup{};
  setup.big_endian = options_.big_endian;
  setup.write_bom = first_setup_ ? 1 : 0;
  setup.substitute = 1;
  setup.substitute_low = setup.substitute_high = SubstituteForCharset(target);
  setup.line_end_flag = 1;
  setup.line_end_form = LineEndForm(options_.flags_a);
  first_setup_ = false;
  if (conversion_.SetUp(setup, target.c_str(), CharsetOfCodePage(code_page)) != 0) return OtherError;
  setup_source_ = code_page;
  setup_output_ = output_code_page_;
  return 0;
}

int32_t TextOutput::WriteItem(std::string_view text, uint32_t code_page, bool raw) {
  std::string cleaned;
  if (!raw) {
    cleaned = code_page == kCodePageUcs2 ? CleanUtf16Item(text, plain_) : CleanAnsiItem(text, code_page, plain_);
    text = cleaned;
  }
  if (text.empty()) return 0;
  if (int32_t rc = SetUpFor(code_page)) return rc;
  std::string stripped = StripControlCodes(text, code_page);
  if (stripped.empty()) return 0;
  auto outcome = conversion_.Convert(stripped, kConvertedBufferBytes,
                                     [this](std::string_view bytes) { return WriteConverted(bytes); });
  if (outcome.produced_any) text_written_ = true;
  if (outcome.stopped_by != 0) return outcome.stopped_by;
  if (outcome.status != kConvDone) {
    // The next item sets the session up again; what was produced stands.
    conversion_.End();
    if (!outcome.produced_any) return OtherError;
  }
  return 0;
}

int32_t TextOutput::LineBreak(uint32_t code_page) {
  if (!text_written_) return 0;
  if (code_page == kCodePageUcs2) return WriteItem(std::string_view("\r\0", 2), code_page, true);
  return WriteItem("\r", code_page, true);
}

int32_t TextOutput::WriteConverted(std::string_view bytes) {
  if (bytes.empty()) return 0;
  int64_t n = static_cast<int64_t>(bytes.size());
  int64_t allowed = n;
  bool at_limit = false;
  if (options_.flags_a & kFlagAOutputLimit) {
    const int64_t limit = options_.length_limit;
    // A count at or past the limit (a nested extraction may have passed
    // it), or a negative limit, leaves no room at all.
    if (limit < 0 || count_ >= limit) return FileLengthOver;
    if (count_ + n > limit) {
      const std::string charset(CharsetName(options_));
      allowed = CutStr(bytes.data(), static_cast<int>(n), static_cast<int>(limit - count_), charset.c_str());
      if (allowed < 0) allowed = 0;
      at_limit = true;
    }
  }
  count_ += allowed;
  bool failed = false;
  if (allowed > 0) {
    if (stream_ != nullptr)
      failed = KVB_WriteStream(stream_, static_cast<int>(allowed), bytes.data()) != 0;
    else  // a short write loses bytes: a failure like no write at all
      failed = file_ == nullptr ||
               KVB_FileWrite(bytes.data(), 1, static_cast<size_t>(allowed), file_) != static_cast<size_t>(allowed);
  }
  if (failed) return FileCantWrite;
  return at_limit ? FileLengthOver : 0;
}

}  // namespace glyphane
