// The codec table: the 30 codec names a rule file may give in "destrule="
// (decoders) and "construle=" (encoders), in a fixed order, each with its
// handler. A charset whose rule names a codec without a handler, or a codec
// of the other direction (a decoder as its "construle="), gets no decoder or
// encoder, and cconvConvert answers 1 for its sessions: a decoder run as an
// encoder would read the caller's input where it expects the session's
// decoded character.
//
// The handlers live in the codecs_*.cpp files and are declared in
// codecs.h; several rows share one handler (the Shift_JIS decoder reads
// Shift_JIS-2004 by the source charset's id, the ISO-2022 encoder writes
// its set-2006 designation by the target's).
#include <cstring>
#include <iterator>

#include "codecs.h"

namespace cconv {

namespace {

constexpr CodecRow kCodecs[] = {
    {"destSAME", DecodeSame},                 {"constSAME", EncodeSame},
    {"destShift_JIS", DecodeShiftJis},        {"constShift_JIS", EncodeShiftJis},
    {"destShift_JIS-2004", DecodeShiftJis},   {"constShift_JIS-2004", EncodeShiftJis2004},
    {"destWINDOWS31J", DecodeWindows31J},     {"constWINDOWS31J", EncodeShiftJis},
    {"destISO-10646-UCS-2", DecodeUcs2},      {"constISO-10646-UCS-2", EncodeUcs2},
    {"destISO-10646-UCS-4", DecodeUcs4},      {"constISO-10646-UCS-4", EncodeUcs4},
    {"destUTF-16", DecodeUtf16},              {"constUTF-16", EncodeUtf16},
    {"destUTF-8", DecodeUtf8},                {"constUTF-8", EncodeUtf8},
    {"destEUC-JP", DecodeEucJp},              {"constEUC-JP", EncodeEuc},
    {"destEUC-JP-FIX", DecodeEucFix},         {"constEUC-JP-FIX", EncodeEucFix},
    {"destEUC-JIS-2004", DecodeEucJis2004},   {"constEUC-JIS-2004", EncodeEuc},
    {"destISO-2022-JP", DecodeIso2022},       {"constISO-2022-JP", EncodeIso2022},
    {"destISO-2022-JP-2004", DecodeIso2022},  {"constISO-2022-JP-2004", EncodeIso2022},
    {"destOASYS_WIN", DecodeOasysWin},        {"constOASYS_WIN", EncodeShiftJis},
    {"destOASYS_ONLINE", DecodeOasysOnline},  {"constOASYS_ONLINE", EncodeSame},
};
static_assert(std::size(kCodecs) == 30);

}  // namespace

const CodecRow* CodecTable(size_t* count) {
  if (count) *count = std::size(kCodecs);
  return kCodecs;
}

CconvCodecHandler FindCodec(std::string_view name, CodecRole role) {
  const std::string_view prefix = role == CodecRole::kEncoder ? "const" : "dest";
  if (!name.starts_with(prefix)) return nullptr;
  for (const CodecRow& row : kCodecs)
    if (name == row.name) return row.handler;
  return nullptr;
}

}  // namespace cconv
