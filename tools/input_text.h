// The bytes of one input, for detection and for conversion in pieces, in
// bounded memory: a regular file is mapped for whatever needs all of it
// (detection, positions) and read piece by piece into a reused buffer for
// conversion (the mapped pages let go once passed); a pipe or device is
// read piece by piece.
#ifndef KMV_TOOLS_INPUT_TEXT_H
#define KMV_TOOLS_INPUT_TEXT_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inputs.h"

namespace kmvtool {

class InputText {
 public:
  // Small enough that a piece and its output stay in the cache from the
  // read through the converter to the write (larger pieces cost more).
  static constexpr std::size_t kPiece = std::size_t{1} << 17;

  InputText() = default;
  InputText(const InputText &) = delete;
  InputText &operator=(const InputText &) = delete;
  ~InputText();

  std::optional<std::string> open(const Input &in);

  // A regular file: all of it is at hand, for detection and positions.
  bool mapped() const { return map_ != nullptr || (regular_ && size_ == 0); }
  std::span<const std::byte> whole() const;
  // Maps a mapped file (up to 1 GiB of it) in one go, for a reader of the
  // whole of it: far fewer faults than page by page.
  void prefault() const;

  // What is seen before converting: the whole mapped file, or the first
  // `limit` bytes of a stream (they come again from next()).
  std::optional<std::string> look_ahead(std::size_t limit,
                                        std::span<const std::byte> &seen);

  // The next piece, empty at the end; valid until the next call.
  std::optional<std::string> next(std::span<const std::byte> &piece);

  // Reads a stream to its end without keeping it.
  std::optional<std::string> drain();

  // The detector's reader of a mapped file (a kmvx_read_fn): its bytes
  // from the start, as many as it had when opened, straight into the
  // detector's buffer. The map's pages stay untouched.
  static std::int64_t read_for_detector(void *self, unsigned char *into,
                                        std::uint64_t most);
  // Why read_for_detector() failed.
  const std::string &read_failure() const { return read_failure_; }

  // The file's size now against the size it had when opened.
  std::optional<std::string> check_unchanged() const;

 private:
  // Appends up to `want` bytes (`fill`: as many as come before the end).
  std::optional<std::string> read_some(std::vector<std::byte> &into,
                                       std::size_t want, bool fill);

  int fd_ = -1;
  bool own_fd_ = false;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  std::byte *map_ = nullptr;
  std::uint64_t offset_ = 0;      // mapped: where next() goes on
  std::uint64_t released_ = 0;    // mapped: pages let go below this
  std::vector<std::byte> ahead_;  // stream: looked at, not yet handed out
  bool ahead_pending_ = false;
  std::vector<std::byte> buffer_;  // stream: the piece handed out
  bool ended_ = false;
  std::uint64_t detector_at_ = 0;  // mapped: where the detector goes on
  std::string read_failure_;
};

}  // namespace kmvtool

#endif
