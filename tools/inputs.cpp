#include "inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kmvtool {
namespace {

namespace fs = std::filesystem;

Input stdin_input() {
  Input in;
  in.path = "-";
  in.is_stdin = true;
  return in;
}

// What one path is: a regular file (with its size), something to stream,
// or a problem.
Input describe(const std::string &path) {
  Input in;
  in.path = path;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    in.problem = std::strerror(errno);
    return in;
  }
  if (S_ISDIR(info.st_mode)) {
    in.problem = "is a directory (use -r to walk it)";
  } else if (S_ISREG(info.st_mode)) {
    in.regular = true;
    in.size = static_cast<std::uint64_t>(info.st_size);
  }
  return in;
}

void walk(const std::string &root, std::vector<Input> &out) {
  std::vector<Input> found;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) {
    Input in;
    in.path = root;
    in.problem = "cannot read the directory: " + ec.message();
    out.push_back(in);
    return;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) break;
    std::error_code kind_ec;
    // Only regular files are taken: symbolic links to directories are not
    // followed (no cycles), and pipes or devices in a tree would block or
    // never end. Links to files are read like the files.
    if (!it->is_regular_file(kind_ec)) continue;
    found.push_back(describe(it->path().string()));
  }
  if (ec) {
    Input in;
    in.path = root;
    in.problem = "cannot walk the directory: " + ec.message();
    found.push_back(in);
  }
  std::sort(found.begin(), found.end(),
            [](const Input &a, const Input &b) { return a.path < b.path; });
  out.insert(out.end(), found.begin(), found.end());
}

// Reads a stream (standard input, a pipe, a device) to its end.
std::variant<kmv::buffer, std::string> read_stream(int fd) {
  std::size_t capacity = 1 << 16, used = 0;
  auto *data = static_cast<unsigned char *>(std::malloc(capacity));
  if (data == nullptr) return std::string("out of memory");
  for (;;) {
    if (used == capacity) {
      capacity *= 2;
      auto *bigger = static_cast<unsigned char *>(std::realloc(data, capacity));
      if (bigger == nullptr) {
        std::free(data);
        return std::string("out of memory");
      }
      data = bigger;
    }
    const ssize_t n = ::read(fd, data + used, capacity - used);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const std::string why = std::strerror(errno);
      std::free(data);
      return "read error: " + why;
    }
    used += static_cast<std::size_t>(n);
  }
  return kmv::buffer(data, used);
}

std::string describe_read_failure(const kmv::error &failure, int saved_errno) {
  switch (failure.status) {
    case KMV_ENOTEXISTS:
      return std::strerror(ENOENT);
    case KMV_EROPEN:
      return saved_errno != 0 ? std::string(std::strerror(saved_errno))
                              : std::string(failure.what());
    case KMV_EREAD:
      return failure.offset ? "the file grew while it was read" : "read error";
    default:
      return std::string(failure.what());
  }
}

}  // namespace

std::vector<Input> collect_inputs(const std::vector<std::string> &files,
                                  bool recursive) {
  std::vector<Input> out;
  if (files.empty()) out.push_back(stdin_input());
  for (const auto &path : files) {
    if (path == "-") {
      out.push_back(stdin_input());
      continue;
    }
    Input in = describe(path);
    std::error_code ec;
    if (recursive && fs::is_directory(path, ec)) {
      walk(path, out);
    } else {
      out.push_back(in);
    }
  }
  return out;
}

void raise_read_limit(const std::vector<Input> &inputs) {
  std::uint64_t largest = 0;
  for (const auto &in : inputs) {
    if (in.regular && !in.problem) largest = std::max(largest, in.size);
  }
  if (static_cast<std::int64_t>(largest) > kmv_get_max_buf_size()) {
    kmv_set_max_buf_size(largest);
  }
}

std::variant<kmv::buffer, std::string> read_input(const Input &input) {
  if (input.problem) return *input.problem;
  if (input.is_stdin) return read_stream(STDIN_FILENO);
  if (!input.regular) {
    const int fd = ::open(input.path.c_str(), O_RDONLY);
    if (fd < 0) return std::string(std::strerror(errno));
    auto content = read_stream(fd);
    ::close(fd);
    return content;
  }
  errno = 0;
  auto content = kmv::read_file(input.path.c_str());
  const int saved_errno = errno;
  if (!content) return describe_read_failure(content.error(), saved_errno);
  return std::move(*content);
}

}  // namespace kmvtool
