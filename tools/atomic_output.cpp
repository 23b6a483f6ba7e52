#include "atomic_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kmvtool {
namespace {

// Temporary files being written, for the signal handler: it may only read
// what is already there, so each name is a fixed copy in a slot.
constexpr int kSlots = 512;
struct TempSlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
std::array<TempSlot, kSlots> g_temps;
std::mutex g_slots_mutex;

int take_slot(const std::string &path) {
  if (path.size() >= PATH_MAX) return -1;
  std::lock_guard lock(g_slots_mutex);
  for (int i = 0; i < kSlots; ++i) {
    if (!g_temps[i].used.load()) {
      std::memcpy(g_temps[i].path, path.c_str(), path.size() + 1);
      g_temps[i].used.store(true);
      return i;
    }
  }
  return -1;
}

void free_slot(int slot) {
  if (slot >= 0) g_temps[slot].used.store(false);
}

void remove_temps() {
  for (auto &slot : g_temps) {
    if (slot.used.load()) ::unlink(slot.path);
  }
}

extern "C" void on_stop_signal(int signo) {
  remove_temps();
  ::_exit(128 + signo);
}

extern "C" void on_bus_error(int) {
  remove_temps();
  static const char message[] = "kmv: the file shrank while it was read\n";
  (void)!::write(STDERR_FILENO, message, sizeof message - 1);
  ::_exit(1);
}

bool write_all(int fd, std::span<const std::byte> bytes) {
  const std::byte *at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, at, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string reason(const char *what) {
  if (errno == ENAMETOOLONG) {
    return std::string(what) + ": the path is longer than the system allows";
  }
  return std::string(what) + ": " + std::strerror(errno);
}

unsigned creation_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666u & ~static_cast<unsigned>(mask);
}

}  // namespace

void install_signal_cleanup() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signo, &action, nullptr);
  }
  action.sa_handler = on_bus_error;
  ::sigaction(SIGBUS, &action, nullptr);
}

std::optional<std::string> OutputFile::open_temp_beside(
    const std::string &target, unsigned mode) {
  target_ = target;
  temp_ = target + ".kmv-XXXXXX";
  // The slot is taken before the file exists, so that no signal can leave
  // it behind.
  slot_ = take_slot(temp_);
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) {
    const std::string why = reason("cannot create a file beside it");
    free_slot(slot_);
    slot_ = -1;
    temp_.clear();
    return why;
  }
  if (slot_ >= 0)
    std::memcpy(g_temps[slot_].path, temp_.c_str(), temp_.size() + 1);
  if (::fchmod(fd_, mode & 07777) != 0) {
    const std::string why = reason("cannot set permissions");
    abandon();
    return why;
  }
  return std::nullopt;
}

std::optional<std::string> OutputFile::open_replacing(
    const std::string &path, const KeptMetadata &keep) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return reason("cannot examine");
  if (!S_ISREG(info.st_mode)) {
    return std::string(
        "not a regular file: --in-place replaces regular files only");
  }
  char real[PATH_MAX];
  if (::realpath(path.c_str(), real) == nullptr)
    return reason("cannot resolve");
  if (auto why = open_temp_beside(real, info.st_mode)) return why;
  durable_ = true;
  keep_ = keep;
  original_ = info;
  return std::nullopt;
}

std::optional<std::string> OutputFile::open_output(const std::string &path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) return reason("cannot open for writing");
    return std::nullopt;
  }
  const bool exists = errno != ENOENT;
  if (!exists) {
    // A new file, created with the usual permissions.
    return open_temp_beside(path, creation_mode());
  }
  char real[PATH_MAX];
  if (::realpath(path.c_str(), real) == nullptr)
    return reason("cannot resolve");
  return open_temp_beside(real, info.st_mode);
}

std::optional<std::string> OutputFile::write(std::span<const std::byte> bytes) {
  if (bytes.empty() || write_all(fd_, bytes)) return std::nullopt;
  return reason("cannot write");
}

std::optional<std::string> OutputFile::commit() {
  if (temp_.empty()) {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) return reason("cannot write");
    return std::nullopt;
  }
  if (keep_) {
    if (auto why = apply_original_metadata(fd_, target_, original_, *keep_)) {
      abandon();
      return why;
    }
  }
  if (durable_ && ::fsync(fd_) != 0) {
    const std::string why = reason("cannot write the replacement");
    abandon();
    return why;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    const std::string why = reason("cannot write the replacement");
    abandon();
    return why;
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const std::string why = reason("cannot replace");
    abandon();
    return why;
  }
  free_slot(slot_);
  slot_ = -1;
  temp_.clear();
  return std::nullopt;
}

void OutputFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  free_slot(slot_);
  slot_ = -1;
  temp_.clear();
}

}  // namespace kmvtool
