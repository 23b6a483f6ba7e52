// Command-line options of the kmv tool.
#ifndef KMV_TOOLS_OPTIONS_H
#define KMV_TOOLS_OPTIONS_H

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "file_metadata.h"
#include "kmv.hpp"

namespace kmvtool {

enum class Command { help, version, list, detect, convert, cat };
enum class Progress { automatic, always, never };
// Line ends written by convert and cat: as they are, or all in one form.
enum class Eol { keep, lf, crlf, cr };
// What convert and cat write for a character the target lacks (fail is
// --strict).
enum class Unmappable { replace, skip, html, escape };

// An encoding named on the command line.
struct EncodingArg {
  kmv::encoding type = kmv::encoding::unknown;
  // "utf-16" with no byte order named: a source takes the order of its mark.
  bool any_utf16_order = false;
};

struct Options {
  Command command = Command::help;
  std::optional<EncodingArg> to;
  std::optional<EncodingArg> from;
  std::optional<EncodingArg> expect;
  bool ignore_hints = false;
  bool guess = false;     // detect: one name per file
  bool no_guess = false;  // convert: an undecided text is an error
  bool json = false;
  bool recursive = false;
  bool in_place = false;
  KeptMetadata kept;          // by --in-place
  bool follow_links = false;  // by -r, to files outside the named trees
  bool strict = false;        // --strict, --unmappable=fail
  Unmappable unmappable = Unmappable::replace;
  std::optional<std::string> output;
  unsigned jobs = 1;
  Progress progress = Progress::automatic;
  std::vector<std::string> files;  // "-" is standard input
  Eol eol = Eol::keep;
  // How much of a pipe detection looks at.
  std::size_t detect_bytes = std::size_t{4} << 20;
};

// A mistake on the command line, told in one line.
struct UsageError {
  std::string message;
};

std::variant<Options, UsageError> parse_options(
    const std::vector<std::string> &args);

// The encoding a name stands for, or an error naming it.
std::variant<EncodingArg, UsageError> parse_encoding_arg(
    const std::string &name);

std::string usage_text();

}  // namespace kmvtool

#endif
