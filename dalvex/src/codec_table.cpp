// The codec table: the 30 codec names a rule file may give in "destrule="
// (decoders) and "construle=" (encoders), in a fixed order, each with its
// handler. A charset whose rule names a codec without a handler gets no
// decoder or encoder, and cconvConvert answers 1 for its sessions.
//
// How a codec plugs in: write the handler (void(CconvSession*), working at
// the session's positions and reporting through its status as the driver in
// cconv_engine.cpp expects) in a file of its own, declare it in a small
// header, and put its address in its row below in place of nullptr. The
// pre-steps of the UTF-7 and HZ sources plug into FindPreStep the same way.
#include <cstring>
#include <iterator>

#include "cconv_internal.h"

namespace cconv {

namespace {

constexpr CodecRow kCodecs[] = {
    {"destSAME", nullptr},           {"constSAME", nullptr},
    {"destShift_JIS", nullptr},      {"constShift_JIS", nullptr},
    {"destShift_JIS-2004", nullptr}, {"constShift_JIS-2004", nullptr},
    {"destWINDOWS31J", nullptr},     {"constWINDOWS31J", nullptr},
    {"destISO-10646-UCS-2", nullptr}, {"constISO-10646-UCS-2", nullptr},
    {"destISO-10646-UCS-4", nullptr}, {"constISO-10646-UCS-4", nullptr},
    {"destUTF-16", nullptr},         {"constUTF-16", nullptr},
    {"destUTF-8", nullptr},          {"constUTF-8", nullptr},
    {"destEUC-JP", nullptr},         {"constEUC-JP", nullptr},
    {"destEUC-JP-FIX", nullptr},     {"constEUC-JP-FIX", nullptr},
    {"destEUC-JIS-2004", nullptr},   {"constEUC-JIS-2004", nullptr},
    {"destISO-2022-JP", nullptr},    {"constISO-2022-JP", nullptr},
    {"destISO-2022-JP-2004", nullptr}, {"constISO-2022-JP-2004", nullptr},
    {"destOASYS_WIN", nullptr},      {"constOASYS_WIN", nullptr},
    {"destOASYS_ONLINE", nullptr},   {"constOASYS_ONLINE", nullptr},
};
static_assert(std::size(kCodecs) == 30);

}  // namespace

const CodecRow* CodecTable(size_t* count) {
  if (count) *count = std::size(kCodecs);
  return kCodecs;
}

CconvCodecHandler FindCodec(std::string_view name) {
  for (const CodecRow& row : kCodecs)
    if (name == row.name) return row.handler;
  return nullptr;
}

PreStepHandler FindPreStep(int32_t /*mode*/) { return nullptr; }

}  // namespace cconv
