// The language-code table: ISO 639-2 bibliographic codes and their
// terminology codes, and "none" for no language. Constant data, so there is
// nothing to build at load or free at unload.
#pragma once

#include <algorithm>
#include <iterator>
#include <string_view>

#include <unicode/unistr.h>

namespace ObraCommon::detail {

struct CodeRow {
  std::u16string_view key;
  std::u16string_view replacement;
};

// Sorted by key for a binary search; keys are compared exactly, so "GER"
// is left alone. "scr" and "scc" are the withdrawn codes of Croatian and
// Serbian. Javanese has a single code, "jav", which ICU reads itself.
inline constexpr CodeRow kLanguageCodes[] = {
    {u"alb", u"sqi"}, {u"arm", u"hye"}, {u"baq", u"eus"}, {u"bur", u"mya"}, {u"chi", u"zho"},
    {u"cze", u"ces"}, {u"dut", u"nld"}, {u"fre", u"fra"}, {u"geo", u"kat"}, {u"ger", u"deu"},
    {u"gre", u"ell"}, {u"ice", u"isl"}, {u"mac", u"mkd"}, {u"mao", u"mri"}, {u"may", u"msa"},
    {u"none", u""},   {u"per", u"fas"}, {u"rum", u"ron"}, {u"scc", u"srp"}, {u"scr", u"hrv"},
    {u"slo", u"slk"}, {u"tib", u"bod"}, {u"wel", u"cym"},
};

static_assert(std::is_sorted(std::begin(kLanguageCodes), std::end(kLanguageCodes),
                             [](const CodeRow& a, const CodeRow& b) { return a.key < b.key; }));

// The tag as ICU is given it: a bibliographic code, alone or before "-" or
// "_", replaced by its terminology code; "none" by the empty tag.
icu::UnicodeString normaliseLanguageTag(const icu::UnicodeString& tag);

}  // namespace ObraCommon::detail
