// One line on standard error that is redrawn in place and erased before
// anything else is written there: the tool's progress displays.
#ifndef KMV_TOOLS_STATUS_LINE_H
#define KMV_TOOLS_STATUS_LINE_H

#include <cstdio>
#include <string>

namespace kmvtool {

class StatusLine {
 public:
  void show(const std::string &text) {
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void erase() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool shown_ = false;
};

}  // namespace kmvtool

#endif
