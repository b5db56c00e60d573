// Charset and code-set names to ids. The 31 built-in names have fixed ids
// that every codec relies on; any other name gets 4000 plus the sum of its
// lower-cased bytes weighted by their position (from 1). Rule files name
// charsets and sets by text; the engine keeps and finds them by these ids.
#include <iterator>

#include "cconv_internal.h"

namespace cconv {

namespace {

struct NamedId {
  std::string_view name;
  int32_t id;
};

constexpr NamedId kCharsetIds[] = {
    {"shift_jis", 1001},       {"windows31j", 1002},      {"iso-10646-ucs-2", 1003},
    {"iso-10646-ucs-4", 1004}, {"utf-16", 1005},          {"utf-8", 1006},
    {"euc-jp", 1007},          {"euc-jp-fix", 1008},      {"iso-2022-jp", 1009},
    {"shift_jis-2004", 1010},  {"euc-jis-2004", 1011},    {"iso-2022-jp-2004", 1012},
    {"iso-646irv", 2001},      {"jis_x0201latin", 2002},  {"jis_x0201kana", 2003},
    {"jis_c6226-1978", 2004},  {"jis_x0208-1983", 2005},  {"jis_x0208-1990", 2006},
    {"jis_x0212-1990", 2007},  {"nec_extset", 2008},      {"ibm_extset", 2009},
    {"jis-78-83", 2010},       {"jis_x0213", 2011},       {"windows31j-usr", 3001},
    {"windowsntj-usr", 3002},  {"oasys_extset", 3003},    {"oasys2_extset", 3004},
    {"chinesegbk", 5000},      {"chinesebig5", 5001},     {"koreanksc", 5002},
    {"gb18030", 5003},
};
static_assert(std::size(kCharsetIds) == 31);

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

int32_t NameToId(std::string_view name) {
  std::string lower = AsciiLower(name);
  for (const NamedId& row : kCharsetIds)
    if (row.name == lower) return row.id;
  // Names are at most 259 bytes, so the sum stays far inside 32 bits.
  uint32_t sum = 4000;
  for (size_t j = 0; j < lower.size(); ++j)
    sum += static_cast<uint32_t>(static_cast<unsigned char>(lower[j])) * static_cast<uint32_t>(j + 1);
  return static_cast<int32_t>(sum);
}

}  // namespace cconv
