// The files a command works on, and reading them whole.
#ifndef KMV_TOOLS_INPUTS_H
#define KMV_TOOLS_INPUTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kmv.hpp"

namespace kmvtool {

struct Input {
  std::string path;  // as shown to the user; "-" for standard input
  bool is_stdin = false;
  bool regular = false;    // a regular file, read through the library
  std::uint64_t size = 0;  // of a regular file
  std::optional<std::string> problem;  // why it cannot be read at all
  bool passed_over = false;  // left out on purpose: the problem is a notice
};

// The inputs named on the command line: "-" or none is standard input;
// directories are walked (in name order) with `recursive`, else refused.
// A walk reads links to files inside the named directories, and links to
// files elsewhere only with `follow_links`.
std::vector<Input> collect_inputs(const std::vector<std::string> &files,
                                  bool recursive, bool follow_links);

// Raises the library's read limit (a process-wide setting) so that the
// largest regular input is read whole. Call before any worker starts.
void raise_read_limit(const std::vector<Input> &inputs);

// The whole content of an input, or why it could not be read.
std::variant<kmv::buffer, std::string> read_input(const Input &input);

}  // namespace kmvtool

#endif
