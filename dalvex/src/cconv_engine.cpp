// The conversion engine: its start and end, the lists of charsets and code
// sets, and the session functions with the driver that runs a session.
//
// Design. startProcess counts its callers; the first creates the table mutex
// "CtableMutex" (platform/win32's named mutex: recursive, across processes)
// and the lists, which cconvLoadRule fills from the rule files of the
// configuration folder (rule_files.cpp). A session is a plain caller-owned
// record: cconvInitConvert binds the target charset and its encoder,
// cconvChgCharset the source and its decoder, each ensuring the tables its
// side needs (code_set_tables.cpp). cconvConvert then alternates the two:
// the decoder reads one character at the input position into the session's
// character fields and reports 11 (or 12, 13, 0); the driver normalises line
// ends, runs the encoder, which writes the character at the output length
// and reports 21 (or 22 no room, 23 unmappable), and substitutes an
// unmappable character when asked to.
//
// How a codec plugs in: a codec is one CconvCodecHandler in the codec table
// (codec_table.cpp), found by the exact name a rule file gives in
// "destrule=" or "construle=". A decoder reads from input + input_position
// (never past input_length), fills raw_code, code, unicode, char_set_id and
// char_set_kind, advances input_position and decoded_count and sets status
// 11; an encoder maps the character (by Lookup on the target's set tables,
// code_set_tables.cpp), writes at output + output_length (never at or past
// output_capacity), advances output_length and encoded_count and sets 21.
// Called with status 22 an encoder writes out_code of out_set_id as it
// stands (a prepared substitute); called with 31 it flushes. Neither keeps
// memory between calls: the session is all the state there is.
//
// Speed: for the common codec pairs the driver first converts whole runs of
// plain characters in one loop (codecs_runs.cpp), with the sets resolved
// once per call and the tables' page indexes; the character that ends a run
// goes through the handlers as above, so results stay those of the
// handlers.
#include <cstring>
#include <memory>

#include "cconv_internal.h"
#include "codecs.h"
#include "win32/directory_search.h"
#include "win32/named_mutex.h"

extern "C" int kvb_GetKeyValue(const char* key, char* out, int out_size);

namespace cconv {

namespace {

constexpr int kStatusDone = 0;
constexpr int kStatusNoCodec = 1;
constexpr int kStatusDecoded = 11;
constexpr int kStatusNeedInput = 12;
constexpr int kStatusInvalid = 13;
constexpr int kStatusWritten = 21;
constexpr int kStatusFull = 22;
constexpr int kStatusUnmappable = 23;
constexpr int kStatusFlush = 31;

std::shared_ptr<win32::NamedMutex>& TableMutex() {
  static auto* mutex = new std::shared_ptr<win32::NamedMutex>();
  return *mutex;
}

// Copies a name of at most 259 bytes, as the engine's 260-byte fields do.
std::string Bounded(const char* text) {
  if (text == nullptr) return std::string();
  return std::string(text, strnlen(text, 259));
}

void CopyField(char (&field)[260], const char* text) {
  size_t n = text ? strnlen(text, 259) : 0;
  if (n) std::memcpy(field, text, n);
  field[n] = '\0';
}

const CconvCharset* FindLoaded(const std::string& name) { return FindCharset(NameToId(name)); }

void FreeLists(Engine& engine) {
  engine.charsets.clear();
  engine.code_sets.clear();
  engine.lists = false;
}

}  // namespace

Engine& TheEngine() {
  static auto* engine = new Engine();
  return *engine;
}

bool LockTables() {
  auto mutex = TableMutex();
  return mutex && mutex->Lock();
}

void UnlockTables() {
  if (auto mutex = TableMutex()) mutex->Unlock();
}

uint32_t BlockSize() {
  uint16_t size = TheEngine().block_size;
  return size == 0 ? 4096 : size;
}

CconvCodeSet* FindCodeSet(int32_t id) {
  for (auto& set : TheEngine().code_sets)
    if (set->id == id) return set.get();
  return nullptr;
}

const CconvCharset* FindCharset(int32_t id) {
  for (auto& charset : TheEngine().charsets)
    if (charset->id == id) return charset.get();
  return nullptr;
}

}  // namespace cconv

namespace cconv {

// The driver: alternates decoder and encoder over the session's current
// input until it is consumed or a status stops the run.
int32_t DriveSession(CconvSession* session) {
  const CconvOptions& options = session->options;
  session->status = kStatusWritten;
  int32_t saved_position = 0, saved_count = 0;
  RunPlan plan;
  bool runs = PlanRuns(session, &plan);
  // Where the last round began. A round that ends where it began (no input
  // taken, nothing written, the same status) would repeat forever: a codec
  // that cannot write a character nor the substitute prepared for it, or a
  // decoder that reports invalid input without taking it. The character in
  // hand is then reported as invalid.
  int32_t round_position = -1, round_output = -1, round_status = -1;
  for (;;) {
    if (session->input_position == round_position && session->output_length == round_output &&
        session->status == round_status) {
      session->status = kStatusInvalid;
      break;
    }
    round_position = session->input_position;
    round_output = session->output_length;
    round_status = session->status;
    int status = session->status;
    if (status == kStatusWritten || status == kStatusNeedInput) {
      // Whole runs of plain characters first (codecs_runs.cpp); the
      // character that ends a run goes through the handlers below.
      if (runs) RunChars(session, plan);
      if (session->input_position >= session->input_length) {
        session->status = kStatusDone;
        break;
      }
      if (session->output_length >= session->output_capacity) {
        session->status = kStatusFull;
        break;
      }
      session->prev_raw_code = session->raw_code;
      session->raw_code = session->code = session->unicode = session->out_code = 0;
      session->out_unit_width = session->out_multi_length = 0;
      session->second_code_point = 0;
      saved_position = session->input_position;
      saved_count = session->decoded_count;
      session->decoder(session);
      if (session->status == kStatusInvalid && session->charset_options.skip_invalid) {
        session->status = kStatusWritten;
        continue;
      }
      if (session->status != kStatusDecoded) break;
    }
    if (session->status == kStatusDecoded && options.line_end_flag) {
      if (session->raw_code == '\n' && session->prev_raw_code == '\r') {
        session->status = kStatusWritten;  // the LF of a CR LF
        continue;
      }
      if (session->raw_code == '\n' || session->raw_code == '\r' || session->unicode == 0x2028 ||
          session->unicode == 0x2029) {
        session->code = session->unicode = '\r';
      }
    }
    if (session->status != kStatusDecoded && session->status != kStatusFull) break;
    session->encoder(session);
    if (session->status == kStatusFull) {
      session->input_position = saved_position;
      session->decoded_count = saved_count;
      break;
    }
    if (session->status == kStatusUnmappable && options.substitute) {
      const CconvPreparedChar& sub = session->substitutes[session->code < 256 ? 0 : 1];
      session->second_code_point = 0;
      if (sub.set_id == 0) {  // no substitute: the character is skipped
        session->status = kStatusWritten;
        continue;
      }
      session->out_set_id = sub.set_id;
      session->out_set_kind = sub.kind;
      session->out_code = sub.code;
      session->out_unit_width = sub.unit_width;
      session->out_multi_length = 0;
      session->status = kStatusFull;  // ready for writing as it stands
      continue;
    }
    if (session->status != kStatusWritten) break;
  }
  return session->status;
}

}  // namespace cconv

using namespace cconv;

extern "C" {

int startProcess(void) {
  try {
    Engine& engine = TheEngine();
    char folder[260] = {};
    // The value is the configuration folder; an empty one means there is no
    // configuration (a bare "*.xml" would read the current directory).
    if (kvb_GetKeyValue("Charsetpath", folder, sizeof folder) <= 0) folder[0] = '\0';
    engine.folder = folder;
    if (engine.start_count <= 0) {
      engine.start_count = 0;
      TableMutex() = win32::NamedMutex::Open("CtableMutex");
      engine.block_size = 0;
      FreeLists(engine);
      engine.lists = true;
    }
    ++engine.start_count;
    return 1;
  } catch (...) {
    return 0;
  }
}

void endProcess(void) {
  Engine& engine = TheEngine();
  // An unmatched call must not drive the count below zero: the next start
  // would then skip creating the lists.
  if (engine.start_count <= 0) return;
  if (--engine.start_count == 0) {
    TableMutex().reset();
    FreeLists(engine);
  }
}

int setBlockSize(int size) {
  TheEngine().block_size = static_cast<uint16_t>(size);
  return TheEngine().block_size;
}

int lockMutex(void) {
  auto mutex = TableMutex();
  return mutex && mutex->Lock() ? 1 : 0;
}

int unlockMutex(void) {
  auto mutex = TableMutex();
  return mutex && mutex->Unlock() ? 1 : 0;
}

int cconvLoadRule(void) {
  try {
    Engine& engine = TheEngine();
    if (!engine.lists || engine.folder.empty()) return 0;
    auto search = win32::DirectorySearch::Open(engine.folder + "*.xml");
    if (!search) return 0;
    RuleFileReadScope read_once;
    int loaded = 0;
    while (const win32::FoundEntry* entry = search->Next()) {
      const std::string& name = entry->name;
      // The search folds case; rule files end in ".xml" exactly.
      if (entry->is_directory || name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0)
        continue;
      if (LoadRuleFile(name)) loaded = 1;
    }
    return loaded;
  } catch (...) {
    return 0;
  }
}

int cconvEnumGroup(int index, char* out) {
  const Engine& engine = TheEngine();
  if (index < 0 || out == nullptr || static_cast<size_t>(index) >= engine.charsets.size()) return 0;
  const std::string& name = engine.charsets[static_cast<size_t>(index)]->name;
  std::memcpy(out, name.c_str(), name.size() + 1);  // at most 259 bytes and the zero
  return 1;
}

int cconvInitConvert(CconvSession* session, const CconvOptions* options, const char* target) {
  if (session == nullptr) return kStatusNoCodec;
  try {
    const CconvCharset* charset = FindLoaded(Bounded(target));
    auto* base = reinterpret_cast<unsigned char*>(session);
    std::memset(base + offsetof(CconvSession, status), 0,
                offsetof(CconvSession, charset_options) - offsetof(CconvSession, status));
    std::memset(session->substitutes, 0, sizeof session->substitutes);
    if (charset == nullptr) {
      session->status = kStatusNoCodec;
      return kStatusNoCodec;
    }
    for (CconvCodeSet* set : charset->sets)
      if (set->kind != 3) set->to_code->Ensure();
    session->target_id = charset->id;
    session->target = charset;
    session->encoder = FindCodec(charset->encoder_name, CodecRole::kEncoder);
    if (options) session->options = *options;
    else std::memset(&session->options, 0, sizeof session->options);
    session->options.language[259] = '\0';
    PrepareSession(session);
    CopyField(session->base_language, session->options.language);
    CopyField(session->tagged_language, session->options.language);
    CopyField(session->current_language, session->options.language);
    session->status = kStatusDone;
    return kStatusDone;
  } catch (...) {
    session->status = kStatusNoCodec;
    return kStatusNoCodec;
  }
}

int cconvChgCharset(CconvSession* session, CconvCharsetOptions* options, const char* source) {
  if (session == nullptr) return kStatusNoCodec;
  try {
    std::string name = Bounded(source);
    int32_t mode = 0;
    if (name == "UTF-7") {
      mode = 1;
      if (options) options->big_endian = 0;  // the pre-step writes machine order
      name = "ISO-10646-UCS-4";
    } else if (name == "HZ-GB-2312") {
      mode = 2;
      name = "ChineseGBK";
    }
    const CconvCharset* charset = FindLoaded(name);
    if (charset == nullptr) {
      session->status = kStatusNoCodec;
      return kStatusNoCodec;
    }
    for (CconvCodeSet* set : charset->sets)
      if (set->kind != 3) set->to_unicode->Ensure();
    session->prestep_mode = mode;
    session->source_id = charset->id;
    session->source = charset;
    session->decoder = FindCodec(charset->decoder_name, CodecRole::kDecoder);
    session->char_set_id = 0;
    session->char_set_kind = 0;
    session->decode_shift = kIdIso646Irv;
    session->raw_code = session->code = session->unicode = session->out_code = 0;
    if (options) session->charset_options = *options;
    else std::memset(&session->charset_options, 0, sizeof session->charset_options);
    session->status = kStatusDone;
    return kStatusDone;
  } catch (...) {
    session->status = kStatusNoCodec;
    return kStatusNoCodec;
  }
}

int cconvChgLang(CconvSession* session, const char* language) {
  if (session == nullptr) return kStatusNoCodec;
  CopyField(session->current_language, language);
  session->status = kStatusDone;
  return kStatusDone;
}

int cconvConvert(CconvSession* session) {
  if (session == nullptr) return kStatusNoCodec;
  if (!session->decoder || !session->encoder) {
    session->status = kStatusNoCodec;
    return kStatusNoCodec;
  }
  // A UTF-7 or HZ source converts through its pre-step, which keeps the
  // positions in the caller's bytes.
  if (session->prestep_mode != 0) return RunWithPreStep(session);
  return DriveSession(session);
}

int cconvTermConvert(CconvSession* session) {
  if (session == nullptr) return kStatusNoCodec;
  if (!session->encoder) {
    session->status = kStatusDone;
    return kStatusDone;
  }
  session->status = kStatusFlush;
  session->encoder(session);
  return session->status;
}

}  // extern "C"
