// Line reading over arbitrary text: the bytes go to a temporary file, are
// opened for a fuzzed target type and read to the end with a fuzzed buffer
// size, twice (the second time after a rewind). Reading must end, and no
// call may write past the buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/tio.h"
#include "kmv.h"

namespace {

constexpr int32_t kTypes[] = {0, 1,  2,  3,  4,  5,  6,  7,
                              8, 11, 12, 13, 14, 15, 16, 0x100};

// Prefixes that make the detector keep the bytes as they are, so that the
// scanners also meet text no converter would write.
const std::string kPrefixes[] = {"", "\xEF\xBB\xBF", "\xFE\xFF", "\xFF\xFE",
                                 "\x1B$B"};

std::string temp_path() {
  return "/tmp/kmv_fuzz_lines_" + std::to_string(getpid());
}

bool write_text(const std::string &path, const std::string &text) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Reads to the end; a buffer too small for what comes next is doubled.
void read_to_end(int32_t fd, int32_t line_size, uint64_t text_size) {
  const kmv::TIO &record = kmv::tioInfo[fd];
  uint64_t calls = 0;
  for (;;) {
    if (++calls > 4 * text_size + 64) std::abort();  // no progress
    std::vector<unsigned char> line(static_cast<size_t>(line_size));
    int32_t len = -1;
    const unsigned char *before = record.pos;
    const int32_t r = kmv_io_get_line(fd, line.data(), line_size, &len);
    if (r == KMV_EOF || r == KMV_ECTYPE) return;
    if (len < 0 || len > line_size) std::abort();
    if (r == KMV_EUEXPEOD && record.pos == before) {
      if (line_size > static_cast<int32_t>(text_size) + 8) std::abort();
      line_size *= 2;
      continue;
    }
    if (record.pos <= before) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const int32_t dst_type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  const std::string &prefix = kPrefixes[(data[0] >> 4) % 5];
  const int32_t line_size = 1 + data[1] % 40;
  const std::string text =
      prefix + std::string(reinterpret_cast<const char *>(data + 2), size - 2);
  const std::string path = temp_path();
  if (!write_text(path, text)) return 0;

  const int32_t fd = kmv_io_open(path.c_str(), 0, 0, dst_type, nullptr);
  if (fd >= 0) {
    const auto text_size = static_cast<uint64_t>(kmv::tioInfo[fd].size);
    unsigned char guard[1] = {'#'};
    if (kmv_io_get_line(fd, guard, 0, nullptr) >= 0 || guard[0] != '#') {
      std::abort();
    }
    read_to_end(fd, line_size, text_size);
    if (kmv_io_rewind(fd) != 0) std::abort();
    read_to_end(fd, line_size, text_size);
    kmv_io_close(fd);
  }
  std::remove(path.c_str());
  return 0;
}
