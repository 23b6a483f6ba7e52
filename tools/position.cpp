#include "position.h"

#include <cstdint>

namespace kmvtool {
namespace {

class Walker {
 public:
  Walker(std::span<const std::byte> text, std::size_t offset)
      : text_(text), end_(offset < text.size() ? offset : text.size()) {}

  bool more() const { return at_ < end_; }
  unsigned byte(std::size_t ahead = 0) const {
    const std::size_t i = at_ + ahead;
    return i < text_.size() ? static_cast<unsigned>(text_[i]) : 0x100;
  }
  void skip(std::size_t n) { at_ += n; }
  // One character of n bytes.
  void character(std::size_t n) {
    at_ += n;
    ++pos_.column;
  }
  // A line end of n bytes, where `lf` (n bytes too) may follow a CR.
  void line_end(bool cr, std::size_t n, unsigned lf_first, unsigned lf_second) {
    at_ += n;
    if (cr && byte() == lf_first && (n == 1 || byte(1) == lf_second)) at_ += n;
    ++pos_.line;
    pos_.column = 1;
  }
  // A byte LF or CR ends the line; true when it did.
  bool byte_line_end() {
    if (byte() != 0x0A && byte() != 0x0D) return false;
    line_end(byte() == 0x0D, 1, 0x0A, 0);
    return true;
  }
  TextPosition position() const { return pos_; }

 private:
  std::span<const std::byte> text_;
  std::size_t end_;
  std::size_t at_ = 0;
  TextPosition pos_;
};

// Bytes of the character at the walker, as the library reads them: a byte
// that cannot follow ends a malformed character before it.
std::size_t utf8_length(const Walker &w) {
  const unsigned b = w.byte();
  const std::size_t need = b < 0xC0   ? 1
                           : b < 0xE0 ? 2
                           : b < 0xF0 ? 3
                           : b < 0xF5 ? 4
                                      : 1;
  const unsigned low = b == 0xF0 ? 0x90 : 0x80;
  const unsigned high = b == 0xF4 ? 0x8F : 0xBF;
  std::size_t n = 1;
  for (; n < need; ++n) {
    const unsigned c = w.byte(n);
    if (c < (n == 1 ? low : 0x80) || c > (n == 1 ? high : 0xBF)) break;
  }
  return n;
}

std::size_t sjis_length(const Walker &w) {
  const unsigned b = w.byte(), next = w.byte(1);
  const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return lead && next >= 0x40 && next <= 0xFC && next != 0x7F ? 2 : 1;
}

std::size_t euc_length(const Walker &w) {
  const auto follows = [&w](std::size_t i, unsigned high) {
    return w.byte(i) >= 0xA1 && w.byte(i) <= high;
  };
  const unsigned b = w.byte();
  if (b == 0x8E) return follows(1, 0xDF) ? 2 : 1;
  if (b == 0x8F) return !follows(1, 0xFE) ? 1 : !follows(2, 0xFE) ? 2 : 3;
  return b >= 0xA1 && b <= 0xFE && follows(1, 0xFE) ? 2 : 1;
}

// The shift state a three-byte escape sequence selects, or -1.
int jis_designation(unsigned b1, unsigned b2) {
  if (b1 == 0x24 && (b2 == 0x40 || b2 == 0x42 || b2 == 0x4A)) return 1;
  if (b1 == 0x28 && (b2 == 0x42 || b2 == 0x4A || b2 == 0x48)) return 0;
  if (b1 == 0x28 && b2 == 0x49) return 2;
  return -1;
}

void walk_jis(Walker &w) {
  int mode = 0;
  while (w.more()) {
    if (w.byte() == 0x1B) {
      const int next = jis_designation(w.byte(1), w.byte(2));
      if (next >= 0) {
        mode = next;
        w.skip(3);
      } else {
        w.skip(1);
      }
    } else if (w.byte_line_end()) {
    } else if (mode == 0 && (w.byte() == 0x0E || w.byte() == 0x0F)) {
      w.skip(1);  // SO and SI only shift
    } else {
      w.character(mode == 1 ? 2 : 1);
    }
  }
}

void walk_utf16(Walker &w, bool big_endian) {
  auto unit = [&w, big_endian]() {
    return big_endian ? w.byte() << 8 | w.byte(1) : w.byte(1) << 8 | w.byte();
  };
  if (unit() == 0xFEFF) w.skip(2);
  const unsigned lf_first = big_endian ? 0x00 : 0x0A;
  const unsigned lf_second = big_endian ? 0x0A : 0x00;
  while (w.more()) {
    const unsigned u = unit();
    if (u == 0x0A || u == 0x0D) {
      w.line_end(u == 0x0D, 2, lf_first, lf_second);
    } else {
      w.character(2);
    }
  }
}

template <typename Length>
void walk_bytes(Walker &w, Length length) {
  while (w.more()) {
    if (!w.byte_line_end()) w.character(length(w));
  }
}

}  // namespace

TextPosition locate(std::span<const std::byte> text, std::size_t offset,
                    kmv::encoding enc) {
  Walker w(text, offset);
  switch (enc) {
    case kmv::encoding::jis:
      walk_jis(w);
      break;
    case kmv::encoding::utf16be:
    case kmv::encoding::utf16be_bom:
      walk_utf16(w, true);
      break;
    case kmv::encoding::utf16le:
    case kmv::encoding::utf16le_bom:
      walk_utf16(w, false);
      break;
    case kmv::encoding::utf8:
    case kmv::encoding::utf8_bom:
      if (w.byte() == 0xEF && w.byte(1) == 0xBB && w.byte(2) == 0xBF) w.skip(3);
      walk_bytes(w, utf8_length);
      break;
    case kmv::encoding::euc:
    case kmv::encoding::euc_cp20932:
    case kmv::encoding::euc_cp51932:
    case kmv::encoding::euc_jp_ms:
      walk_bytes(w, euc_length);
      break;
    default:
      walk_bytes(w, sjis_length);
      break;
  }
  return w.position();
}

}  // namespace kmvtool
