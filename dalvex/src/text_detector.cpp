// The text-file detector: dtctText says which encoding a file's text is in.
// Probelin's text fallback calls it for files that no signature identifies.
//
// The file is read through the portability layer in chunks of 2 KB into one
// buffer. A byte-order mark whose encoding scores 90 or more over the rest
// of the first chunk decides at once. Otherwise every candidate scorer
// (text_scorers.h) scores each chunk and the scores decide: a language hint
// first (among the East Asian double-byte encodings, once the text is no
// longer plain 7-bit), then a perfect UTF-8, UTF-16 or UCS-4 score, then one
// score above all others. A tie narrows the candidates to the tied scorers
// and reading goes on, up to 4 MB; a tie that stands is the answer, plain
// 7-bit text being the commonest.
//
// The hint comes from the caller or, when the caller gives none, from the
// environment (LANG, LC_ALL, LC_CTYPE) as the runtime would read it; the
// process locale is never changed, and nothing is kept between calls.
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include <sys/stat.h>

#include "dalvex/encoding_detect.h"
#include "dalvex/portability.h"
#include "text_scorers.h"

namespace {

using dalvex::detect::kMaxCarry;
using dalvex::detect::kScorerCount;
using dalvex::detect::ScoreChunk;
using dalvex::detect::ScorerKind;
using dalvex::detect::ScorerState;

constexpr size_t kChunk = 2048;
constexpr int64_t kTieReadLimit = 0x400000;
constexpr size_t kMaxLanguage = 260;
constexpr int kDecisive = 90;

enum class Hint { kNone, kJapanese, kEnglish, kSimplifiedChinese, kTraditionalChinese, kKorean };

struct Candidate {
  ScorerKind kind;
  uint32_t bit;
};

// In the order of their result bits; the first of a tie gives the result
// word its line-end flag.
constexpr Candidate kCandidates[kScorerCount] = {
    {ScorerKind::kUtf8, kDtctUtf8},         {ScorerKind::kUtf16Le, kDtctUtf16Le},
    {ScorerKind::kUtf16Be, kDtctUtf16Be},   {ScorerKind::kUcs4Le, kDtctUcs4},
    {ScorerKind::kUcs4Be, kDtctUcs4},       {ScorerKind::kIso2022Jp, kDtctIso2022Jp},
    {ScorerKind::kEucJp, kDtctEucJp},       {ScorerKind::kEucJpFix, kDtctEucJpFix},
    {ScorerKind::kWindows31J, kDtctWindows31J}, {ScorerKind::kSevenBit, kDtctSevenBit},
    {ScorerKind::kGbk, kDtctGbk},           {ScorerKind::kBig5, kDtctBig5},
    {ScorerKind::kKsc5601, kDtctKsc5601},
};

constexpr size_t Index(ScorerKind kind) { return static_cast<size_t>(kind); }

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts)
    if (text.find(part) != std::string_view::npos) return true;
  return false;
}

std::string Lowered(const char* text, size_t length) {
  std::string out(text, length);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A locale name from the environment ("ja_JP.UTF-8", "japanese", "ko").
Hint HintFromLocaleName(const char* value) {
  std::string name = Lowered(value, strnlen(value, kMaxLanguage));
  if (ContainsAny(name, {"ja_", "japanese", "jpn"})) return Hint::kJapanese;
  if (ContainsAny(name, {"en_", "english"})) return Hint::kEnglish;
  if (ContainsAny(name, {"zh_cn", "chinese-simplified", "chs"})) return Hint::kSimplifiedChinese;
  if (ContainsAny(name, {"zh_tw", "chinese-traditional", "cht"})) return Hint::kTraditionalChinese;
  if (ContainsAny(name, {"ko_", "korean", "kor"})) return Hint::kKorean;
  if (name == "ja") return Hint::kJapanese;
  if (name == "en") return Hint::kEnglish;
  if (name == "zh") return Hint::kSimplifiedChinese;
  if (name == "ko") return Hint::kKorean;
  return Hint::kNone;
}

// The caller's language name, or the environment's character-type locale
// read in the runtime's order of preference for this library: LANG first.
Hint LanguageHint(const char* language) {
  size_t length = language != nullptr ? strnlen(language, kMaxLanguage) : 0;
  if (length > 0) {
    std::string name = Lowered(language, length);
    if (name == "japanese") return Hint::kJapanese;
    if (name == "english") return Hint::kEnglish;
    if (name == "simplified chinese") return Hint::kSimplifiedChinese;
    if (name == "traditional chinese") return Hint::kTraditionalChinese;
    if (name == "korean") return Hint::kKorean;
    return Hint::kNone;
  }
  for (const char* variable : {"LANG", "LC_ALL", "LC_CTYPE"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] != '\0') return HintFromLocaleName(value);
  }
  return Hint::kNone;
}

class Detector {
 public:
  explicit Detector(Hint hint) : hint_(hint) {
    for (bool& a : active_) a = true;
  }

  // A byte-order mark at the start of the first chunk whose encoding scores
  // 90 or more over the rest of the chunk: the result word, else 0.
  static int FromMark(uint8_t* chunk, size_t length, bool at_end) {
    struct Mark {
      std::string_view bytes;
      ScorerKind kind;
      uint32_t bits;
    };
    static constexpr Mark kMarks[] = {
        {std::string_view("\xFF\xFE\x00\x00", 4), ScorerKind::kUcs4Le, kDtctUcs4},
        {std::string_view("\x00\x00\xFE\xFF", 4), ScorerKind::kUcs4Be, kDtctUcs4 | kDtctBigEndian},
        {"\xEF\xBB\xBF", ScorerKind::kUtf8, kDtctUtf8},
        {"\xFE\xFF", ScorerKind::kUtf16Be, kDtctUtf16Be | kDtctBigEndian},
        {"\xFF\xFE", ScorerKind::kUtf16Le, kDtctUtf16Le},
    };
    std::string_view head(reinterpret_cast<const char*>(chunk), length);
    for (const Mark& m : kMarks) {
      if (head.substr(0, m.bytes.size()) != m.bytes) continue;
      ScorerState state;
      // The scorer's carry area in front of the rest of the chunk is inside
      // the buffer: the mark and the headroom lie before it.
      ScoreChunk(m.kind, state, chunk + m.bytes.size(), length - m.bytes.size(), at_end);
      if (state.Score() < kDecisive) return 0;
      return static_cast<int>(kDtctSingle | m.bits | state.flags);
    }
    return 0;
  }

  void Score(uint8_t* chunk, size_t length, bool at_end) {
    for (const Candidate& c : kCandidates) {
      ScorerState& s = states_[Index(c.kind)];
      if (!active_[Index(c.kind)]) continue;
      ScoreChunk(c.kind, s, chunk, length, at_end);
      if (s.out) active_[Index(c.kind)] = false;
    }
    // Of the two byte orders the better stays; little-endian on a tie.
    KeepBetterOrder(ScorerKind::kUtf16Le, ScorerKind::kUtf16Be);
    KeepBetterOrder(ScorerKind::kUcs4Le, ScorerKind::kUcs4Be);
  }

  // The decision on the scores so far: the result word when the walk ends
  // here, 0 when a tie should be read on (the candidates are then narrowed
  // to the tied scorers and TieResult holds the word should it stand).
  uint32_t Decide() {
    const bool plain_seven_bit = IsActive(ScorerKind::kSevenBit) && ScoreOf(ScorerKind::kSevenBit) == 100;
    // While the text is plain 7-bit it is valid in every 8-bit candidate:
    // neither a hint nor a perfect score tells anything then.
    if (!plain_seven_bit) {
      if (uint32_t word = ByHint()) return word;
      if (Perfect(ScorerKind::kUtf8)) return Single(ScorerKind::kUtf8);
      if (Perfect(ScorerKind::kUtf16Le)) return Single(ScorerKind::kUtf16Le);
      if (Perfect(ScorerKind::kUcs4Le)) return Single(ScorerKind::kUcs4Le);
    }

    int best = -1;
    size_t at_best = 0, first_best = 0;
    for (size_t i = 0; i < kScorerCount; ++i) {
      if (!active_[i]) continue;
      int score = states_[i].Score();
      if (score > best) {
        best = score;
        at_best = 0;
        first_best = i;
      }
      if (score == best) ++at_best;
    }
    if (best < kDecisive) return kDtctUndecided;
    if (at_best == 1) return Single(kCandidates[first_best].kind);

    uint32_t bits = 0;
    for (size_t i = 0; i < kScorerCount; ++i) {
      if (active_[i] && states_[i].Score() != best) active_[i] = false;
      if (active_[i]) bits |= kCandidates[i].bit;
    }
    if (IsActive(ScorerKind::kSevenBit) && best == 100) {
      tie_result_ = kDtctFromTie | kDtctSevenBit | Fields(ScorerKind::kSevenBit);
    } else {
      tie_result_ = kDtctFromTie | bits | Fields(kCandidates[first_best].kind);
    }
    return 0;
  }

  uint32_t TieResult() const { return tie_result_; }

 private:
  bool IsActive(ScorerKind kind) const { return active_[Index(kind)]; }
  int ScoreOf(ScorerKind kind) const { return states_[Index(kind)].Score(); }
  bool Perfect(ScorerKind kind) const { return IsActive(kind) && ScoreOf(kind) == 100; }

  uint32_t ByHint() const {
    switch (hint_) {
      case Hint::kJapanese:
        if (Perfect(ScorerKind::kWindows31J)) return Single(ScorerKind::kWindows31J);
        if (Perfect(ScorerKind::kEucJp)) return Single(ScorerKind::kEucJp);
        if (Perfect(ScorerKind::kIso2022Jp)) return Single(ScorerKind::kIso2022Jp);
        return 0;
      case Hint::kSimplifiedChinese:
        return Perfect(ScorerKind::kGbk) ? Single(ScorerKind::kGbk) : 0;
      case Hint::kTraditionalChinese:
        return Perfect(ScorerKind::kBig5) ? Single(ScorerKind::kBig5) : 0;
      case Hint::kKorean:
        return Perfect(ScorerKind::kKsc5601) ? Single(ScorerKind::kKsc5601) : 0;
      case Hint::kEnglish:
      case Hint::kNone:
        return 0;
    }
    return 0;
  }

  // The winning scorer's features: its line-end flag, the U+2028 / U+2029
  // markers, and the byte order of UTF-16 and UCS-4.
  uint32_t Fields(ScorerKind kind) const {
    uint32_t fields = states_[Index(kind)].flags;
    if (kind == ScorerKind::kUtf16Be || kind == ScorerKind::kUcs4Be) fields |= kDtctBigEndian;
    return fields;
  }

  uint32_t Single(ScorerKind kind) const { return kDtctSingle | kCandidates[Index(kind)].bit | Fields(kind); }

  void KeepBetterOrder(ScorerKind little, ScorerKind big) {
    if (!IsActive(little) || !IsActive(big)) return;
    if (ScoreOf(little) >= ScoreOf(big)) {
      active_[Index(big)] = false;
    } else {
      active_[Index(little)] = false;
    }
  }

  Hint hint_;
  ScorerState states_[kScorerCount];
  bool active_[kScorerCount];
  uint32_t tie_result_ = 0;
};

// Reads exactly `want` bytes; false on a short read.
bool ReadChunk(KVB_FileHandle file, uint8_t* into, size_t want) {
  return KVB_FileRead(into, 1, want, file) == want;
}

int DetectFile(KVB_FileHandle file, int64_t size, uint8_t* buffer, Hint hint) {
  uint8_t* chunk = buffer + kMaxCarry;
  size_t length = static_cast<size_t>(size < int64_t{kChunk} ? size : int64_t{kChunk});
  if (!ReadChunk(file, chunk, length)) return 0;
  int64_t read = static_cast<int64_t>(length);

  if (int word = Detector::FromMark(chunk, length, read == size)) return word;

  Detector detector(hint);
  for (;;) {
    detector.Score(chunk, length, read == size);
    uint32_t word = detector.Decide();
    if (word != 0) return static_cast<int>(word);
    if (read > kTieReadLimit || read == size) return static_cast<int>(detector.TieResult());
    length = static_cast<size_t>(size - read < int64_t{kChunk} ? size - read : int64_t{kChunk});
    // A file that cannot be read on ends with the tie reached so far.
    if (!ReadChunk(file, chunk, length)) return static_cast<int>(detector.TieResult());
    read += static_cast<int64_t>(length);
  }
}

}  // namespace

extern "C" int dtctText(const char* path, const char* language) {
  if (path == nullptr) return -1;
  struct stat record {};
  if (KVB_STAT(path, &record) != 0 || S_ISDIR(record.st_mode)) return -1;
  KVB_FileHandle file = KVB_FileOpen(path, "rb");
  if (file == nullptr) return -1;
  // The engine's offsets are 32-bit: a file of 2 GiB or more gives -1 here.
  int32_t size = KVB_FileTellSize(file);
  if (size <= 0) {
    KVB_FileClose(file);
    return -1;
  }
  auto* buffer = static_cast<uint8_t*>(KVB_malloc(kMaxCarry + kChunk));
  if (buffer == nullptr) {
    KVB_FileClose(file);
    return -1;
  }
  int result = DetectFile(file, size, buffer, LanguageHint(language));
  KVB_free(buffer);
  KVB_FileClose(file);
  return result;
}
