// The buffer detector: a byte-order mark, then the readings, then the
// decision.
#include <cstddef>
#include <cstdint>

#include "detect/candidates.h"
#include "detect/passes.h"
#include "detect/readings.h"
#include "kmv.h"

namespace kmv::detect {

int32_t bom_type(const unsigned char *buf, uint64_t len) {
  if (len >= 2 && buf[0] == 0xFE && buf[1] == 0xFF) return KMV_TYPE_UTF16BE_BOM;
  if (len >= 2 && buf[0] == 0xFF && buf[1] == 0xFE) return KMV_TYPE_UTF16LE_BOM;
  if (len >= 3 && buf[0] == 0xEF && buf[1] == 0xBB && buf[2] == 0xBF) {
    return KMV_TYPE_UTF8_BOM;
  }
  return 0;
}

int32_t Readings::decide(int32_t expected_type, bool ignore_hints) {
  Evidence e;
  first.tell(e);
  sjis_verdict(e);
  if (e.all_ascii) {
    e.candidates &= kCandAscii | kCandUtf16;
  } else {
    euc.tell(expected_type, e);
    utf8.tell(e);
  }
  utf16.tell(e);
  return final_decision(e, expected_type, ignore_hints);
}

}  // namespace kmv::detect

extern "C" {

KMV_API int32_t kmv_buf(kmv_handle *handle, const unsigned char *buf,
                        uint64_t buf_len, int32_t expected_type,
                        unsigned char ignore_hints) {
  using namespace kmv::detect;
  if (buf_len == 0) return 0;
  if (handle == nullptr || buf == nullptr) return kNoCandidate;
  if (const int32_t bom = bom_type(buf, buf_len); bom != 0) return bom;
  if (expected_type == KMV_TYPE_ASCII) expected_type = KMV_TYPE_UTF8;
  const size_t len = buf_len;
  const Window whole = Window::whole(buf, len);
  Readings r(handle, len);
  r.first.read(whole);
  if (r.first.jis()) return KMV_TYPE_JIS;
  if (!r.first.all_ascii()) {
    store_euc_defaults(handle);
    r.euc.read(whole);
    store_euc_defaults(handle);
    r.utf8.read(whole);
  }
  r.utf16.read(whole);
  return r.decide(expected_type, ignore_hints != 0);
}

}  // extern "C"
