// Fixed sets of code points, held as sorted inclusive ranges.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace ObraCommon::detail {

struct CodeRange {
  int32_t first;
  int32_t last;
};

template <size_t N>
bool inRanges(const CodeRange (&ranges)[N], int32_t c) {
  const CodeRange* it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                         [](int32_t v, const CodeRange& r) { return v < r.first; });
  return it != std::begin(ranges) && c <= std::prev(it)->last;
}

}  // namespace ObraCommon::detail
