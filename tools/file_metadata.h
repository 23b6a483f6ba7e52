// What a file replaced in place keeps of the original: owner, group,
// permissions, extended attributes (POSIX ACLs among them), optionally its
// times, and optionally the original itself under a backup name.
#ifndef KMV_TOOLS_FILE_METADATA_H
#define KMV_TOOLS_FILE_METADATA_H

#include <sys/stat.h>

#include <optional>
#include <string>

namespace kmvtool {

struct KeptMetadata {
  bool keep_time = false;  // the modification and access times too
  bool force = false;      // go on when the owner or group cannot be kept
  std::optional<std::string> backup_suffix;  // keep the original as path+this
};

inline constexpr const char *kDefaultBackupSuffix = "~";

// Gives the replacement open at `fd` what the original at `path` (described
// by `original`) has, and keeps the backup when asked; call once the new
// text is written and before the replacement takes the original's name.
// The reason when something cannot be kept.
std::optional<std::string> apply_original_metadata(int fd,
                                                   const std::string &path,
                                                   const struct stat &original,
                                                   const KeptMetadata &keep);

}  // namespace kmvtool

#endif
