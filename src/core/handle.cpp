#include <cstdlib>

#include "core/settings.h"
#include "kmv.h"

namespace kmv {
int32_t max_buf_size = kDefaultMaxBufSize;
}

extern "C" {

KMV_API kmv_handle *create_kmv(void) {
  auto *h = static_cast<kmv_handle *>(std::calloc(1, sizeof(kmv_handle)));
  if (h == nullptr) return nullptr;
  h->jis2unibe_table = jis2unibe50221_table;
  h->sjis2unibe_table = sjis2unibe932_table;
  h->euc2unibe_table00 = euc2unibecommon_table00;
  h->euc2unibe_table8f = nullptr;
  h->unibe2jis_table = unibe2jis50221_table;
  h->unibe2sjis_table = unibe2sjis932_table;
  h->unibe2euc_table = unibe2euccommon_table;
  h->unibe2euc_table4 = nullptr;
  h->unibe_def_table = unibe_def_table;
  h->jis2unibe_table_size = jis2unibe50221_table_size;
  h->sjis2unibe_table_size = sjis2unibe932_table_size;
  h->euc2unibe_table00_size = euc2unibecommon_table00_size;
  h->euc2unibe_table8f_size = 0;
  h->unibe2jis_table_size = unibe2jis50221_table_size;
  h->unibe2sjis_table_size = unibe2sjis932_table_size;
  h->unibe2euc_table_size = unibe2euccommon_table_size;
  h->unibe2euc_table4_size = 0;
  h->unibe_def_table_size = unibe_def_table_size;
  h->version = kmv::kVersion;
  return h;
}

KMV_API void release_kmv(kmv_handle *handle) {
  std::free(handle);
}

KMV_API int64_t kmv_get_max_buf_size(void) {
  return kmv::max_buf_size;
}

KMV_API int64_t kmv_set_max_buf_size(uint64_t size) {
  if (size == 0) {
    kmv::max_buf_size = kmv::kDefaultMaxBufSize;
  } else if (size < static_cast<uint64_t>(kmv::kMinMaxBufSize)) {
    kmv::max_buf_size = kmv::kMinMaxBufSize;
  } else {
    // The setting is a signed 32-bit number: larger requests keep their low
    // 32 bits.
    kmv::max_buf_size = static_cast<int32_t>(static_cast<uint32_t>(size));
  }
  return kmv::max_buf_size;
}

KMV_API float kmv_get_version(void) {
  return kmv::kVersion;
}

}  // extern "C"
