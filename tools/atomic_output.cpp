#include "atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kmvtool {
namespace {

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
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::optional<std::string> write_whole_file(const std::string &path,
                                            std::span<const std::byte> bytes) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return reason("cannot open for writing");
  const bool written = write_all(fd, bytes);
  const int write_errno = errno;
  if (::close(fd) != 0 || !written) {
    errno = written ? errno : write_errno;
    return reason("cannot write");
  }
  return std::nullopt;
}

std::optional<std::string> replace_file(const std::string &path,
                                        std::span<const std::byte> bytes) {
  char real[PATH_MAX];
  if (::realpath(path.c_str(), real) == nullptr)
    return reason("cannot resolve");
  struct stat info {};
  if (::stat(real, &info) != 0) return reason("cannot examine");
  std::string temp = std::string(real) + ".kmv-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return reason("cannot create a file beside it");
  auto fail = [&](const char *what) {
    const std::string why = reason(what);
    ::close(fd);
    ::unlink(temp.c_str());
    return std::optional<std::string>(why);
  };
  if (!write_all(fd, bytes)) return fail("cannot write the replacement");
  if (::fchmod(fd, info.st_mode & 07777) != 0)
    return fail("cannot set permissions");
  // Keeping the owner only works for the superuser; others keep their own.
  if (::fchown(fd, info.st_uid, info.st_gid) != 0) errno = 0;
  if (::fsync(fd) != 0) return fail("cannot write the replacement");
  if (::close(fd) != 0) {
    const std::string why = reason("cannot write the replacement");
    ::unlink(temp.c_str());
    return why;
  }
  if (::rename(temp.c_str(), real) != 0) {
    const std::string why = reason("cannot replace");
    ::unlink(temp.c_str());
    return why;
  }
  return std::nullopt;
}

}  // namespace kmvtool
