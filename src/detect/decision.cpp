// The decision step: from the candidates that the readings left, their end
// flags and preferences, to a type code or a mask.
#include <cstdint>

#include "core/type_masks.h"
#include "detect/candidates.h"
#include "detect/passes.h"
#include "kmv.h"

namespace {

using namespace kmv::detect;

// Candidates whose reading was cut leave the set; flags and preferences of
// candidates that are gone are dropped.
void settle_cut_readings(uint32_t &cand, uint32_t &end, uint32_t &pref) {
  if ((end & kEndSjis) != 0) cand &= ~kCandSjis;
  if ((end & kEndEuc) != 0) cand &= ~kCandEuc;
  if ((end & kEndUtf16) != 0) cand &= ~kCandUtf16;
  if ((end & kEndUtf8) != 0) cand &= ~kCandUtf8;
  if ((cand & kCandSjis) == 0) end &= ~kEndSjis, pref &= ~kCandSjis;
  if ((cand & kCandEucAny) == 0) end &= ~kEndEuc, pref &= ~kCandEuc;
  if ((cand & kCandUtf16be) == 0) end &= ~kEndUtf16, pref &= ~kCandUtf16be;
  if ((cand & kCandUtf16le) == 0) end &= ~kEndUtf16, pref &= ~kCandUtf16le;
  if ((cand & kCandUtf8) == 0) end &= ~kEndUtf8;
}

int32_t fallback(const Evidence &e) {
  if (e.sjis_good > 0 && e.sjis_bad == 0) {
    return static_cast<int32_t>(e.euc_clean ? KMV_MASK_SJIS | KMV_MASK_EUC
                                            : KMV_MASK_SJIS);
  }
  return e.euc_clean ? static_cast<int32_t>(KMV_MASK_EUC) : kNoCandidate;
}

bool zero_bytes_lean_one_way(const Evidence &e) {
  return as_float(e.nul_even) / 100.0f > as_float(e.nul_odd) ||
         as_float(e.nul_odd) / 100.0f > as_float(e.nul_even);
}

constexpr int32_t kUndecided = INT32_MIN;

bool expects(int32_t expected, int32_t first, int32_t last) {
  return expected >= first && expected <= last;
}

int32_t pick(uint32_t cand, uint32_t only, int32_t type, uint32_t mask) {
  return cand == only ? type : static_cast<int32_t>(mask);
}

int32_t decide_euc(int32_t expected, uint32_t cand, uint32_t &r) {
  if ((cand & kCandEuc) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc, 5, KMV_MASK_EUC);
    r |= KMV_MASK_EUC;
  }
  if ((cand & kCandEuc1) != 0) {
    if (expects(expected, 5, 7)) return pick(cand, kCandEuc1, 6, KMV_MASK_EUC1);
    r |= KMV_MASK_EUC1;
    if (expected == 8) return pick(cand, kCandEuc1, 8, KMV_MASK_EUC3);
  }
  if ((cand & kCandEuc2) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc2, 7, KMV_MASK_EUC2);
    r |= KMV_MASK_EUC2;
  }
  if ((cand & kCandEuc3) != 0) {
    if (expects(expected, 5, 8)) return pick(cand, kCandEuc3, 8, KMV_MASK_EUC3);
    r |= KMV_MASK_EUC3;
  }
  return kUndecided;
}

int32_t decide_utf16(int32_t expected, uint32_t cand, uint32_t &r) {
  if ((cand & kCandUtf16be) != 0) {
    r |= KMV_MASK_UTF16BE;
    if (expects(expected, 11, 12)) {
      return pick(cand, kCandUtf16be, 11, KMV_MASK_UTF16BE);
    }
  }
  if ((cand & kCandUtf16le) != 0) {
    r |= KMV_MASK_UTF16LE;
    if (expects(expected, 13, 14)) {
      return pick(cand, kCandUtf16le, 13, KMV_MASK_UTF16LE);
    }
  }
  return kUndecided;
}

// A preference narrows several candidates to one mask, still as a mask.
int32_t apply_preference(uint32_t r, uint32_t pref) {
  if (pref == kCandSjis && (r & KMV_MASK_SJIS) != 0) return KMV_MASK_SJIS;
  if (pref == kCandEuc && (r & KMV_MASK_EUC) != 0) return KMV_MASK_EUC;
  if (pref == kCandUtf16be && (r & KMV_MASK_UTF16BE) != 0) {
    return KMV_MASK_UTF16BE;
  }
  if (pref == kCandUtf16le && (r & KMV_MASK_UTF16LE) != 0) {
    return KMV_MASK_UTF16LE;
  }
  return static_cast<int32_t>(r);
}

int32_t decide_front(int32_t expected, uint32_t cand, uint32_t end,
                     uint32_t &r) {
  if ((cand & kCandAscii) != 0) {
    r = KMV_MASK_ASCII;
    if (expected == KMV_TYPE_ASCII) {
      return pick(cand, kCandAscii, KMV_TYPE_ASCII, KMV_MASK_ASCII);
    }
  }
  if ((cand & kCandSjis) != 0 && (end & kEndSjis) == 0) {
    r |= KMV_MASK_SJIS;
    if (expected == KMV_TYPE_SJIS) {
      return pick(cand, kCandSjis, KMV_TYPE_SJIS, KMV_MASK_SJIS);
    }
  }
  if ((end & kEndEuc) == 0) {
    if (const int32_t d = decide_euc(expected, cand, r); d != kUndecided) {
      return d;
    }
  }
  if ((end & kEndUtf16) == 0) return decide_utf16(expected, cand, r);
  return kUndecided;
}

}  // namespace

namespace kmv::detect {

int32_t final_decision(Evidence &e, int32_t expected_type, bool ignore_hints) {
  uint32_t pref = ignore_hints ? 0 : e.preference;
  const int32_t expected = ignore_hints ? 0 : expected_type;
  uint32_t end = e.end_flags;
  // Valid UTF-8 up to a character that the text cuts off.
  const bool utf8_only_cut =
      (e.candidates & kCandUtf8) != 0 && (end & kEndUtf8) != 0;
  settle_cut_readings(e.candidates, end, pref);
  int32_t result = _detect(expected, e.candidates, end, pref);
  if (end != 0 && result == kNoCandidate) {
    result = _detect(expected, e.candidates, 0, pref);
  }
  if (result == kNoCandidate) result = fallback(e);
  if (result == kNoCandidate && utf8_only_cut) result = KMV_MASK_UTF8;
  if (!ignore_hints && result >= KMV_MASK_MIN && zero_bytes_lean_one_way(e)) {
    result &= static_cast<int32_t>(KMV_MASK_UTF16BE | KMV_MASK_UTF16LE);
  }
  return result;
}

}  // namespace kmv::detect

extern "C" {

KMV_API int32_t _detect(int32_t expected_type, uint32_t candidates,
                        uint32_t end_flags, uint32_t preference) {
  uint32_t r = 0;
  const int32_t early = decide_front(expected_type, candidates, end_flags, r);
  if (early != kUndecided) return early;
  if ((candidates & kCandUtf8) != 0 && (end_flags & kEndUtf8) == 0) {
    if (expects(expected_type, 15, 16)) {
      return pick(candidates, kCandUtf8, KMV_TYPE_UTF8, KMV_MASK_UTF8);
    }
    r |= KMV_MASK_UTF8;
    if (r == KMV_MASK_UTF8) return KMV_TYPE_UTF8;
  } else {
    if (const int32_t t = kmv::type_of_plain_mask(r, kUndecided);
        t != kUndecided) {
      return t;
    }
    if (r == 0) return kNoCandidate;
  }
  return apply_preference(r, preference);
}

}  // extern "C"
