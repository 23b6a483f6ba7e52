#include "line_ends.h"

#include <algorithm>

namespace kmvtool {
namespace {

std::string encoded_end(Eol form, std::size_t width, std::size_t low) {
  const std::string ascii = form == Eol::crlf ? "\r\n"
                            : form == Eol::cr ? "\r"
                                              : "\n";
  std::string out;
  for (const char c : ascii) {
    std::string unit(width, '\0');
    unit[low] = c;
    out += unit;
  }
  return out;
}

}  // namespace

LineEnds::LineEnds(Eol form, kmv::encoding target) : form_(form) {
  using kmv::encoding;
  if (target == encoding::utf16be || target == encoding::utf16be_bom) {
    width_ = 2;
    low_ = 1;
  } else if (target == encoding::utf16le || target == encoding::utf16le_bom) {
    width_ = 2;
  }
  end_ = encoded_end(form, width_, low_);
}

void LineEnds::put_end() {
  const auto *p = reinterpret_cast<const std::byte *>(end_.data());
  out_.insert(out_.end(), p, p + end_.size());
}

void LineEnds::put_unit(const std::byte *unit) {
  const bool ascii_unit = width_ == 1 || unit[1 - low_] == std::byte{0};
  const auto value = static_cast<unsigned char>(unit[low_]);
  if (ascii_unit && value == '\r') {
    if (cr_waiting_) put_end();
    cr_waiting_ = true;
    return;
  }
  if (ascii_unit && value == '\n') {
    cr_waiting_ = false;
    put_end();
    return;
  }
  if (cr_waiting_) put_end();
  cr_waiting_ = false;
  out_.insert(out_.end(), unit, unit + width_);
}

std::span<const std::byte> LineEnds::rewrite(std::span<const std::byte> piece) {
  if (!active()) return piece;
  out_.clear();
  std::size_t at = 0;
  if (!carry_.empty()) {
    while (carry_.size() < width_ && at < piece.size()) {
      carry_.push_back(piece[at++]);
    }
    if (carry_.size() < width_) return {};
    put_unit(carry_.data());
    carry_.clear();
  }
  const std::size_t whole = at + (piece.size() - at) / width_ * width_;
  if (width_ == 1) {
    // Runs without CR or LF go over in one move.
    while (at < whole) {
      const auto *begin = piece.data() + at;
      const auto *stop =
          std::find_if(begin, piece.data() + whole, [](std::byte b) {
            return b == std::byte{'\r'} || b == std::byte{'\n'};
          });
      if (stop != begin) {
        if (cr_waiting_) put_end();
        cr_waiting_ = false;
        out_.insert(out_.end(), begin, stop);
      }
      at = static_cast<std::size_t>(stop - piece.data());
      if (at < whole) put_unit(piece.data() + at++);
    }
  } else {
    for (; at < whole; at += width_) put_unit(piece.data() + at);
  }
  carry_.assign(piece.begin() + static_cast<std::ptrdiff_t>(whole),
                piece.end());
  return out_;
}

std::span<const std::byte> LineEnds::finish() {
  out_.clear();
  if (cr_waiting_) put_end();
  cr_waiting_ = false;
  out_.insert(out_.end(), carry_.begin(), carry_.end());
  carry_.clear();
  return out_;
}

}  // namespace kmvtool
