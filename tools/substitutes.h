// Conversion that writes each character the target lacks as --unmappable
// says. The text goes through the plain converter, at its speed; only a
// piece in which it found something unconvertible is converted again,
// into UTF-16 (every character the source can read has a place there) and
// from there into the target, where the characters the target lacks are
// handled one by one. A pair the plain converter merely copies goes the
// second way throughout.
#ifndef KMV_TOOLS_SUBSTITUTES_H
#define KMV_TOOLS_SUBSTITUTES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "kmv.hpp"
#include "options.h"
#include "substitute_writer.h"

namespace kmvtool {

class SubstitutingConverter {
 public:
  // `plain_first` false sends all of the text the long way (to compare).
  SubstitutingConverter(kmv::encoding from, kmv::encoding to, Unmappable policy,
                        bool plain_first = true);

  kmv::result<std::span<const std::byte>> feed(std::span<const std::byte> in);
  kmv::result<std::span<const std::byte>> finish();

  // Source bytes that could not be read (written as "?") plus characters
  // the target lacks; a character beyond U+FFFF counts once.
  std::uint64_t unconvertible() const {
    return unreadable_ + writer_.unwritable();
  }
  std::uint64_t unwritable() const { return writer_.unwritable(); }
  // The first source byte that could not be read.
  const std::optional<kmv::stream_char> &first() const { return first_; }

 private:
  static constexpr std::size_t kSlice = std::size_t{1} << 16;

  kmv::result<std::span<const std::byte>> through_plain(
      std::span<const std::byte> in, bool last);
  kmv::result<std::span<const std::byte>> through_units(
      std::span<const std::byte> in, bool last);
  std::optional<kmv::error> redo(std::span<const std::byte> region,
                                 const kmv::stream_converter::held_text &at,
                                 std::uint64_t base);
  std::span<const std::byte> end_text();
  std::optional<kmv::error> write_units(std::span<const std::byte> units,
                                        bool last);

  kmv::encoding from_;
  kmv::stream_converter plain_;     // from the source into the target
  kmv::stream_converter to_units_;  // into UTF-16BE, for the pairs copied
  bool long_way_;                   // all of the text through UTF-16
  bool redone_ = false;             // the output so far came the other way
  SubstituteWriter writer_;
  kmv::handle h_;
  std::uint64_t unreadable_ = 0;
  std::optional<kmv::stream_char> first_;
  std::vector<std::byte> held_;    // what plain_ converted in the last feed
  std::vector<std::byte> source_;  // that again, after its source prefix
  std::vector<std::byte> carry_;   // a high surrogate waiting for its pair
  std::vector<std::byte> out_;
  std::vector<std::byte> gathered_;  // the output of a piece's slices
};

}  // namespace kmvtool

#endif
