// kmv cat: a file line by line, through the stream layer.
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
#include "atomic_output.h"
#include "runner.h"
#include "text.h"

namespace kmvtool {
namespace {

constexpr std::size_t kMaxLine =
    2147483647;  // the stream layer counts in int32

// A copy of standard input in a temporary file, for the stream layer, which
// reads files by name.
class StdinCopy {
 public:
  ~StdinCopy() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  std::optional<std::string> make() {
    const char *dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
            "/kmv-stdin-XXXXXX";
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
      return std::string("cannot make a temporary file: ") +
             std::strerror(errno);
    }
    ::close(fd);
    std::vector<std::byte> data;
    char chunk[65536];
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::string("read error: ") + std::strerror(errno);
      if (n == 0) break;
      const auto *bytes = reinterpret_cast<const std::byte *>(chunk);
      data.insert(data.end(), bytes, bytes + n);
    }
    return write_whole_file(path_, data);
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

std::string line_feed(kmv::encoding e) {
  switch (e) {
    case kmv::encoding::utf16be:
    case kmv::encoding::utf16be_bom:
      return std::string("\0\n", 2);
    case kmv::encoding::utf16le:
    case kmv::encoding::utf16le_bom:
      return std::string("\n\0", 2);
    default:
      return "\n";
  }
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
                                       Terminal &term) {
  const std::size_t size = static_cast<std::uint32_t>(kmv_io_get_size(fd));
  // Room for the whole text, so that no line is ever cut.
  std::vector<unsigned char> line(std::min<std::size_t>(size + 1, kMaxLine));
  const std::string lf = line_feed(to);
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
  auto failure = print_lines(fd, o.to->type, term);
  kmv_io_close(fd);
  return failure;
}

}  // namespace

int run_cat(const Options &o) {
  Terminal term(false);
  bool failed = false;
  for (const auto &file : o.files) {
    StdinCopy copy;
    std::string path = file;
    std::optional<std::string> failure;
    if (file == "-") {
      failure = copy.make();
      path = copy.path();
    }
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
