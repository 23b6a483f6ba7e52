// The best guess at a text's encoding, for `detect --guess` and for
// `convert` when detection leaves several candidates.
#ifndef KMV_TOOLS_GUESS_H
#define KMV_TOOLS_GUESS_H

#include <cstddef>
#include <span>
#include <string>
#include <variant>

#include "kmv.hpp"

namespace kmvtool {

// "NAME", "none" or "empty"; as JSON, with the confidence and the
// runner-up. An error of the library comes back as its text.
std::variant<std::string, kmv::error> guess_words(
    kmv::handle &h, std::span<const std::byte> text, kmv::encoding expected,
    bool json);

// The guessed source encoding of an undecided text, with a note that says
// which candidates it was chosen from; a message when none fits.
struct GuessedSource {
  kmv::encoding type = kmv::encoding::unknown;
  std::string note;
};
std::variant<GuessedSource, std::string> guess_source(
    kmv::handle &h, std::span<const std::byte> text, kmv::encoding expected);

}  // namespace kmvtool

#endif
