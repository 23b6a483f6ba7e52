// The stream layer's conversion step: copying with a byte-order mark added
// or removed, and converting between any two encodings with the EUC-JP
// variant tables selected in the handle.
#include <cstdlib>
#include <cstring>

#include "kmv.h"

namespace {

// ---- byte-order marks ------------------------------------------------

struct Mark {
  const unsigned char *bytes;
  uint64_t length;
};

constexpr unsigned char kMarkBe[] = {0xFE, 0xFF};
constexpr unsigned char kMarkLe[] = {0xFF, 0xFE};
constexpr unsigned char kMarkUtf8[] = {0xEF, 0xBB, 0xBF};

// The mark that a text of this type starts with, or that a text of its
// plain form lacks.
Mark mark_of(int32_t type) {
  switch (type) {
    case KMV_TYPE_UTF16BE:
    case KMV_TYPE_UTF16BE_BOM:
      return {kMarkBe, sizeof kMarkBe};
    case KMV_TYPE_UTF16LE:
    case KMV_TYPE_UTF16LE_BOM:
      return {kMarkLe, sizeof kMarkLe};
    case KMV_TYPE_UTF8:
    case KMV_TYPE_UTF8_BOM:
      return {kMarkUtf8, sizeof kMarkUtf8};
    default:
      return {nullptr, 0};
  }
}

bool carries_mark(int32_t type) {
  return type == KMV_TYPE_UTF16BE_BOM || type == KMV_TYPE_UTF16LE_BOM ||
         type == KMV_TYPE_UTF8_BOM;
}

// Joins `head` and the source into a new block; an empty result still gets
// a block of its own so that the caller can tell it from a failure.
int32_t join(unsigned char **dst, uint64_t *dst_len, Mark head,
             const unsigned char *src, uint64_t src_len) {
  const uint64_t length = head.length + src_len;
  auto *out =
      static_cast<unsigned char *>(std::malloc(length > 0 ? length : 1));
  if (out == nullptr) return KMV_EALLOC;
  if (head.length > 0) std::memcpy(out, head.bytes, head.length);
  if (src_len > 0) std::memcpy(out + head.length, src, src_len);
  *dst = out;
  *dst_len = length;
  return KMV_SUCCESS;
}

// ---- encoding families and the converter matrix ----------------------

enum Family { kNone = -1, kSjis, kJis, kEuc, kUnibe, kUnile, kUtf8, kFamilies };

Family family_of(int32_t type) {
  switch (type) {
    case KMV_TYPE_SJIS:
      return kSjis;
    case KMV_TYPE_JIS:
      return kJis;
    case KMV_TYPE_EUC:
    case KMV_TYPE_EUC1:
    case KMV_TYPE_EUC2:
    case KMV_TYPE_EUC3:
      return kEuc;
    case KMV_TYPE_UTF16BE:
    case KMV_TYPE_UTF16BE_BOM:
      return kUnibe;
    case KMV_TYPE_UTF16LE:
    case KMV_TYPE_UTF16LE_BOM:
      return kUnile;
    case KMV_TYPE_UTF8:
    case KMV_TYPE_UTF8_BOM:
      return kUtf8;
    default:
      return kNone;
  }
}

using Plain = kmv_converter_fn;
using WithMark = kmv_converter_bom_fn;

// A cell holds the converter for a source family (row) and a target
// family (column); targets that can carry a mark take the mark flag.
struct Converter {
  Plain plain;
  WithMark with_mark;
};

constexpr Converter kNoConverter = {nullptr, nullptr};

// clang-format off
constexpr Converter kMatrix[kFamilies][kFamilies] = {
    // to SJIS, JIS, EUC, UTF-16BE, UTF-16LE, UTF-8
    {kNoConverter, {kmv_sjisto_jis, nullptr}, {kmv_sjisto_euc, nullptr},
     {nullptr, kmv_sjisto_unibe}, {nullptr, kmv_sjisto_unile},
     {nullptr, kmv_sjisto_utf8}},
    {{kmv_jisto_sjis, nullptr}, kNoConverter, {kmv_jisto_euc, nullptr},
     {nullptr, kmv_jisto_unibe}, {nullptr, kmv_jisto_unile},
     {nullptr, kmv_jisto_utf8}},
    {{kmv_eucto_sjis, nullptr}, {kmv_eucto_jis, nullptr},
     {kmv_eucto_euc, nullptr}, {nullptr, kmv_eucto_unibe},
     {nullptr, kmv_eucto_unile}, {nullptr, kmv_eucto_utf8}},
    {{kmv_unibeto_sjis, nullptr}, {kmv_unibeto_jis, nullptr},
     {kmv_unibeto_euc, nullptr}, kNoConverter,
     {nullptr, kmv_unibeto_unile}, {nullptr, kmv_unibeto_utf8}},
    {{kmv_unileto_sjis, nullptr}, {kmv_unileto_jis, nullptr},
     {kmv_unileto_euc, nullptr}, {nullptr, kmv_unileto_unibe},
     kNoConverter, {nullptr, kmv_unileto_utf8}},
    {{kmv_utf8to_sjis, nullptr}, {kmv_utf8to_jis, nullptr},
     {kmv_utf8to_euc, nullptr}, {nullptr, kmv_utf8to_unibe},
     {nullptr, kmv_utf8to_unile}, kNoConverter},
};
// clang-format on

// ---- EUC-JP variants --------------------------------------------------

struct EucTables {
  const uint16_t *decode00;
  const uint64_t *decode00_size;
  const uint16_t *decode8f;
  const uint64_t *decode8f_size;
  const uint16_t *encode;
  const uint64_t *encode_size;
  const uint32_t *encode4;
  const uint64_t *encode4_size;
};

// Indexed by type code - KMV_TYPE_EUC.
const EucTables kEucVariants[] = {
    {euc2unibecommon_table00, &euc2unibecommon_table00_size, nullptr, nullptr,
     unibe2euccommon_table, &unibe2euccommon_table_size, nullptr, nullptr},
    {euc2unibe20932_table00, &euc2unibe20932_table00_size,
     euc2unibe20932_table8f, &euc2unibe20932_table8f_size, nullptr, nullptr,
     unibe2euc20932_table, &unibe2euc20932_table_size},
    {euc2unibe51932_table00, &euc2unibe51932_table00_size, nullptr, nullptr,
     unibe2euc51932_table, &unibe2euc51932_table_size, nullptr, nullptr},
    {euc2unibems_table00, &euc2unibems_table00_size, euc2unibems_table8f,
     &euc2unibems_table8f_size, nullptr, nullptr, unibe2eucms_table,
     &unibe2eucms_table_size},
};

uint64_t count_of(const uint64_t *size) {
  return size != nullptr ? *size : 0;
}

const EucTables *euc_variant(int32_t type) {
  if (type < KMV_TYPE_EUC || type > KMV_TYPE_EUC3) return nullptr;
  return &kEucVariants[type - KMV_TYPE_EUC];
}

void select_euc_tables(kmv_handle *handle, int32_t src_type, int32_t dst_type) {
  if (const EucTables *v = euc_variant(src_type)) {
    handle->euc2unibe_table00 = v->decode00;
    handle->euc2unibe_table00_size = count_of(v->decode00_size);
    handle->euc2unibe_table8f = v->decode8f;
    handle->euc2unibe_table8f_size = count_of(v->decode8f_size);
  }
  if (const EucTables *v = euc_variant(dst_type)) {
    handle->unibe2euc_table = v->encode;
    handle->unibe2euc_table_size = count_of(v->encode_size);
    handle->unibe2euc_table4 = v->encode4;
    handle->unibe2euc_table4_size = count_of(v->encode4_size);
  }
}

}  // namespace

extern "C" {

KMV_API int32_t _copy(unsigned char **dst, uint64_t *dst_len,
                      int32_t /*dst_type*/, const unsigned char *src,
                      uint64_t src_len, int32_t src_type) {
  if (dst == nullptr || dst_len == nullptr || (src == nullptr && src_len != 0))
    return KMV_EALLOC;
  const Mark mark = mark_of(src_type);
  if (carries_mark(src_type)) {
    // A text too short for its mark loses what it has, never more.
    const uint64_t skip = mark.length < src_len ? mark.length : src_len;
    return join(dst, dst_len, Mark{nullptr, 0}, src + skip, src_len - skip);
  }
  return join(dst, dst_len, mark, src, src_len);
}

KMV_API int32_t _convert(kmv_handle *handle, unsigned char **dst,
                         uint64_t *dst_len, int32_t dst_type,
                         const unsigned char *src, uint64_t src_len,
                         int32_t src_type) {
  *dst = nullptr;
  *dst_len = 0;
  // ASCII text is read and written as Shift_JIS.
  if (src_type == KMV_TYPE_ASCII) src_type = KMV_TYPE_SJIS;
  if (dst_type == KMV_TYPE_ASCII) dst_type = KMV_TYPE_SJIS;
  // Text already in the target encoding is copied; no table slot changes.
  if (src_type == dst_type) {
    return join(dst, dst_len, Mark{nullptr, 0}, src, src_len);
  }
  const Family from = family_of(src_type);
  const Family to = family_of(dst_type);
  if (from == kNone || to == kNone) return KMV_ECTYPE;
  const Converter &cell = kMatrix[from][to];
  if (cell.plain == nullptr && cell.with_mark == nullptr) return KMV_ECTYPE;

  select_euc_tables(handle, src_type, dst_type);
  const unsigned char *dropped = nullptr;
  if (cell.plain != nullptr) {
    return cell.plain(handle, dst, dst_len, &dropped, src, src_len);
  }
  return cell.with_mark(handle, dst, dst_len, &dropped, src, src_len,
                        carries_mark(dst_type) ? 1 : 0);
}

}  // extern "C"
