// Writing converted text to files.
#ifndef KMV_TOOLS_ATOMIC_OUTPUT_H
#define KMV_TOOLS_ATOMIC_OUTPUT_H

#include <optional>
#include <span>
#include <string>

namespace kmvtool {

// Creates or truncates `path` and writes `bytes`; the reason on failure.
std::optional<std::string> write_whole_file(const std::string &path,
                                            std::span<const std::byte> bytes);

// Replaces the file at `path` by `bytes` atomically: they are written to a
// new file beside it, which then takes its name. The original stays as it
// was when anything fails. Follows symbolic links to the file they name and
// keeps its permission bits.
std::optional<std::string> replace_file(const std::string &path,
                                        std::span<const std::byte> bytes);

}  // namespace kmvtool

#endif
