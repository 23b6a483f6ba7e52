// The best guess: one encoding for a text that the detector leaves
// undecided. Every candidate that the text allows is decoded with the
// library's own converters and weighed by how Japanese text is made.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "detect/character_boundaries.h"
#include "detect/japanese_score.h"
#include "kmv.h"
#include "kmv_ext.h"

namespace {

using kmv::detect::Family;

// A longer text is weighed on its first part: the answer is settled long
// before, and the cost stays bounded.
constexpr size_t kMostWeighedBytes = 16384;

// How much the weights of two candidates must differ, in bits, for one to
// be twice as likely as the other: the model's bits overstate certainty.
constexpr float kBitsPerDoubling = 4.0f;

struct Kind {
  uint32_t mask;
  int32_t type;
  Family family;
  // Log-probability, in bits, of meeting the encoding without a mark.
  float prior_bits;
  const uint16_t *euc00, *euc8f;
  uint64_t euc00_size, euc8f_size;
};

// The candidates in the order that breaks ties: the EUC-JP variants that
// read a text alike give way to the plainer one.
const Kind kKinds[] = {
    {KMV_MASK_ASCII, KMV_TYPE_ASCII, Family::kUtf8, 0.0f, nullptr, nullptr, 0,
     0},
    {KMV_MASK_UTF8, KMV_TYPE_UTF8, Family::kUtf8, 0.0f, nullptr, nullptr, 0, 0},
    {KMV_MASK_SJIS, KMV_TYPE_SJIS, Family::kSjis, -1.0f, nullptr, nullptr, 0,
     0},
    {KMV_MASK_EUC, KMV_TYPE_EUC, Family::kEuc, -2.0f, euc2unibecommon_table00,
     nullptr, euc2unibecommon_table00_size, 0},
    {KMV_MASK_EUC1, KMV_TYPE_EUC1, Family::kEuc, -2.0f, euc2unibe20932_table00,
     euc2unibe20932_table8f, euc2unibe20932_table00_size,
     euc2unibe20932_table8f_size},
    {KMV_MASK_EUC2, KMV_TYPE_EUC2, Family::kEuc, -2.0f, euc2unibe51932_table00,
     nullptr, euc2unibe51932_table00_size, 0},
    {KMV_MASK_EUC3, KMV_TYPE_EUC3, Family::kEuc, -2.0f, euc2unibems_table00,
     euc2unibems_table8f, euc2unibems_table00_size, euc2unibems_table8f_size},
    {KMV_MASK_UTF16BE, KMV_TYPE_UTF16BE, Family::kUtf16be, -2.5f, nullptr,
     nullptr, 0, 0},
    {KMV_MASK_UTF16LE, KMV_TYPE_UTF16LE, Family::kUtf16le, -2.5f, nullptr,
     nullptr, 0, 0},
};

uint32_t mask_of(int32_t result) {
  if (result >= KMV_MASK_MIN) return static_cast<uint32_t>(result);
  for (const Kind &k : kKinds) {
    if (k.type == result) return k.mask;
  }
  return 0;
}

struct Weighed {
  int32_t type = -1;
  Family family = Family::kUtf8;
  float bits = -INFINITY;
};

// Decodes with a converter to UTF-16BE and weighs the units; false when
// memory runs out.
bool weigh_converted(kmv_converter_bom_fn convert, kmv_handle *h,
                     const unsigned char *text, size_t len, float &bits) {
  unsigned char *units = nullptr;
  uint64_t units_len = 0;
  const unsigned char *err_pos = nullptr;
  if (convert(h, &units, &units_len, &err_pos, text, len, 0) == KMV_EALLOC) {
    return false;
  }
  bits = kmv::detect::japanese_bits(units, units_len / 2, true) +
         static_cast<float>(h->err_count) * kmv::detect::kUnreadableBits;
  std::free(units);
  return true;
}

// UTF-8 writers never make overlong forms or encoded surrogates, though the
// library reads them.
float odd_utf8_bits(const unsigned char *text, size_t len) {
  int64_t odd = 0;
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = text[i];
    if (c == 0xC0 || c == 0xC1) {
      ++odd;
    } else if ((c == 0xE0 || c == 0xED) && i + 1 < len) {
      odd += (c == 0xE0) == (text[i + 1] < 0xA0);
    }
  }
  return static_cast<float>(odd) * kmv::detect::kUnreadableBits;
}

bool weigh(const Kind &k, kmv_handle *h, const unsigned char *text, size_t len,
           float &bits) {
  switch (k.family) {
    case Family::kUtf16be:
    case Family::kUtf16le:
      bits = kmv::detect::japanese_bits(text, len / 2,
                                        k.family == Family::kUtf16be);
      return true;
    case Family::kSjis:
      return weigh_converted(kmv_sjisto_unibe, h, text, len, bits);
    case Family::kEuc:
      h->euc2unibe_table00 = k.euc00;
      h->euc2unibe_table00_size = k.euc00_size;
      h->euc2unibe_table8f = k.euc8f;
      h->euc2unibe_table8f_size = k.euc8f_size;
      return weigh_converted(kmv_eucto_unibe, h, text, len, bits);
    case Family::kUtf8:
      if (!weigh_converted(kmv_utf8to_unibe, h, text, len, bits)) return false;
      bits += odd_utf8_bits(text, len);
      return true;
  }
  return false;
}

struct Ranking {
  Weighed best, second;
  float total = 0.0f;  // of 2^(bits / kBitsPerDoubling), relative to best
  bool out_of_memory = false;
};

// Candidates of another family than the best come before its own kin as
// runner-up: EUC-JP variants that read a text alike are no alternative.
bool better_second(const Weighed &w, const Weighed &best,
                   const Weighed &second) {
  const bool kin = w.family == best.family,
             second_kin = second.family == best.family;
  if (second.type < 0 || kin != second_kin)
    return second.type < 0 || second_kin;
  return w.bits > second.bits;
}

Ranking rank(const kmv_handle *handle, uint32_t candidates,
             const unsigned char *buf, size_t len) {
  kmv_handle scratch = *handle;  // the caller's per-call state stays
  Ranking r;
  Weighed all[sizeof kKinds / sizeof kKinds[0]];
  size_t n = 0;
  for (const Kind &k : kKinds) {
    if ((candidates & k.mask) == 0) continue;
    size_t use = len;
    if (use > kMostWeighedBytes) {
      use = kMostWeighedBytes;
      use -= kmv::detect::bytes_past_boundary(k.family, buf, use);
    }
    Weighed w{k.type, k.family, 0.0f};
    if (!weigh(k, &scratch, buf, use, w.bits)) {
      r.out_of_memory = true;
      return r;
    }
    w.bits += k.prior_bits;
    all[n++] = w;
    if (w.bits > r.best.bits) r.best = w;
  }
  for (size_t i = 0; i < n; ++i) {
    r.total += std::exp2((all[i].bits - r.best.bits) / kBitsPerDoubling);
    if (all[i].type != r.best.type && better_second(all[i], r.best, r.second)) {
      r.second = all[i];
    }
  }
  return r;
}

}  // namespace

extern "C" {

KMV_API int32_t kmvx_guess(kmv_handle *handle, const unsigned char *buf,
                           uint64_t len, int32_t expected_type,
                           kmvx_guess_result *out) {
  if (handle == nullptr) return KMV_EALLOC;
  if (out == nullptr || (buf == nullptr && len != 0)) return KMV_EREAD;
  const int32_t detected = kmv_buf(handle, buf, len, expected_type, 0);
  kmvx_guess_result g{detected, -1, 1.0f, detected};
  if (len == 0 || (detected > 0 && detected < KMV_MASK_MIN)) {
    *out = g;
    return KMV_SUCCESS;
  }
  const uint32_t candidates =
      mask_of(detected) | mask_of(kmv_buf(handle, buf, len, expected_type, 1));
  const Ranking r = rank(handle, candidates, buf, static_cast<size_t>(len));
  if (r.out_of_memory) return KMV_EALLOC;
  g.type = r.best.type;
  g.runner_up = r.second.type;
  g.confidence = r.best.type < 0 ? 0.0f : 1.0f / r.total;
  *out = g;
  return KMV_SUCCESS;
}

}  // extern "C"
