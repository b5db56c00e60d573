// The library's version and clean-up. Each part that builds tables on first
// use frees them here, in the order of its dependencies, before ICU's own
// clean-up, which comes last because every part uses ICU.
#include "quarnel/library.h"

#include <unicode/uclean.h>

#include "quarnel/mathml_name.h"
#include "quarnel/name.h"
#include "quarnel/svg_name.h"
#include "quarnel/util.h"
#include "quarnel/zel_lang.h"

namespace ObraCommon {

int getLibVersion() { return 309; }

void cleanup() {
  ZelNameTable::cleanup();
  ZelUtil::cleanup();
  ZelLang::cleanup();
  MathMLName::cleanup();
  SVGName::cleanup();
  u_cleanup();
}

}  // namespace ObraCommon
