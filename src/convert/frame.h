// The frame every converter runs in: argument handling, the output buffer
// and its growth, the byte-order marks, the per-call record in the handle,
// and the chunked loop that drives a source decoder into a target writer.
//
// A converter is Decoder x Writer (see README.md in this directory):
//   - a decoder reads its family's characters and turns each into one event
//     on the writer: byte(c), kana(k), unit(u, pos, code),
//     supplementary(hi, pos, lo, pos), replace(pos, code) or
//     replace_silently();
//   - a writer turns events into target bytes and records what it could not
//     map.
// Both are templates inlined into convert<Decoder, Writer>(), so the
// per-character loop has no indirect calls.
#ifndef KMV_CONVERT_FRAME_H
#define KMV_CONVERT_FRAME_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kmv.h"

#define KMV_ALWAYS_INLINE inline __attribute__((always_inline))

namespace kmv::conv {

using Byte = unsigned char;

// ---------------------------------------------------------------------------
// Per-call state in the handle.

class Record {
 public:
  explicit Record(kmv_handle *h) : h_(h) {}

  void reset(const Byte *src) {
    h_->src_top = src;
    h_->err_first = nullptr;
    h_->err_last = nullptr;
    h_->err_count = 0;
    h_->err_first_code = -1;
    h_->err_last_code = -1;
  }

  // Unconvertible characters are rare: keep them off the hot path.
  [[gnu::cold, gnu::noinline]] void add(const Byte *pos, int32_t code) {
    if (h_->err_first == nullptr) {
      h_->err_first = pos;
      h_->err_first_code = code;
    }
    ++h_->err_count;
    h_->err_last = pos;
    h_->err_last_code = code;
  }

 private:
  kmv_handle *h_;
};

// ---------------------------------------------------------------------------
// Output buffer. The cursor is written through directly by the writers; the
// buffer grows by doubling, so reallocations stay logarithmic.

struct Grown {
  Byte *base;
  size_t capacity;
};

// Doubles `capacity` until `need` bytes are free behind `used`. On failure
// the old buffer is released and base is null.
[[gnu::noinline]] Grown grow_buffer(Byte *base, size_t used, size_t capacity,
                                    size_t need);

class Output {
 public:
  // Small texts start with some slack so that an escape sequence or two
  // does not force a reallocation at once.
  static constexpr size_t kMinCapacity = 16;

  bool open(size_t capacity) {
    capacity = std::max(capacity, kMinCapacity);
    base_ = static_cast<Byte *>(std::malloc(capacity));
    cur = base_;
    end_ = base_ == nullptr ? nullptr : base_ + capacity;
    return base_ != nullptr;
  }

  size_t room() const { return static_cast<size_t>(end_ - cur); }
  size_t used() const { return static_cast<size_t>(cur - base_); }

  // Makes sure that `need` bytes are free; false (buffer released) when
  // memory runs out.
  KMV_ALWAYS_INLINE bool ensure(size_t need) {
    if (room() >= need) return true;
    const size_t at = used();
    Grown g = grow_buffer(base_, at, static_cast<size_t>(end_ - base_), need);
    base_ = g.base;
    cur = base_ == nullptr ? nullptr : base_ + at;
    end_ = base_ == nullptr ? nullptr : base_ + g.capacity;
    return base_ != nullptr;
  }

  KMV_ALWAYS_INLINE void put(Byte b) { *cur++ = b; }
  KMV_ALWAYS_INLINE void put(Byte a, Byte b) {
    cur[0] = a;
    cur[1] = b;
    cur += 2;
  }
  KMV_ALWAYS_INLINE void put(Byte a, Byte b, Byte c) {
    cur[0] = a;
    cur[1] = b;
    cur[2] = c;
    cur += 3;
  }

  void deliver(Byte **dst, uint64_t *dst_len) {
    *dst = base_;
    *dst_len = used();
    base_ = cur = end_ = nullptr;
  }

  Byte *cur = nullptr;

 private:
  Byte *base_ = nullptr;
  Byte *end_ = nullptr;
};

// ---------------------------------------------------------------------------
// Events and their sizes. A decoder states the fewest source bytes behind
// each kind of event it emits (0: never emitted); a writer states the most
// bytes it writes for each. Together they bound the output of a stretch of
// source, so room is tested once per chunk instead of once per character.

struct EventSizes {
  unsigned byte;
  unsigned kana;
  unsigned unit;
  unsigned repl;
  unsigned supplementary;  // a surrogate pair: one character, two units
};

// Most output bytes per source byte, in sixths, never below one byte: the
// block copies of ASCII runs store whole vectors and rely on it.
constexpr unsigned out_per_in_sixths(EventSizes in, EventSizes out) {
  unsigned r = 6;
  const unsigned ins[] = {in.byte, in.kana, in.unit, in.repl, in.supplementary};
  const unsigned outs[] = {out.byte, out.kana, out.unit, out.repl,
                           out.supplementary};
  for (int i = 0; i < 5; ++i) {
    if (ins[i] != 0) r = std::max(r, (6 * outs[i] + ins[i] - 1) / ins[i]);
  }
  return r;
}

// Where a decoder stopped: after the last character it decoded, or at a
// character that the end of the source cuts.
struct Step {
  const Byte *pos;
  bool truncated;
};

KMV_ALWAYS_INLINE Step done(const Byte *pos) {
  return {pos, false};
}
KMV_ALWAYS_INLINE Step cut(const Byte *pos) {
  return {pos, true};
}

// Whether a UTF-16-to-target table maps U+0001 to U+007F to themselves, so
// that runs of ASCII may be copied without looking each one up.
template <class Entry>
bool ascii_identity(const Entry *table, uint64_t size) {
  if (table == nullptr || size < 0x80) return false;
  for (unsigned c = 1; c < 0x80; ++c) {
    if (table[c] != c) return false;
  }
  return true;
}

// The count a reader may trust for a handle slot: a null slot has none,
// whatever count a caller stored beside it. Every decoder and writer loads
// its slots through this, so that a lookup is one bound test.
template <class Entry>
constexpr uint64_t slot_size(const Entry *table, uint64_t size) {
  return table == nullptr ? 0 : size;
}

// Table lookup by the handle's rule: an index at or beyond the slot's
// count (see slot_size) is 0.
template <class Entry>
KMV_ALWAYS_INLINE uint32_t lookup(const Entry *table, uint64_t size,
                                  uint32_t index) {
  if (index < size) [[likely]]
    return table[index];
  return 0;
}

// ---------------------------------------------------------------------------
// The converter frame.

template <class Decoder, class Writer>
int32_t convert(kmv_handle *h, Byte **dst, uint64_t *dst_len,
                const Byte **err_pos, const Byte *src, uint64_t src_len,
                int bom) {
  if (dst != nullptr) *dst = nullptr;
  if (dst_len != nullptr) *dst_len = 0;
  if (err_pos != nullptr) *err_pos = nullptr;
  // Nowhere to deliver a result, or nothing to read the tables from.
  if (h == nullptr || dst == nullptr || dst_len == nullptr ||
      (src == nullptr && src_len != 0)) {
    return KMV_EALLOC;
  }
  Record rec(h);
  rec.reset(src);
  if (src_len > SIZE_MAX / 8) return KMV_EALLOC;

  Output out;
  if (!out.open(static_cast<size_t>(src_len) + Writer::kMarkLen)) {
    return KMV_EALLOC;
  }
  const Byte *p = src;
  const Byte *const end = src + src_len;
  if constexpr (Decoder::kMarkLen > 0) {
    if (src_len >= Decoder::kMarkLen &&
        std::memcmp(p, Decoder::kMark, Decoder::kMarkLen) == 0) {
      p += Decoder::kMarkLen;
    }
  }
  if constexpr (Writer::kMarkLen > 0) {
    if (bom != 0) {
      std::memcpy(out.cur, Writer::kMark, Writer::kMarkLen);
      out.cur += Writer::kMarkLen;
    }
  }

  constexpr unsigned kSixths =
      out_per_in_sixths(Decoder::kMinIn, Writer::kMaxOut);
  constexpr size_t kChunk = 4096;
  constexpr size_t kMinChunk = 64;
  // Writers may store a few bytes past the character they write (a whole
  // word for three bytes): kSlack covers that.
  constexpr size_t kSlack = 8;
  // Output bound of a stretch of source bytes.
  auto bound = [](size_t span) { return (span * kSixths + 5) / 6 + kSlack; };

  Decoder dec(*h);
  Writer w(*h, out, rec);
  while (p < end) {
    const size_t left = static_cast<size_t>(end - p);
    size_t take = std::min(kChunk, left);
    // A character begun in the chunk may run past it by kMaxCharLen - 1.
    auto need_for = [&](size_t t) {
      return bound(std::min(t + Decoder::kMaxCharLen - 1, left));
    };
    if (out.room() < need_for(take)) {
      // Near the end of the buffer: take what still fits, grow when that
      // would be only a few characters.
      const size_t fit =
          out.room() > kSlack ? (out.room() - kSlack) * 6 / kSixths : 0;
      size_t t = 0;
      if (fit >= left) {
        t = left;
      } else if (fit >= Decoder::kMaxCharLen - 1 + kMinChunk) {
        t = fit - (Decoder::kMaxCharLen - 1);
      }
      if (t != 0) {
        take = t;
      } else if (!out.ensure(need_for(take))) {
        return KMV_EALLOC;
      }
    }
    const Step s = dec.run(p, p + take, end, w);
    if (s.truncated) {
      if (err_pos != nullptr) *err_pos = s.pos;
      out.deliver(dst, dst_len);
      return KMV_EUEXPEOD;
    }
    p = s.pos;
  }
  if (!w.finish()) return KMV_EALLOC;
  out.deliver(dst, dst_len);
  return KMV_SUCCESS;
}

}  // namespace kmv::conv

// One exported converter: the C signature around one instantiation.
#define KMV_CONVERTER(name, ...)                                            \
  extern "C" KMV_API int32_t name(                                          \
      kmv_handle *handle, unsigned char **dst, uint64_t *dst_len,           \
      const unsigned char **err_pos, const unsigned char *src,              \
      uint64_t src_len) {                                                   \
    return ::kmv::conv::convert<__VA_ARGS__>(handle, dst, dst_len, err_pos, \
                                             src, src_len, 0);              \
  }
#define KMV_CONVERTER_BOM(name, ...)                                        \
  extern "C" KMV_API int32_t name(                                          \
      kmv_handle *handle, unsigned char **dst, uint64_t *dst_len,           \
      const unsigned char **err_pos, const unsigned char *src,              \
      uint64_t src_len, int bom) {                                          \
    return ::kmv::conv::convert<__VA_ARGS__>(handle, dst, dst_len, err_pos, \
                                             src, src_len, bom);            \
  }

#endif
