// Writing converted text to files: through a temporary file beside the
// target that takes its name only when everything was written, or directly
// into a device or FIFO.
#ifndef KMV_TOOLS_ATOMIC_OUTPUT_H
#define KMV_TOOLS_ATOMIC_OUTPUT_H

#include <sys/stat.h>

#include <optional>
#include <span>
#include <string>

#include "file_metadata.h"

namespace kmvtool {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;
  ~OutputFile() { abandon(); }

  // For --in-place: a temporary file beside the regular file `path` names
  // (symbolic links followed), with its permission bits. Anything but a
  // regular file is refused. On commit the new file gets what `keep` says
  // of the original (owner, group, extended attributes, times, a backup).
  std::optional<std::string> open_replacing(const std::string &path,
                                            const KeptMetadata &keep);
  // For -o: a temporary file beside `path` when it is a regular file or
  // does not exist yet; anything else (a device, a FIFO) is written
  // directly.
  std::optional<std::string> open_output(const std::string &path);

  std::optional<std::string> write(std::span<const std::byte> bytes);
  // Makes the written text the target's content; the reason on failure,
  // when the target stays as it was.
  std::optional<std::string> commit();
  // Removes the temporary file; the target stays as it was.
  void abandon();

 private:
  std::optional<std::string> open_temp_beside(const std::string &target,
                                              unsigned mode);
  int fd_ = -1;
  std::string temp_;  // empty when writing directly
  std::string target_;
  bool durable_ = false;  // --in-place: on disk before it takes the name
  std::optional<KeptMetadata> keep_;  // --in-place: what the new file keeps
  struct stat original_ {};
  int slot_ = -1;  // in the list of files removed on a signal
};

// SIGINT, SIGTERM and SIGHUP remove the temporary files being written and
// end the program with status 128 + the signal's number; SIGBUS (a mapped
// input that shrank) does the same with a message and status 1.
void install_signal_cleanup();

}  // namespace kmvtool

#endif
