#include "inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
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

Input problem_at(const std::string &path, std::string why) {
  Input in;
  in.path = path;
  in.problem = std::move(why);
  return in;
}

// The trees -r walks, resolved, so that links into them can be told from
// links out of them.
struct Trees {
  std::vector<std::string> roots;  // each ends in '/'
  bool follow_links = false;

  bool contain(const std::string &resolved) const {
    return std::any_of(roots.begin(), roots.end(), [&](const auto &root) {
      return resolved.compare(0, root.size(), root) == 0;
    });
  }
};

// A symbolic link met in a walk: the file it names when that is to be
// read, a line about it when it is broken, nothing when it is passed over.
std::optional<Input> linked_entry(const std::string &path, const Trees &trees) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ELOOP) return problem_at(path, "a loop of symbolic links");
    if (errno == ENOENT) {
      return problem_at(path, "a dangling symbolic link (its target is gone)");
    }
    return problem_at(path, std::strerror(errno));
  }
  // Links to directories are not followed (no cycles); pipes and devices
  // would block or never end.
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  if (!trees.follow_links) {
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr ||
        !trees.contain(std::string(real))) {
      Input in = problem_at(path,
                            "not read: a link to a file outside the named "
                            "directories (--follow-links reads it)");
      in.passed_over = true;
      return in;
    }
  }
  return describe(path);
}

// Every regular file under `dir`; a directory that cannot be read, a loop
// and a dangling link are reported by their own paths and the walk goes on.
void walk(const fs::path &dir, const Trees &trees, std::vector<Input> &found) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec), end;
  if (ec) {
    found.push_back(
        problem_at(dir.string(), "cannot read the directory: " + ec.message()));
    return;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) {
      found.push_back(problem_at(dir.string(),
                                 "cannot read the directory: " + ec.message()));
      return;
    }
    std::error_code kind_ec;
    const auto kind = it->symlink_status(kind_ec).type();
    const std::string path = it->path().string();
    if (kind == fs::file_type::directory) {
      walk(it->path(), trees, found);
    } else if (kind == fs::file_type::regular) {
      found.push_back(describe(path));
    } else if (kind == fs::file_type::symlink) {
      if (auto in = linked_entry(path, trees)) found.push_back(*in);
    }
  }
}

Trees trees_of(const std::vector<std::string> &roots, bool follow_links) {
  Trees trees;
  trees.follow_links = follow_links;
  for (const auto &root : roots) {
    char real[PATH_MAX];
    if (::realpath(root.c_str(), real) != nullptr) {
      const std::string resolved(real);
      trees.roots.push_back(resolved == "/" ? resolved : resolved + "/");
    }
  }
  return trees;
}

// The files under `root` in name order.
void walk_sorted(const std::string &root, const Trees &trees,
                 std::vector<Input> &out) {
  std::vector<Input> found;
  walk(fs::path(root), trees, found);
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
                                  bool recursive, bool follow_links) {
  std::vector<Input> out;
  if (files.empty()) out.push_back(stdin_input());
  const auto walked = [&](const std::string &path) {
    std::error_code ec;
    return recursive && path != "-" && fs::is_directory(path, ec);
  };
  std::vector<std::string> roots;
  std::copy_if(files.begin(), files.end(), std::back_inserter(roots), walked);
  const Trees trees = trees_of(roots, follow_links);
  for (const auto &path : files) {
    if (path == "-") {
      out.push_back(stdin_input());
    } else if (walked(path)) {
      walk_sorted(path, trees, out);
    } else {
      out.push_back(describe(path));
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
