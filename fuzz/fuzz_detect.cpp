// Arbitrary bytes through the buffer detector under arbitrary expected
// types, hint flags and EUC variants stored in the handle; arbitrary
// arguments through the decision step, the EUC check and the probes; and
// the best guess, which must name a candidate and keep decided answers.
//
// After every detection the handle must be as before, except that the EUC
// decoding slots may have been set to their defaults, and must have been on
// every text that the EUC reading sees.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kmv.h"
#include "kmv_ext.h"

namespace {

void store_variant(kmv_handle *h, unsigned which) {
  switch (which % 4) {
    case 0:
      break;  // the defaults
    case 1:
      h->euc2unibe_table00 = euc2unibe20932_table00;
      h->euc2unibe_table00_size = euc2unibe20932_table00_size;
      h->euc2unibe_table8f = euc2unibe20932_table8f;
      h->euc2unibe_table8f_size = euc2unibe20932_table8f_size;
      break;
    case 2:
      h->euc2unibe_table00 = euc2unibe51932_table00;
      h->euc2unibe_table00_size = euc2unibe51932_table00_size;
      break;
    default:
      h->euc2unibe_table00 = euc2unibems_table00;
      h->euc2unibe_table00_size = euc2unibems_table00_size;
      h->euc2unibe_table8f = euc2unibems_table8f;
      h->euc2unibe_table8f_size = euc2unibems_table8f_size;
      break;
  }
}

bool slots_equal(const kmv_handle &a, const kmv_handle &b) {
  return a.euc2unibe_table00 == b.euc2unibe_table00 &&
         a.euc2unibe_table00_size == b.euc2unibe_table00_size &&
         a.euc2unibe_table8f == b.euc2unibe_table8f &&
         a.euc2unibe_table8f_size == b.euc2unibe_table8f_size;
}

bool slots_are_defaults(const kmv_handle &h) {
  return h.euc2unibe_table00 == euc2unibecommon_table00 &&
         h.euc2unibe_table00_size == euc2unibecommon_table00_size &&
         h.euc2unibe_table8f == nullptr && h.euc2unibe_table8f_size == 0;
}

// Everything but the EUC decoding slots.
bool rest_equal(const kmv_handle &a, const kmv_handle &b) {
  kmv_handle x = a, y = b;
  x.euc2unibe_table00 = y.euc2unibe_table00 = nullptr;
  x.euc2unibe_table8f = y.euc2unibe_table8f = nullptr;
  x.euc2unibe_table00_size = y.euc2unibe_table00_size = 0;
  x.euc2unibe_table8f_size = y.euc2unibe_table8f_size = 0;
  return std::memcmp(&x, &y, sizeof x) == 0;
}

bool valid_result(int32_t r) {
  constexpr uint32_t kMasks =
      0x40 | 0x100 | 0x200 | 0x400 | 0x800 | 0x1000 | 0x2000 | 0x8000 | 0x20000;
  if (r >= 64) return (static_cast<uint32_t>(r) & ~kMasks) == 0;
  return r == -1 || r == 0 || r == 1 || r == 2 || (r >= 4 && r <= 8) ||
         (r >= 11 && r <= 16);
}

bool has_bom(const unsigned char *b, size_t n) {
  return (n >= 2 &&
          ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) ||
         (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF);
}

void check(bool ok) {
  if (!ok) std::abort();
}

void fuzz_detector(kmv_handle *h, const unsigned char *text, size_t n,
                   int32_t expected, unsigned char ignore) {
  const kmv_handle before = *h;
  const int32_t r = kmv_buf(h, text, n, expected, ignore);
  check(valid_result(r));
  check(rest_equal(before, *h));
  check(slots_equal(before, *h) || slots_are_defaults(*h));
  bool any_high = false;
  for (size_t i = 0; i < n; ++i) any_high |= text[i] >= 0x80;
  // No high byte, or a JIS escape (which decides before the EUC reading):
  // no EUC reading. Otherwise a high first byte is met by the first scan,
  // so the EUC reading runs.
  if (!any_high || r == KMV_TYPE_JIS) check(slots_equal(before, *h));
  if (n > 0 && text[0] >= 0x80 && !has_bom(text, n) && r != KMV_TYPE_JIS) {
    check(slots_are_defaults(*h));
  }
  // Same input, same answer.
  store_variant(h, 1);
  check(kmv_buf(h, text, n, expected, ignore) == r);
}

// The guess names a type that the text allows (its own detection's or
// that with hints ignored), keeps a decided answer, and ranks another
// type second.
void fuzz_guess(kmv_handle *h, const unsigned char *text, size_t n,
                int32_t expected) {
  kmvx_guess_result g{};
  check(kmvx_guess(h, text, n, expected, &g) == KMV_SUCCESS);
  check(g.detected == kmv_buf(h, text, n, expected, 0));
  check(g.confidence >= 0.0f && g.confidence <= 1.0f);
  if (n == 0 || (g.detected > 0 && g.detected < 64)) {
    check(g.type == g.detected && g.runner_up == -1 && g.confidence == 1.0f);
    return;
  }
  const int32_t all = kmv_buf(h, text, n, expected, 1);
  const auto allowed = [&](int32_t type) {
    uint32_t bit = 0;
    for (uint64_t row = 1; row < typeNamesSize; ++row) {
      if (typeNames[row].type == type) bit = typeNames[row].mask;
    }
    const auto holds = [&](int32_t r) {
      return r == type || (r >= 64 && (static_cast<uint32_t>(r) & bit) != 0);
    };
    return holds(g.detected) || holds(all);
  };
  check(g.type == -1 || allowed(g.type));
  check(g.runner_up == -1 || (g.runner_up != g.type && allowed(g.runner_up)));
  check(g.type != -1 || g.runner_up == -1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  static const int32_t kTypes[] = {0, 1,  2,  3,  4,  5,  6,  7,
                                   8, 11, 12, 13, 14, 15, 16, -1};
  const int32_t expected = kTypes[data[0] % 16];
  const unsigned char ignore = data[1] & 1;
  const unsigned variant = data[1] >> 1;
  const unsigned char *text = data + 3;
  const size_t n = size - 3;

  kmv_handle *h = create_kmv();
  if (h == nullptr) return 0;
  store_variant(h, variant);
  // An exactly sized copy: any read past the end shows.
  std::vector<unsigned char> copy(text, text + n);
  fuzz_detector(h, copy.data(), copy.size(), expected, ignore);
  fuzz_guess(h, copy.data(), copy.size(), expected);

  // The decision step and the EUC check with arbitrary arguments.
  if (n >= 16) {
    uint32_t args[4];
    std::memcpy(args, text, sizeof args);
    const int32_t d =
        _detect(static_cast<int32_t>(args[0] % 20), args[1], args[2], args[3]);
    check(valid_result(d));
    check(d == _detect(static_cast<int32_t>(args[0] % 20), args[1], args[2],
                       args[3]));
    check(valid_result(
        _detect(static_cast<int32_t>(args[0]), args[1], args[2], args[3])));
  }
  store_variant(h, variant);
  int32_t valid = -7, invalid = -7;
  uint32_t flags = data[2], pref = 0x5A5A;
  unsigned char clean = 7;
  const int32_t bits = check_euc(h, &valid, &invalid, &flags, &pref, &clean,
                                 expected, copy.data(), copy.size());
  check(bits == 0 || bits == 0x8 || bits == 0x10 || bits == 0x20 ||
        bits == 0x40 || bits == 0x30 || bits == 0x60);
  check(pref == 0x5A5A);
  check((flags & ~2u) == (data[2] & ~2u));
  check(bits == 0 || (valid > invalid && (clean == (invalid == 0))));
  if (n > 0) {
    check(is_sjis_possible(h, copy[0] * 0x1010101u) <= 1);
    check(is_euc_possible8f(h, copy[0]) <= 1);
  }
  release_kmv(h);
  return 0;
}
