// Where a text may be cut so that its pieces convert one after the other
// into exactly what the whole text converts into.
//
// A piece ends right after a line feed: no multi-byte character of
// Shift_JIS, EUC-JP or UTF-8 holds the byte 0x0A, and in UTF-16 the unit
// U+000A is never half of a pair. ISO-2022-JP carries a shift state across
// lines, so there a line feed only counts where the text is back in single
// bytes. A cut is never followed by a byte-order mark, which the next piece
// would otherwise take for its own.
#ifndef KMV_PYTHON_PIECES_H
#define KMV_PYTHON_PIECES_H

#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

#include "kmv.hpp"

namespace kmvpy {

// The form of a Unicode encoding that starts with a mark; others unchanged.
constexpr kmv::encoding marked_form(kmv::encoding e) {
  switch (e) {
    case kmv::encoding::utf16be:
      return kmv::encoding::utf16be_bom;
    case kmv::encoding::utf16le:
      return kmv::encoding::utf16le_bom;
    case kmv::encoding::utf8:
      return kmv::encoding::utf8_bom;
    default:
      return e;
  }
}

// Reads text unit by unit, telling where a piece may end.
class cut_finder {
 public:
  cut_finder(std::span<const std::byte> text, kmv::encoding source)
      : text_(text),
        mark_(kmv::bom_bytes(marked_form(source))),
        big_endian_(marked_form(source) == kmv::encoding::utf16be_bom),
        step_(big_endian_ || marked_form(source) == kmv::encoding::utf16le_bom
                  ? 2
                  : 1),
        jis_(source == kmv::encoding::jis) {}

  // The end of the first piece of at most about `limit` bytes: the last cut
  // at or below `limit`, else the first above it, else the whole text.
  std::size_t first_piece(std::size_t limit) {
    if (text_.size() <= limit) return text_.size();
    std::size_t best = 0;
    for (std::size_t i = 0; i + step_ <= text_.size(); i += step_) {
      if (jis_) track_shift(i);
      if (!is_line_end(i)) continue;
      const std::size_t at = i + step_;
      if (at >= text_.size()) break;
      if (!cut_allowed(at)) continue;
      if (at > limit) return best != 0 ? best : at;
      best = at;
    }
    return best == 0 ? text_.size() : best;
  }

 private:
  // Plain single bytes again only after ESC ( B or ESC ( J; any other
  // designation or a shift out leaves them.
  void track_shift(std::size_t i) {
    const auto byte = static_cast<unsigned char>(text_[i]);
    if (byte == 0x0E || byte == 0x0F) single_byte_ = byte == 0x0F;
    if (byte != 0x1B || i + 2 >= text_.size()) return;
    const auto set = static_cast<unsigned char>(text_[i + 1]);
    const auto final_byte = static_cast<unsigned char>(text_[i + 2]);
    if (set == '$') single_byte_ = false;
    if (set == '(') single_byte_ = final_byte == 'B' || final_byte == 'J';
  }

  bool is_line_end(std::size_t i) const {
    if (step_ == 1) return text_[i] == std::byte{'\n'};
    const std::byte high = big_endian_ ? text_[i] : text_[i + 1];
    const std::byte low = big_endian_ ? text_[i + 1] : text_[i];
    return high == std::byte{0} && low == std::byte{'\n'};
  }

  bool cut_allowed(std::size_t at) const {
    if (jis_ && !single_byte_) return false;
    const std::span<const std::byte> rest = text_.subspan(at);
    return mark_.empty() || rest.size() < mark_.size() ||
           std::memcmp(rest.data(), mark_.data(), mark_.size()) != 0;
  }

  std::span<const std::byte> text_;
  std::string_view mark_;
  bool big_endian_;
  std::size_t step_;
  bool jis_;
  bool single_byte_ = true;
};

inline std::size_t piece_end(std::span<const std::byte> text,
                             kmv::encoding source, std::size_t limit) {
  return cut_finder(text, source).first_piece(limit);
}

}  // namespace kmvpy

#endif  // KMV_PYTHON_PIECES_H
