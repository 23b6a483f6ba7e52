// Building message strings.
#ifndef KMV_TOOLS_TEXT_H
#define KMV_TOOLS_TEXT_H

#include <string>

namespace kmvtool {

// The parts one after another. (Also keeps GCC 12 from a false -Wrestrict
// report on `"literal" + std::string`.)
template <typename... Parts>
std::string join(const Parts &...parts) {
  std::string out;
  (out += ... += parts);
  return out;
}

}  // namespace kmvtool

#endif
