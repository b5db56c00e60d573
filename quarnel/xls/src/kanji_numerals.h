// The kanji numeral that the General token writes in a DBNum section.
#pragma once

#include <unicode/unistr.h>

namespace ObraCommon {

// Appends the numeral for value in style dbNum (1..3) and answers the columns
// written: a minus counts one, every numeral character two. Fractions and the
// count of 10^12 units from 1e16 on are written through the General text.
int appendKanjiGeneral(icu::UnicodeString& out, unsigned char dbNum, double value, short width);

}  // namespace ObraCommon
