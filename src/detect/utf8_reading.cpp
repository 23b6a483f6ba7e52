// The UTF-8 reading of the buffer.
#include <cstddef>
#include <cstdint>

#include "detect/byte_runs.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"
#include "detect/utf8_blocks.h"

namespace {

using namespace kmv::detect;

bool is_continuation(uint32_t byte) {
  return byte >= 0x80 && byte <= 0xBF;
}

enum class Utf8End { kGoOn, kRuledOut, kCut };

// Whether `byte` may follow the lead byte `lead` of a four-byte sequence
// (0xF0 to 0xF4) as its second byte: the lead's own range keeps out
// overlong forms and values beyond U+10FFFF.
bool is_four_byte_second(uint32_t lead, uint32_t byte) {
  const uint32_t low = lead == 0xF0 ? 0x90 : 0x80;
  const uint32_t high = lead == 0xF4 ? 0x8F : 0xBF;
  return byte >= low && byte <= high;
}

// A four-byte sequence at i, whose lead byte is known to be 0xF0 to 0xF4.
// A well-formed start that the text cuts off is a cut like any other.
Utf8End read_four_byte(const unsigned char *buf, size_t &i, size_t left,
                       uint32_t &end_flags, int64_t &seq) {
  const size_t present = left < 3 ? left : 3;
  if (left == 1) end_flags |= kEndUtf8;
  bool well_formed = is_four_byte_second(buf[i], buf[i + 1]);
  for (size_t k = 2; k <= present; ++k) {
    well_formed = well_formed && is_continuation(buf[i + k]);
  }
  if (!well_formed) return Utf8End::kRuledOut;
  if (left < 3) {
    end_flags |= kEndUtf8;
    return Utf8End::kCut;
  }
  ++seq;
  i += 4;
  return Utf8End::kGoOn;
}

// The careful reading of one character at i, near the end of the text or
// where the quick run below stopped.
Utf8End read_utf8_char(const unsigned char *buf, size_t &i, size_t len,
                       uint32_t &end_flags, int64_t &seq) {
  const uint32_t c = buf[i];
  const size_t left = len - i - 1;
  if (c < 0x80) {
    ++i;
    return Utf8End::kGoOn;
  }
  if (left == 0) {
    end_flags |= kEndUtf8;
    return (c >= 0xC0 && c <= 0xF4) ? Utf8End::kCut : Utf8End::kRuledOut;
  }
  if (c >= 0xC0 && c <= 0xDF) {
    if (!is_continuation(buf[i + 1])) return Utf8End::kRuledOut;
    ++seq;
    i += 2;
    return Utf8End::kGoOn;
  }
  if (c >= 0xF0 && c <= 0xF4)
    return read_four_byte(buf, i, left, end_flags, seq);
  const bool three_lead = c >= 0xE0 && c <= 0xEF;
  if (left == 1) {
    end_flags |= kEndUtf8;
    return (three_lead && is_continuation(buf[i + 1])) ? Utf8End::kCut
                                                       : Utf8End::kRuledOut;
  }
  if (!three_lead || !is_continuation(buf[i + 1]) ||
      !is_continuation(buf[i + 2])) {
    return Utf8End::kRuledOut;
  }
  ++seq;
  i += 3;
  return Utf8End::kGoOn;
}

// Well-formed two- and three-byte sequences and ASCII, while a whole
// three-byte sequence still fits: there the careful reading would take the
// same steps. Stops at anything else, and at the stop (a run that it cut
// while stepping over ASCII goes on with that). Whole blocks go at
// once where they can; after one declines, the byte-wise reading takes the
// next 64 bytes.
size_t read_utf8_run(const Window &w, size_t i, size_t &blocks_from,
                     bool &skipping, int64_t &seq) {
  const unsigned char *const buf = w.buf;
  const size_t len = w.len;
  int64_t n = 0;
  if (skipping) i = skip_ascii(buf, i, len);
  while (i < w.stop && len - i >= 3) {
    skipping = false;
    if (i >= blocks_from && len - i >= 64 + 2) {
      const Utf8Block block = utf8_block(buf + i);
      if (block.length != 0) {
        n += block.sequences;
        i += block.length;
        if (block.sequences == 0) {
          i = skip_ascii(buf, i, len);
          skipping = true;
        }
        continue;
      }
      blocks_from = i + 64;
    }
    const uint32_t c = buf[i];
    const bool second_cont = (buf[i + 1] & 0xC0) == 0x80;
    if ((c & 0xF0) == 0xE0 && second_cont && (buf[i + 2] & 0xC0) == 0x80) {
      ++n;
      i += 3;
    } else if (c < 0x80) {
      i = skip_ascii(buf, i + 1, len);
      skipping = true;
    } else if ((c & 0xE0) == 0xC0 && second_cont) {
      ++n;
      i += 2;
    } else {
      break;
    }
  }
  seq += n;
  return i;
}

}  // namespace

namespace kmv::detect {

void Utf8Reading::read(const Window &w) {
  read_runs(
      *this, blocks_from_, w,
      [&](size_t i, size_t &blocks_from) {
        return read_utf8_run(w, i, blocks_from, skipping_, seq_);
      },
      [&](size_t &i) {
        const Utf8End step = read_utf8_char(w.buf, i, w.len, end_flags_, seq_);
        ruled_out_ = step == Utf8End::kRuledOut;
        return step == Utf8End::kGoOn;
      });
}

void Utf8Reading::tell(Evidence &e) const {
  e.end_flags |= end_flags_;
  if (ruled_out_ || seq_ == 0) e.candidates &= ~kCandUtf8;
  if (!ruled_out_) e.utf8_seq = seq_;
}

void utf8_pass(const unsigned char *buf, size_t len, Evidence &e) {
  Utf8Reading reading;
  reading.read(Window::whole(buf, len));
  reading.tell(e);
}

}  // namespace kmv::detect
