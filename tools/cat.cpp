// kmv cat: a file line by line, through the stream layer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "inputs.h"
#include "runner.h"
#include "text.h"

namespace kmvtool {
namespace {

constexpr std::size_t kMaxLine =
    2147483647;  // the stream layer counts in int32

// A copy of a stream (standard input, a pipe, a FIFO) in a temporary
// file, for the stream layer, which reads files by name.
class StreamCopy {
 public:
  ~StreamCopy() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  std::optional<std::string> make(int from) {
    const char *dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
            "/kmv-stdin-XXXXXX";
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
      return std::string("cannot make a temporary file: ") +
             std::strerror(errno);
    }
    auto failure = copy(from, fd);
    ::close(fd);
    return failure;
  }
  const std::string &path() const { return path_; }

 private:
  static std::optional<std::string> copy(int from, int to) {
    std::vector<char> chunk(1 << 16);
    for (;;) {
      const ssize_t n = ::read(from, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::string("read error: ") + std::strerror(errno);
      if (n == 0) return std::nullopt;
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = ::write(to, chunk.data() + done,
                                  static_cast<std::size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
          return std::string("cannot write a temporary file: ") +
                 std::strerror(errno);
        }
        done += w;
      }
    }
  }

  std::string path_;
};

// The line end cat writes: a line feed unless --eol names another form.
std::string line_feed(kmv::encoding e, Eol form) {
  const char *ascii = form == Eol::crlf ? "\r\n"
                      : form == Eol::cr ? "\r"
                                        : "\n";
  std::string out;
  for (const char *c = ascii; *c != '\0'; ++c) {
    switch (e) {
      case kmv::encoding::utf16be:
      case kmv::encoding::utf16be_bom:
        out += '\0';
        out += *c;
        break;
      case kmv::encoding::utf16le:
      case kmv::encoding::utf16le_bom:
        out += *c;
        out += '\0';
        break;
      default:
        out += *c;
    }
  }
  return out;
}

std::string open_failure(std::int32_t status) {
  if (status == KMV_ECTYPE && kmv_io_is_decided() == 0 &&
      kmv_io_get_ctype() >= KMV_MASK_MIN) {
    const kmv::candidate_set maybe(
        static_cast<std::uint32_t>(kmv_io_get_ctype()));
    if (maybe.list().size() == 1) {
      return join("the encoding is only likely ", maybe.names(),
                  ", and cat takes decided encodings only (kmv convert --from ",
                  maybe.names(), " takes it)");
    }
    return join("cannot tell the encoding: it may be ", maybe.names(),
                " (prefer one with --expect)");
  }
  return std::string(kmv::error{status, {}}.what());
}

// Prints the lines of an open descriptor, each ended by a line feed in the
// target encoding. The reason when the text cannot be read to its end.
std::optional<std::string> print_lines(std::int32_t fd, kmv::encoding to,
                                       Eol form, Terminal &term) {
  const std::size_t size = static_cast<std::uint32_t>(kmv_io_get_size(fd));
  // Room for the whole text, so that no line is ever cut.
  std::vector<unsigned char> line(std::min<std::size_t>(size + 1, kMaxLine));
  const std::string lf = line_feed(to, form);
  // Empty lines wait until more text follows: a text that ends inside a
  // character gives empty lines without end, and those are not printed.
  std::size_t pending_empty = 0, lines = 0;
  for (;;) {
    std::int32_t length = 0;
    const std::int32_t status = kmv_io_get_line(
        fd, line.data(), static_cast<std::int32_t>(line.size()), &length);
    if (status == KMV_EOF) break;
    ++lines;
    if (status < 0) {
      term.out(std::string_view(reinterpret_cast<const char *>(line.data()),
                                static_cast<std::size_t>(length)));
      return "line " + std::to_string(lines) + ": " +
             std::string(kmv::error{status, {}}.what());
    }
    if (length == 0) {
      if (++pending_empty > size)
        return std::string("the text ends inside a character");
      continue;
    }
    for (; pending_empty > 0; --pending_empty) term.out(lf);
    term.out(std::string_view(reinterpret_cast<const char *>(line.data()),
                              static_cast<std::size_t>(length)));
    term.out(lf);
  }
  for (; pending_empty > 0; --pending_empty) term.out(lf);
  return std::nullopt;
}

std::optional<std::string> cat_one(const std::string &path, const Options &o,
                                   Terminal &term) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::string(std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return std::string("is a directory");
  if (static_cast<std::uint64_t>(info.st_size) > kMaxFileSize) {
    return "too large: " + std::to_string(info.st_size) + " bytes";
  }
  if (info.st_size == 0) return std::nullopt;  // nothing to print
  if (info.st_size > kmv_io_get_max_buf_size()) {
    kmv_io_set_max_buf_size(static_cast<std::int32_t>(info.st_size));
  }
  const auto expected = o.expect ? kmv::code(o.expect->type) : 0;
  std::int32_t detected = 0;
  const std::int32_t fd =
      kmv_io_open(path.c_str(), 0, expected, kmv::code(o.to->type), &detected);
  if (fd < 0) return open_failure(fd);
  auto failure = print_lines(fd, o.to->type, o.eol, term);
  kmv_io_close(fd);
  return failure;
}

}  // namespace

// A stream to copy first: standard input, or a name that is not a regular
// file (a FIFO, /dev/stdin, <(...)); -1 for a regular file.
int stream_to_copy(const std::string &file, int &opened) {
  if (file == "-") return STDIN_FILENO;
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode) ||
      S_ISDIR(info.st_mode)) {
    return -1;
  }
  opened = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  return opened;
}

int run_cat(const Options &o) {
  Terminal term(false);
  bool failed = false;
  for (const auto &file : o.files) {
    StreamCopy copy;
    std::string path = file;
    std::optional<std::string> failure;
    int opened = -1;
    const int stream = stream_to_copy(file, opened);
    if (stream >= 0) {
      failure = copy.make(stream);
      path = copy.path();
    }
    if (opened >= 0) ::close(opened);
    if (!failure) failure = cat_one(path, o, term);
    if (failure) {
      term.message("kmv: " + shown_path(file, file == "-") + ": " + *failure);
      failed = true;
    }
  }
  if (!term.flush()) {
    term.message("kmv: cannot write standard output");
    return kExitFailed;
  }
  return failed ? kExitFailed : kExitOk;
}

}  // namespace kmvtool
