// The buffer detector over a text that comes in pieces. The readings go
// over the buffer side by side, each to the same stop; the bytes from just
// before the first of them that goes on are kept for the next fill.
#include "detect/pieces_detector.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"

namespace {

using namespace kmv::detect;

// The handle's EUC-JP slots, put back where kmv_buf would not have touched
// them (a text with no byte of 0x80 or above, or one that an escape
// sequence decides): the EUC-JP reading here runs before that is known.
class EucSlots {
 public:
  explicit EucSlots(const kmv_handle *h)
      : t00_(h->euc2unibe_table00),
        t8f_(h->euc2unibe_table8f),
        n00_(h->euc2unibe_table00_size),
        n8f_(h->euc2unibe_table8f_size) {}

  void restore(kmv_handle *h) const {
    h->euc2unibe_table00 = t00_;
    h->euc2unibe_table8f = t8f_;
    h->euc2unibe_table00_size = n00_;
    h->euc2unibe_table8f_size = n8f_;
  }

 private:
  const uint16_t *t00_, *t8f_;
  uint64_t n00_, n8f_;
};

class Pieces {
 public:
  Pieces(kmvx_read_fn read, void *source, unsigned char *buf, size_t size)
      : read_(read),
        source_(source),
        buf_(buf),
        size_(size),
        window_{buf, 0, 0, 0, false} {}

  const Window &window() const { return window_; }

  // Reads until the buffer is full or the text ends; false when a read
  // fails or says it stored more than it was given room for.
  bool fill() {
    Window &w = window_;
    while (w.len < size_ && !w.ends) {
      const int64_t n = read_(source_, buf_ + w.len, size_ - w.len);
      if (n < 0 || static_cast<uint64_t>(n) > size_ - w.len) return false;
      w.len += static_cast<size_t>(n);
      w.ends = n == 0;
    }
    w.stop = w.ends ? w.len : w.len - kLookAhead;
    return true;
  }

  // Drops the bytes before offset `from` of the text but two (a UTF-16
  // unit looks back one unit), keeping the window's start even.
  void keep_from(uint64_t from) {
    Window &w = window_;
    const uint64_t keep =
        std::max(w.base, (from - std::min<uint64_t>(from, 2)) & ~uint64_t{1});
    const auto drop = static_cast<size_t>(keep - w.base);
    std::memmove(buf_, buf_ + drop, w.len - drop);
    w.base = keep;
    w.len -= drop;
  }

 private:
  kmvx_read_fn read_;
  void *source_;
  unsigned char *buf_;
  size_t size_;
  Window window_;
};

// Where the first reading that goes on stands; none when all have
// finished.
std::optional<uint64_t> first_going_on(const Readings &r) {
  std::optional<uint64_t> first;
  for (const Progress *p : {static_cast<const Progress *>(&r.first),
                            static_cast<const Progress *>(&r.euc),
                            static_cast<const Progress *>(&r.utf8),
                            static_cast<const Progress *>(&r.utf16)}) {
    if (!p->done) first = std::min(first.value_or(p->at), p->at);
  }
  return first;
}

void read_window(Readings &r, const Window &w) {
  if (!r.first.done) r.first.read(w);
  if (r.first.jis()) return;
  if (!r.euc.done) r.euc.read(w);
  if (!r.utf8.done) r.utf8.read(w);
  if (!r.utf16.done) r.utf16.read(w);
}

// The readings to the end of the text, or until all have finished (then
// the rest of the text changes nothing); false when a read fails.
bool read_all(Readings &r, Pieces &pieces) {
  while (true) {
    read_window(r, pieces.window());
    if (r.first.jis() || pieces.window().ends) return true;
    const std::optional<uint64_t> from = first_going_on(r);
    if (!from) return true;
    pieces.keep_from(*from);
    if (!pieces.fill()) return false;
  }
}

}  // namespace

namespace kmv::detect {

int32_t detect_pieces(kmv_handle *h, kmvx_read_fn read, void *source,
                      int32_t expected_type, bool ignore_hints,
                      size_t buffer_size) {
  const std::unique_ptr<unsigned char[]> buf(
      new (std::nothrow) unsigned char[buffer_size]);
  if (buf == nullptr) return KMV_EALLOC;
  Pieces pieces(read, source, buf.get(), buffer_size);
  if (!pieces.fill()) return KMV_EREAD;
  const Window &first = pieces.window();
  if (first.len == 0) return 0;
  if (const int32_t bom = bom_type(first.buf, first.len); bom != 0) return bom;
  if (expected_type == KMV_TYPE_ASCII) expected_type = KMV_TYPE_UTF8;
  const EucSlots slots(h);
  store_euc_defaults(h);
  Readings r(h, first.ends ? first.len : SIZE_MAX);
  if (!read_all(r, pieces)) {
    slots.restore(h);
    return KMV_EREAD;
  }
  if (r.first.jis()) {
    slots.restore(h);
    return KMV_TYPE_JIS;
  }
  const int32_t answer = r.decide(expected_type, ignore_hints);
  if (r.first.all_ascii()) {
    slots.restore(h);
  } else {
    store_euc_defaults(h);
  }
  return answer;
}

}  // namespace kmv::detect

extern "C" {

KMV_API int32_t kmvx_detect_read(kmv_handle *handle, kmvx_read_fn read,
                                 void *source, int32_t expected_type,
                                 unsigned char ignore_hints) {
  if (handle == nullptr) return KMV_EALLOC;
  if (read == nullptr) return KMV_EREAD;
  return kmv::detect::detect_pieces(handle, read, source, expected_type,
                                    ignore_hints != 0,
                                    kmv::detect::kPiecesBuffer);
}

}  // extern "C"
