// A progress bar for one large text on a terminal: bytes done, the total
// when it is known, and throughput, on standard error, erased at the end.
#ifndef KMV_TOOLS_BYTE_PROGRESS_H
#define KMV_TOOLS_BYTE_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "status_line.h"

namespace kmvtool {

class ByteProgress {
 public:
  // Shown only when `wanted`, standard error is a terminal, and the text
  // goes to a file (not to the terminal or a pipe, whose reader may be a
  // pager on the same terminal).
  ByteProgress(bool wanted, bool text_to_stdout);
  ByteProgress(const ByteProgress &) = delete;
  ByteProgress &operator=(const ByteProgress &) = delete;
  ~ByteProgress() { erase(); }

  void set_total(std::optional<std::uint64_t> total) { total_ = total; }
  // At most ten redraws a second, the first a tenth of a second in, so
  // that short texts never show a bar.
  void update(std::uint64_t done);
  void erase() { status_.erase(); }

 private:
  std::string line(std::uint64_t done, double seconds) const;

  using clock = std::chrono::steady_clock;
  bool enabled_;
  StatusLine status_;
  std::optional<std::uint64_t> total_;
  clock::time_point start_ = clock::now();
  clock::time_point last_ = start_;
};

}  // namespace kmvtool

#endif
