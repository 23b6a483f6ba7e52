// The EUC-JP reading: the walk over the text with the handle's tables, and
// the check of which EUC-JP variant tables read the codes those leave
// unknown.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "detect/byte_runs.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"
#include "detect/table_lookups.h"
#include "kmv.h"

namespace kmv::detect {

void store_euc_defaults(kmv_handle *h) {
  h->euc2unibe_table00 = euc2unibecommon_table00;
  h->euc2unibe_table00_size = euc2unibecommon_table00_size;
  h->euc2unibe_table8f = nullptr;
  h->euc2unibe_table8f_size = 0;
}

}  // namespace kmv::detect

namespace {

using namespace kmv::detect;

void store_euc3(kmv_handle *h) {
  h->euc2unibe_table00 = euc2unibems_table00;
  h->euc2unibe_table00_size = euc2unibems_table00_size;
  h->euc2unibe_table8f = euc2unibems_table8f;
  h->euc2unibe_table8f_size = euc2unibems_table8f_size;
}

uint32_t handle_entry(const kmv_handle *h, uint32_t index, bool three_byte) {
  return three_byte
             ? entry(h->euc2unibe_table8f, h->euc2unibe_table8f_size, index)
             : entry(h->euc2unibe_table00, h->euc2unibe_table00_size, index);
}

bool euc1_holds(uint32_t index, bool three_byte) {
  return three_byte ? entry(euc2unibe20932_table8f, euc2unibe20932_table8f_size,
                            index) != 0
                    : entry(euc2unibe20932_table00, euc2unibe20932_table00_size,
                            index) != 0;
}

bool euc2_holds(uint32_t index, bool three_byte) {
  return !three_byte &&
         entry(euc2unibe51932_table00, euc2unibe51932_table00_size, index) != 0;
}

// The EUC3 reading goes through the handle's slots, which hold the EUC3
// tables only for this one look-up.
bool euc3_holds(kmv_handle *h, uint32_t index, bool three_byte) {
  store_euc3(h);
  const bool held = handle_entry(h, index, three_byte) != 0;
  store_euc_defaults(h);
  return held;
}

// Sorts one code among the variants; true when the 21st invalid code ends
// the walk. `index` is the two-byte code, or the low 16 bits of a
// three-byte one.
bool classify_euc_code(kmv_handle *h, EucTally &t, uint32_t index,
                       bool three_byte) {
  if (handle_entry(h, index, three_byte) != 0) {
    ++t.valid;
    return false;
  }
  const bool in1 = euc1_holds(index, three_byte);
  if (in1) {
    ++t.hits1;
    t.bits |= kCandEuc1;
  } else {
    ++t.misses1;
  }
  const bool in2 = euc2_holds(index, three_byte);
  if (in2) {
    ++t.hits2;
    t.bits |= kCandEuc2;
  } else {
    ++t.misses2;
  }
  if (euc3_holds(h, index, three_byte)) {
    ++t.hits3;
    t.bits |= kCandEuc3;
    return false;
  }
  ++t.misses3;
  if (in1 || in2) return false;
  return ++t.invalid > kMostUnknownCodes;
}

// A three-byte code whose last byte lies beyond the text could still be
// complete when any three-byte table holds a code with this second byte.
bool euc_three_byte_possible(const kmv_handle *h, uint64_t second) {
  return euc8f_lead_possible(h, second) ||
         any_code_with_lead(euc2unibe20932_table8f, euc2unibe20932_table8f_size,
                            second, 0xA0) ||
         any_code_with_lead(euc2unibems_table8f, euc2unibems_table8f_size,
                            second, 0xA0);
}

enum class EucStep { kGoOn, kEnd, kNotEuc };

// The text ends inside the character at its last bytes: a possible start
// marks the reading as cut, an impossible one rules EUC-JP out.
EucStep cut_short(bool possible, uint32_t &end_flags) {
  if (!possible) return EucStep::kNotEuc;
  end_flags |= kEndEuc;
  return EucStep::kEnd;
}

// True when the table holds no one-byte character at 0x80 and above: then
// every such byte begins a two-byte code, as in Shift_JIS.
bool no_high_singles(const uint16_t *t00, uint64_t n00) {
  for (uint32_t c = 0x80; c <= 0xFF; ++c) {
    if (entry(t00, n00, c) != 0) return false;
  }
  return true;
}

// One 64-byte block from a character start whose two-byte codes the table
// all holds, counted at once; declines, counting nothing, on a single shift
// at a character start or a code that needs the variant reading.
bool read_valid_block(const unsigned char *buf, size_t buf_len, size_t &i,
                      CodeTable &codes, int64_t &valid, bool &skipped) {
  const unsigned char *p = buf + i;
  const auto m = kmv::detect::euc_block_masks(p);
  if (m.high == 0) {
    i = skip_ascii(buf, i + 64, buf_len);
    skipped = true;
    return true;
  }
  const uint64_t starts = ~second_bytes(m.high);
  if ((m.shift & starts) != 0) return false;
  const uint64_t leads = m.high & starts;
  const int n = count_bits(leads);
  if (codes.known(p, leads) != static_cast<uint32_t>(n)) return false;
  valid += n;
  i += 64 + (leads >> 63);
  return true;
}

// Codes that the handle's table holds, single-byte characters and
// half-width katakana: they count without the variant reading. Stops at
// anything else, at the stop, and one byte before the end of the text. A
// run that the stop cut while it stepped over ASCII goes on with that.
size_t read_valid_run(const kmv_handle *h, const Window &w, size_t i,
                      size_t &blocks_from, bool &skipping, int64_t &valid,
                      EucBlockUse &block_use, size_t text_length) {
  const unsigned char *const buf = w.buf;
  const size_t len = w.len;
  const uint16_t *const t00 = h->euc2unibe_table00;
  const uint64_t n00 = t00 != nullptr ? h->euc2unibe_table00_size : 0;
  const bool blocks = block_use.fits(t00, n00, text_length);
  int64_t n = 0;
  if (skipping) i = skip_ascii(buf, i, len);
  while (i < w.stop && len - i >= 2) {
    skipping = false;
    if (blocks && i >= blocks_from && len - i > 64) {
      if (read_valid_block(buf, len, i, *block_use.codes, n, skipping)) {
        continue;
      }
      blocks_from = i + 64;
    }
    const uint32_t c = buf[i];
    if (c < 0x80) {
      i = skip_ascii(buf, i + 1, len);
      skipping = true;
      continue;
    }
    if (c == 0x8F) break;
    if (c == 0x8E) {
      if (buf[i + 1] - 0xA1u > 0xDFu - 0xA1u) break;
      i += 2;
      continue;
    }
    if (c < n00 && t00[c] != 0) {
      ++i;
      continue;
    }
    const uint32_t code = c * 256 + buf[i + 1];
    if (code >= n00 || t00[code] == 0) break;
    ++n;
    i += 2;
  }
  valid += n;
  return i;
}

// The careful reading of one character at i. The 21st invalid code, or a
// text that ends inside a character, ends the walk.
EucStep read_euc_char(kmv_handle *h, EucTally &t, uint32_t &end_flags,
                      const unsigned char *buf, size_t &i, size_t len) {
  const uint32_t c = buf[i];
  if (c < 0x80) {
    ++i;
    return EucStep::kGoOn;
  }
  const size_t left = len - i - 1;  // bytes behind c
  uint32_t index;
  bool three_byte = false;
  if (c == 0x8E || c == 0x8F) {
    if (left == 0) return cut_short(true, end_flags);
    const uint32_t next = buf[i + 1];
    if (c == 0x8E && next >= 0xA1 && next <= 0xDF) {  // half-width kana
      i += 2;
      return EucStep::kGoOn;
    }
    // 0x8E before anything else pairs the two bytes behind it.
    if (left == 1) {
      return cut_short(c == 0x8E ? euc_lead_possible(h, next)
                                 : euc_three_byte_possible(h, next),
                       end_flags);
    }
    index = next * 256 + buf[i + 2];
    three_byte = c == 0x8F;
    i += 3;
  } else if (entry(h->euc2unibe_table00, h->euc2unibe_table00_size, c) != 0) {
    ++i;
    return EucStep::kGoOn;
  } else if (left == 0) {
    return cut_short(euc_lead_possible(h, c), end_flags);
  } else {
    index = c * 256 + buf[i + 1];
    i += 2;
  }
  return classify_euc_code(h, t, index, three_byte) ? EucStep::kEnd
                                                    : EucStep::kGoOn;
}

// A variant without a hit cannot pass: its misses include every invalid
// code, and EUC-invalid already exceeds EUC-valid / 30 when this is asked.
void gain_variants_by_share(EucTally &t) {
  const auto fits = [&](int64_t hits, int64_t misses) {
    return as_float(hits + t.valid) / 30.0f > as_float(misses);
  };
  if (fits(t.hits1, t.misses1)) t.bits |= kCandEuc1;
  if (fits(t.hits2, t.misses2)) t.bits |= kCandEuc2;
  if (fits(t.hits3, t.misses3)) t.bits |= kCandEuc3;
}

int32_t score_euc(EucTally &t, const EucReport &out, int32_t expected_type) {
  if (t.hits1 == 0 && t.hits2 == 0 && t.valid == 0 && t.hits3 == 0) return 0;
  if (t.valid <= t.invalid) return 0;
  if (out.clean != nullptr) *out.clean = t.invalid == 0 ? 1 : 0;
  if (out.valid != nullptr) *out.valid = clamp32(t.valid);
  if (out.invalid != nullptr) *out.invalid = clamp32(t.invalid);
  if (as_float(t.invalid) > as_float(t.valid) / 30.0f) {
    gain_variants_by_share(t);
  }
  if (expected_type == KMV_TYPE_EUC1 && (t.bits & kCandEuc1) != 0) {
    return kCandEuc1;
  }
  if (expected_type == KMV_TYPE_EUC2 && (t.bits & kCandEuc2) != 0) {
    return kCandEuc2;
  }
  if (expected_type == KMV_TYPE_EUC3 && (t.bits & kCandEuc3) != 0) {
    return kCandEuc3;
  }
  if (t.bits == 0 || t.bits == (kCandEuc1 | kCandEuc2 | kCandEuc3)) {
    return kCandEuc;
  }
  if (t.bits == (kCandEuc1 | kCandEuc3)) return kCandEuc1;
  return static_cast<int32_t>(t.bits);
}

}  // namespace

extern "C" {

KMV_API int32_t check_euc(kmv_handle *handle, int32_t *euc_valid,
                          int32_t *euc_invalid, uint32_t *end_flags,
                          uint32_t * /*preference: not consulted*/,
                          unsigned char *euc_clean, int32_t expected_type,
                          const unsigned char *buf, uint64_t buf_len) {
  if (handle == nullptr || buf == nullptr) return 0;
  EucReading reading(handle, buf_len);
  reading.read(Window::whole(buf, buf_len));
  uint32_t flags = end_flags != nullptr ? *end_flags : 0;
  const int32_t bits = reading.score(
      EucReport{euc_valid, euc_invalid, euc_clean}, flags, expected_type);
  if (end_flags != nullptr) *end_flags = flags;
  return bits;
}

}  // extern "C"

namespace kmv::detect {

bool EucBlockUse::fits(const uint16_t *t00, uint64_t n00, size_t text_length) {
  if (!codes || t00 != codes->table() || n00 != codes->count()) {
    codes.emplace(t00, n00, text_length);
    allowed = kFastBlockMasks && no_high_singles(t00, n00);
  }
  return allowed;
}

void EucReading::read(const Window &w) {
  read_runs(
      *this, blocks_from_, w,
      [&](size_t i, size_t &blocks_from) {
        return read_valid_run(h_, w, i, blocks_from, skipping_, tally_.valid,
                              block_use_, text_length_);
      },
      [&](size_t &i) {
        const EucStep step =
            read_euc_char(h_, tally_, end_flags_, w.buf, i, w.len);
        not_euc_ = step == EucStep::kNotEuc;
        return step == EucStep::kGoOn;
      });
}

int32_t EucReading::score(const EucReport &out, uint32_t &end_flags,
                          int32_t expected_type) {
  if (not_euc_) return 0;
  end_flags |= end_flags_;
  return score_euc(tally_, out, expected_type);
}

void EucReading::tell(int32_t expected_type, Evidence &e) {
  const int32_t bits =
      score(EucReport{&e.euc_valid, &e.euc_invalid, &e.euc_clean}, e.end_flags,
            expected_type);
  if ((e.sjis_bad > 0 || e.single_kana > e.sjis_good) && e.euc_valid > 0 &&
      e.euc_invalid == 0) {
    e.candidates &= ~kCandSjis;
  }
  e.candidates = (e.candidates & ~kCandEucAny) | static_cast<uint32_t>(bits);
}

void euc_pass(kmv_handle *h, const unsigned char *buf, size_t len,
              int32_t expected_type, Evidence &e) {
  store_euc_defaults(h);
  EucReading reading(h, len);
  reading.read(Window::whole(buf, len));
  store_euc_defaults(h);
  reading.tell(expected_type, e);
}

}  // namespace kmv::detect
