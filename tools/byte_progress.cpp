#include "byte_progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kmvtool {
namespace {

constexpr auto kInterval = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 24;

std::string amount(double bytes) {
  static const char *const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes,
                units[unit]);
  return text;
}

// Standard output on the terminal, or in a pipe whose reader may be a
// pager on it.
bool stdout_may_share_terminal() {
  struct stat info {};
  return ::isatty(STDOUT_FILENO) == 1 ||
         (::fstat(STDOUT_FILENO, &info) == 0 && S_ISFIFO(info.st_mode));
}

}  // namespace

ByteProgress::ByteProgress(bool wanted, bool text_to_stdout)
    : enabled_(wanted && ::isatty(STDERR_FILENO) == 1 &&
               !(text_to_stdout && stdout_may_share_terminal())) {}

void ByteProgress::update(std::uint64_t done) {
  if (!enabled_) return;
  const auto now = clock::now();
  if (now - last_ < kInterval) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  status_.show(line(done, seconds));
}

std::string ByteProgress::line(std::uint64_t done, double seconds) const {
  std::string text = "kmv: ";
  if (total_ && *total_ > 0) {
    const double part =
        std::min(1.0, static_cast<double>(done) / static_cast<double>(*total_));
    const auto filled = static_cast<std::size_t>(part * kBarWidth);
    text.append(1, '[').append(filled, '#').append(kBarWidth - filled, '.');
    text.append("] ").append(amount(static_cast<double>(done)));
    text.append(" / ").append(amount(static_cast<double>(*total_)));
  } else {
    text.append(amount(static_cast<double>(done)));
  }
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  return text.append(", ").append(amount(rate)).append("/s");
}

}  // namespace kmvtool
