#include "file_metadata.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kmvtool {
namespace {

std::string reason(const std::string &what) {
  return what + ": " + std::strerror(errno);
}

// Owner and group first: changing them clears set-user-ID bits, which the
// permissions then restore. Only the superuser may give a file away, so
// another user's file would silently become ours: refused unless forced.
std::optional<std::string> keep_owner(int fd, const struct stat &original,
                                      bool force) {
  if (::fchown(fd, original.st_uid, original.st_gid) == 0) return std::nullopt;
  // Not the superuser: a group we belong to can still be kept.
  if (::fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) errno = 0;
  struct stat now {};
  if (::fstat(fd, &now) != 0) return reason("cannot examine the replacement");
  if (force) return std::nullopt;
  if (now.st_uid != original.st_uid) {
    return "belongs to user " + std::to_string(original.st_uid) +
           ", and the replacement could not be given to them; nothing "
           "changed (--force replaces it anyway, owned by you)";
  }
  if (now.st_gid != original.st_gid) {
    return "belongs to group " + std::to_string(original.st_gid) +
           ", and the replacement could not be given to it; nothing "
           "changed (--force replaces it anyway)";
  }
  return std::nullopt;
}

std::optional<std::vector<char>> attribute_value(const std::string &path,
                                                 const char *name) {
  for (;;) {
    const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
    if (size < 0) return std::nullopt;
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got =
        ::getxattr(path.c_str(), name, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<std::size_t>(got));
      return value;
    }
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile
  }
}

// Every extended attribute, POSIX ACLs (system.posix_acl_*) among them.
std::optional<std::string> copy_attributes(int fd, const std::string &path) {
  std::vector<char> names;
  for (;;) {
    const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
    if (size < 0) {
      if (errno == ENOTSUP) return std::nullopt;  // none to copy
      return reason("cannot list the extended attributes");
    }
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::listxattr(path.c_str(), names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return reason("cannot list the extended attributes");
  }
  for (std::size_t at = 0; at < names.size();) {
    const char *name = names.data() + at;
    at += std::strlen(name) + 1;
    const auto value = attribute_value(path, name);
    if (!value) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return reason(std::string("cannot read the extended attribute ") + name);
    }
    if (::fsetxattr(fd, name, value->data(), value->size(), 0) != 0) {
      return reason(std::string("cannot copy the extended attribute ") + name);
    }
  }
  return std::nullopt;
}

// The original stays under the backup name: a second link to it, so that it
// keeps its content and everything else exactly.
std::optional<std::string> keep_backup(const std::string &path,
                                       const std::string &suffix) {
  const std::string backup = path + suffix;
  if (::unlink(backup.c_str()) != 0 && errno != ENOENT) {
    return reason("cannot replace the backup " + backup);
  }
  if (::link(path.c_str(), backup.c_str()) != 0) {
    return reason("cannot keep the backup " + backup);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> apply_original_metadata(int fd,
                                                   const std::string &path,
                                                   const struct stat &original,
                                                   const KeptMetadata &keep) {
  if (auto why = keep_owner(fd, original, keep.force)) return why;
  if (::fchmod(fd, original.st_mode & 07777) != 0) {
    return reason("cannot set permissions");
  }
  if (auto why = copy_attributes(fd, path)) return why;
  if (keep.keep_time) {
    const struct timespec times[2] = {original.st_atim, original.st_mtim};
    if (::futimens(fd, times) != 0) return reason("cannot keep the times");
  }
  if (keep.backup_suffix) return keep_backup(path, *keep.backup_suffix);
  return std::nullopt;
}

}  // namespace kmvtool
