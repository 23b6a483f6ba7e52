// Conversion that writes each character the target lacks as --unmappable
// says: nothing, an HTML reference or a \u escape. The text goes into
// UTF-16 first (every character it can read has a place there), then into
// the target, where only the characters the target lacks are handled one
// by one.
#ifndef KMV_TOOLS_SUBSTITUTES_H
#define KMV_TOOLS_SUBSTITUTES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kmv.hpp"
#include "options.h"

namespace kmvtool {

// What a character the target lacks becomes: ASCII text ("" for skip).
// `code` is a whole code point (a surrogate pair joined).
std::string substitute_text(char32_t code, Unmappable policy);

class SubstitutingConverter {
 public:
  SubstitutingConverter(kmv::encoding from, kmv::encoding to,
                        Unmappable policy);

  kmv::result<std::span<const std::byte>> feed(std::span<const std::byte> in);
  kmv::result<std::span<const std::byte>> finish();

  // Source bytes that could not be read (written as "?") plus characters
  // the target lacks; a character beyond U+FFFF counts once.
  std::uint64_t unconvertible() const {
    return to_units_.unconvertible() + unwritable_;
  }
  std::uint64_t unwritable() const { return unwritable_; }
  // The first source byte that could not be read.
  const std::optional<kmv::stream_char> &first() const {
    return to_units_.first();
  }

 private:
  std::optional<kmv::error> write_units(std::span<const std::byte> units,
                                        bool last);
  std::optional<kmv::error> write_window(std::span<const std::byte> units);
  std::optional<kmv::error> write_run(std::span<const std::byte> units);
  kmv::encoding next_target();
  kmv::result<kmv::conversion> to_target(std::span<const std::byte> units);
  kmv::result<std::span<const std::byte>> done();

  kmv::stream_converter to_units_;  // the source into UTF-16BE
  kmv::handle h_;
  kmv::encoding to_;
  Unmappable policy_;
  bool started_ = false;  // the target's mark, if any, is written
  std::uint64_t unwritable_ = 0;
  std::vector<std::byte> carry_;  // a high surrogate waiting for its pair
  std::vector<std::byte> out_;
  std::vector<std::byte> marked_;  // a run that starts with U+FEFF
};

}  // namespace kmvtool

#endif
