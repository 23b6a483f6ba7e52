#include "input_text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kmvtool {
namespace {

std::string error_text(const char *what) {
  if (errno == ENAMETOOLONG) return "the path is longer than the system allows";
  return std::string(what) + std::strerror(errno);
}

}  // namespace

InputText::~InputText() {
  if (map_ != nullptr) ::munmap(map_, size_);
  if (own_fd_) ::close(fd_);
}

std::optional<std::string> InputText::open(const Input &in) {
  if (in.problem) return *in.problem;
  if (in.is_stdin) {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(in.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return error_text("");
    own_fd_ = true;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return error_text("");
  if (S_ISDIR(info.st_mode)) return std::string("is a directory");
  regular_ = S_ISREG(info.st_mode);
  if (!regular_ || info.st_size == 0) return std::nullopt;
  size_ = static_cast<std::uint64_t>(info.st_size);
  void *at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
  if (at == MAP_FAILED) {
    regular_ = false;  // read it like a stream instead
    size_ = 0;
    return std::nullopt;
  }
  map_ = static_cast<std::byte *>(at);
  ::madvise(map_, size_, MADV_SEQUENTIAL);
  return std::nullopt;
}

std::span<const std::byte> InputText::whole() const {
  return {map_, static_cast<std::size_t>(size_)};
}

void InputText::prefault() const {
  // Beyond a size that memory may not hold at once, pages mapped early
  // would only be dropped again before the reader comes to them.
  constexpr std::uint64_t kMost = std::uint64_t{1} << 30;
  if (map_ != nullptr) {
    ::madvise(map_, std::min(size_, kMost), MADV_POPULATE_READ);
  }
}

std::optional<std::string> InputText::read_some(std::vector<std::byte> &into,
                                                std::size_t want, bool fill) {
  const std::size_t start = into.size();
  into.resize(start + want);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd_, into.data() + start + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      into.resize(start + got);
      return error_text("read error: ");
    }
    if (n == 0) {
      ended_ = true;
      break;
    }
    got += static_cast<std::size_t>(n);
    if (!fill) break;
  }
  into.resize(start + got);
  return std::nullopt;
}

std::optional<std::string> InputText::look_ahead(
    std::size_t limit, std::span<const std::byte> &seen) {
  if (mapped()) {
    seen = whole();
    return std::nullopt;
  }
  while (!ended_ && ahead_.size() < limit) {
    const std::size_t want = std::min(kPiece, limit - ahead_.size());
    if (auto why = read_some(ahead_, want, true)) return why;
  }
  ahead_pending_ = true;
  seen = ahead_;
  return std::nullopt;
}

std::optional<std::string> InputText::next(std::span<const std::byte> &piece) {
  if (mapped()) {
    // Let go of the pages already converted: they count against memory.
    const std::uint64_t keep = offset_ & ~std::uint64_t{0xFFFFF};
    if (keep > released_) {
      ::madvise(map_ + released_, keep - released_, MADV_DONTNEED);
      released_ = keep;
    }
    // Read into a reused buffer rather than through the map: the copy is
    // cheaper than faulting each page in and out again, and the buffer
    // stays in the cache for the converter.
    const std::uint64_t n = std::min<std::uint64_t>(kPiece, size_ - offset_);
    buffer_.resize(static_cast<std::size_t>(n));
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::pread(fd_, buffer_.data() + got, n - got,
                                static_cast<off_t>(offset_ + got));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return error_text("read error: ");
      if (r == 0) break;  // shrank: told by check_unchanged()
      got += static_cast<std::size_t>(r);
    }
    piece = {buffer_.data(), got};
    offset_ = got == n ? offset_ + n : size_;
    return std::nullopt;
  }
  if (ahead_pending_) {
    ahead_pending_ = false;
    buffer_.swap(ahead_);
    ahead_.clear();
    ahead_.shrink_to_fit();
    piece = buffer_;
    if (!piece.empty() || ended_) return std::nullopt;
  }
  buffer_.clear();
  if (!ended_) {
    if (auto why = read_some(buffer_, kPiece, false)) return why;
  }
  piece = buffer_;
  return std::nullopt;
}

std::optional<std::string> InputText::drain() {
  std::span<const std::byte> piece;
  do {
    if (auto why = next(piece)) return why;
  } while (!piece.empty());
  return std::nullopt;
}

std::int64_t InputText::read_for_detector(void *self, unsigned char *into,
                                          std::uint64_t most) {
  auto &text = *static_cast<InputText *>(self);
  const std::uint64_t n = std::min(most, text.size_ - text.detector_at_);
  while (true) {
    const ssize_t r =
        ::pread(text.fd_, into, n, static_cast<off_t>(text.detector_at_));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      text.read_failure_ = error_text("read error: ");
      return -1;
    }
    text.detector_at_ += static_cast<std::uint64_t>(r);
    return r;
  }
}

std::optional<std::string> InputText::check_unchanged() const {
  if (!regular_) return std::nullopt;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return std::nullopt;
  const auto now = static_cast<std::uint64_t>(info.st_size);
  if (now < size_) return std::string("the file shrank while it was read");
  if (now > size_) return std::string("the file grew while it was read");
  return std::nullopt;
}

}  // namespace kmvtool
