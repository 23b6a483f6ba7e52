// Where a text may be cut so that its pieces convert one after the other
// into exactly what the whole text converts into.
//
// A piece ends right after a line feed that starts a character of its own.
// In well-formed text every line feed does, except inside ISO-2022-JP's
// two-byte mode. A malformed byte, though, may be read together with up to
// a few bytes after it, line feed included; so after one, a line feed only
// counts once enough plain ASCII bytes have passed to be sure. A cut is
// never followed by a byte-order mark, which the next piece would otherwise
// take for its own.
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

// The form without a mark, in which every piece but the first is written.
constexpr kmv::encoding unmarked_form(kmv::encoding e) {
  switch (e) {
    case kmv::encoding::utf16be_bom:
      return kmv::encoding::utf16be;
    case kmv::encoding::utf16le_bom:
      return kmv::encoding::utf16le;
    case kmv::encoding::utf8_bom:
      return kmv::encoding::utf8;
    default:
      return e;
  }
}

// Reads a text character by character, telling where a piece may end.
class cut_finder {
 public:
  cut_finder(std::span<const std::byte> text, kmv::encoding source)
      : text_(text),
        mark_(kmv::bom_bytes(marked_form(source))),
        family_(kmv::detail::family_of(source)) {}

  // The end of the first piece of at most about `limit` bytes: the last cut
  // at or below `limit`, else the first above it, else the whole text.
  std::size_t first_piece(std::size_t limit) {
    if (text_.size() <= limit) return text_.size();
    std::size_t best = 0;
    for (std::size_t i = 0; i < text_.size();) {
      const bool line_end =
          is_line_end(i) && unsure_ == 0 && !two_byte_ && !lost_;
      i += advance(i);
      if (!line_end || i >= text_.size() || followed_by_mark(i)) continue;
      if (i > limit) return best != 0 ? best : i;
      best = i;
    }
    return best == 0 ? text_.size() : best;
  }

 private:
  using family = kmv::detail::family;

  unsigned byte(std::size_t i) const {
    return i < text_.size() ? static_cast<unsigned>(text_[i]) : 0x100;
  }
  static bool in(unsigned b, unsigned low, unsigned high) {
    return b >= low && b <= high;
  }

  bool is_line_end(std::size_t i) const {
    if (family_ == family::unibe) return byte(i) == 0 && byte(i + 1) == '\n';
    if (family_ == family::unile) return byte(i) == '\n' && byte(i + 1) == 0;
    return byte(i) == '\n';
  }

  bool followed_by_mark(std::size_t at) const {
    const std::span<const std::byte> rest = text_.subspan(at);
    return !mark_.empty() && rest.size() >= mark_.size() &&
           std::memcmp(rest.data(), mark_.data(), mark_.size()) == 0;
  }

  struct character {
    std::size_t length;  // 0: a malformed byte
    bool ascii;
  };

  // Steps over the character at i, keeping count of how sure the reader is
  // that it stands where the library's decoder will.
  std::size_t advance(std::size_t i) {
    if (family_ == family::unibe || family_ == family::unile) {
      return 2;  // every unit is a character of its own
    }
    const character c = read(i);
    if (c.length == 0) {
      unsure_ = reach();
      return 1;
    }
    if (c.ascii && unsure_ > 0) --unsure_;
    if (!c.ascii && unsure_ > 0) unsure_ = reach();
    return c.length;
  }

  // How many bytes a malformed character may take with it.
  unsigned reach() const {
    return family_ == family::sjis ? 2 : family_ == family::jis ? 4 : 3;
  }

  character read(std::size_t i) {
    const unsigned b = byte(i);
    if (family_ == family::jis) return jis_char(i);
    if (b < 0x80) return {1, true};
    switch (family_) {
      case family::utf8:
        return {utf8_length(i), false};
      case family::sjis:
        return {in(b, 0xA1, 0xDF) ? 1 : sjis_length(i), false};
      case family::euc:
        return {euc_length(i), false};
      default:
        return {1, false};
    }
  }

  bool continuation(std::size_t i) const { return in(byte(i), 0x80, 0xBF); }
  std::size_t utf8_length(std::size_t i) const {
    const unsigned b = byte(i);
    if (in(b, 0xC2, 0xDF) && continuation(i + 1)) return 2;
    if (in(b, 0xE0, 0xEF) && continuation(i + 1) && continuation(i + 2)) {
      return 3;
    }
    return 0;
  }
  std::size_t sjis_length(std::size_t i) const {
    const unsigned b = byte(i), next = byte(i + 1);
    const bool lead = in(b, 0x81, 0x9F) || in(b, 0xE0, 0xFC);
    const bool trail = in(next, 0x40, 0x7E) || in(next, 0x80, 0xFC);
    return lead && trail ? 2 : 0;
  }
  std::size_t euc_length(std::size_t i) const {
    const unsigned b = byte(i), next = byte(i + 1);
    if (b == 0x8E) return in(next, 0xA1, 0xDF) ? 2 : 0;
    if (b == 0x8F) {
      return in(next, 0xA1, 0xFE) && in(byte(i + 2), 0xA1, 0xFE) ? 3 : 0;
    }
    return in(b, 0xA1, 0xFE) && in(next, 0xA1, 0xFE) ? 2 : 0;
  }
  // Escape sequences switch between ASCII and two-byte mode. Anything else
  // out of place (an eight-bit byte, a shift, another escape, a control
  // byte or a lone byte in two-byte mode) leaves it unknown how the decoder
  // pairs the bytes after it: no cut is made in the rest of the text.
  character jis_char(std::size_t i) {
    const unsigned b = byte(i);
    if (b == 0x1B) return jis_escape(i);
    if (!two_byte_ && b < 0x80 && b != 0x0E && b != 0x0F) return {1, true};
    if (two_byte_ && in(b, 0x21, 0x7E) && in(byte(i + 1), 0x21, 0x7E)) {
      return {2, true};
    }
    lost_ = true;
    return {0, false};
  }
  character jis_escape(std::size_t i) {
    const unsigned set = byte(i + 1), final_byte = byte(i + 2);
    if (set == '(' && final_byte == 'B') {
      two_byte_ = false;
      return {3, true};
    }
    if (set == '$' && (final_byte == 'B' || final_byte == '@')) {
      two_byte_ = true;
      return {3, true};
    }
    lost_ = true;
    return {0, false};
  }

  std::span<const std::byte> text_;
  std::string_view mark_;
  family family_;
  unsigned unsure_ = 0;    // plain bytes still to pass before a cut
  bool two_byte_ = false;  // ISO-2022-JP in two-byte mode
  bool lost_ = false;      // ISO-2022-JP read wrong: no more cuts
};

inline std::size_t piece_end(std::span<const std::byte> text,
                             kmv::encoding source, std::size_t limit) {
  return cut_finder(text, source).first_piece(limit);
}

}  // namespace kmvpy

#endif  // KMV_PYTHON_PIECES_H
