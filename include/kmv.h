/*
 * kmv: detection and conversion of Japanese text encodings.
 *
 * The whole public C interface: the conversion handle, encoding type codes
 * and masks, status codes, the exported tables and every function.
 * Usable from C11 and C++.
 *
 * Ownership: every buffer the library hands out was allocated with malloc
 * and is released by the caller with free. Converter output carries no
 * terminating zero.
 */
#ifndef KMV_H
#define KMV_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(KMV_BUILDING)
#define KMV_API __declspec(dllexport)
#else
#define KMV_API
#endif
#else
#if defined(KMV_BUILDING)
#define KMV_API __attribute__((visibility("default")))
#else
#define KMV_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------ */
/* Encoding type codes (below 64) and masks (64 and above).            */
/* ------------------------------------------------------------------ */

enum {
  KMV_TYPE_UNKNOWN = 0,
  KMV_TYPE_ASCII = 1,
  KMV_TYPE_JIS = 2,
  KMV_TYPE_SJIS = 4,
  KMV_TYPE_EUC = 5,
  KMV_TYPE_EUC1 = 6,
  KMV_TYPE_EUC2 = 7,
  KMV_TYPE_EUC3 = 8,
  KMV_TYPE_UTF16BE = 11,
  KMV_TYPE_UTF16BE_BOM = 12,
  KMV_TYPE_UTF16LE = 13,
  KMV_TYPE_UTF16LE_BOM = 14,
  KMV_TYPE_UTF8 = 15,
  KMV_TYPE_UTF8_BOM = 16
};

#define KMV_MASK_ASCII 0x40u
#define KMV_MASK_JIS 0x80u
#define KMV_MASK_SJIS 0x100u
#define KMV_MASK_EUC 0x200u
#define KMV_MASK_EUC1 0x400u
#define KMV_MASK_EUC2 0x800u
#define KMV_MASK_EUC3 0x1000u
#define KMV_MASK_UTF16BE 0x2000u
#define KMV_MASK_UTF16BE_BOM 0x4000u
#define KMV_MASK_UTF16LE 0x8000u
#define KMV_MASK_UTF16LE_BOM 0x10000u
#define KMV_MASK_UTF8 0x20000u
#define KMV_MASK_UTF8_BOM 0x40000u

/* A detector result of this value or more is a mask of candidates. */
#define KMV_MASK_MIN 64

/* ------------------------------------------------------------------ */
/* Status codes.                                                      */
/* ------------------------------------------------------------------ */

enum {
  KMV_SUCCESS = 0,
  KMV_EOF = -1,
  KMV_ENOTEXISTS = -2,
  KMV_ENOTFILE = -3,
  KMV_EALLOC = -4,
  KMV_EROPEN = -5,
  KMV_EWOPEN = -6,
  KMV_EREAD = -7,
  KMV_EWRITE = -8,
  KMV_EIOMODE = -10,
  KMV_EIOFDRANGE = -11,
  KMV_EIONOTOPEN = -12,
  KMV_EIOMAX = -13,
  KMV_ECTYPE = -20,
  KMV_EBOM = -21,
  KMV_EUEXPEOD = -22,
  KMV_ECHAR = -23
};

/* ISO-2022-JP shift states. */
enum { KMV_JIS_ASCII = 0, KMV_JIS_TWO_BYTE = 1, KMV_JIS_KATAKANA = 2 };

/* ------------------------------------------------------------------ */
/* Conversion handle. The field order and widths are public: a caller  */
/* selects an EUC-JP variant by storing table pointers and counts.     */
/* ------------------------------------------------------------------ */

typedef struct kmv_handle {
  const uint16_t *jis2unibe_table;
  const uint16_t *sjis2unibe_table;
  const uint16_t *euc2unibe_table00;
  const uint16_t *euc2unibe_table8f;
  const uint16_t *unibe2jis_table;
  const uint16_t *unibe2sjis_table;
  const uint16_t *unibe2euc_table;
  const uint32_t *unibe2euc_table4;
  const uint16_t *unibe_def_table;
  uint64_t jis2unibe_table_size;
  uint64_t sjis2unibe_table_size;
  uint64_t euc2unibe_table00_size;
  uint64_t euc2unibe_table8f_size;
  uint64_t unibe2jis_table_size;
  uint64_t unibe2sjis_table_size;
  uint64_t unibe2euc_table_size;
  uint64_t unibe2euc_table4_size;
  uint64_t unibe_def_table_size;
  int32_t last_errno;
  /* Per-call state of the last conversion. */
  const unsigned char *src_top;
  const unsigned char *err_first;
  const unsigned char *err_last;
  uint32_t err_count;
  int32_t err_first_code;
  int32_t err_last_code;
  float version;
} kmv_handle;

KMV_API kmv_handle *create_kmv(void);
KMV_API void release_kmv(kmv_handle *handle);
KMV_API int64_t kmv_get_max_buf_size(void);
KMV_API int64_t kmv_set_max_buf_size(uint64_t size);
KMV_API float kmv_get_version(void);

/* ------------------------------------------------------------------ */
/* Encoding types and names.                                          */
/* ------------------------------------------------------------------ */

typedef struct kmv_type_name {
  uint32_t mask;
  int32_t type;
  const char *name;
} kmv_type_name;

KMV_API extern const kmv_type_name typeNames[15];
KMV_API extern const kmv_type_name _typeNames[15];
KMV_API extern const uint64_t typeNamesSize;
KMV_API extern const uint64_t _typeNamesSize;

/* text must hold 14 bytes; a null text gets nothing and 0 is returned. */
KMV_API int32_t kmv_typeto_name(char *text, int32_t type);
/* A null name matches nothing: KMV_ECTYPE. */
KMV_API int32_t kmv_nameto_type(const char *name);
/* A null text gets nothing and 0 is returned (also kmv_all_type_names). */
KMV_API int32_t kmv_multi_type_names(char *text, uint64_t text_size,
                                     int32_t value);
KMV_API int32_t kmv_all_type_names(char *text, uint64_t text_size);
KMV_API int32_t kmv_all_type_names_length(void);

/* ------------------------------------------------------------------ */
/* Status messages.                                                   */
/* ------------------------------------------------------------------ */

typedef struct kmv_status_message {
  int32_t code;
  const char *message; /* UTF-8, "NAME:description" */
} kmv_status_message;

KMV_API extern const kmv_status_message satusMessage[17];
KMV_API extern const kmv_status_message _satusMessage[17];
KMV_API extern const uint64_t satusMessageSize;
KMV_API extern const uint64_t _satusMessageSize;

/* Re-encodes the UTF-8 text in buf in place into conv_type (2 JIS, 4 SJIS,
 * 5 EUC; anything else leaves it as UTF-8); returns the new length. Writes
 * nothing beyond buf[len]: a re-encoding longer than len bytes is cut
 * before a whole character (ISO-2022-JP back in its ASCII mode) and
 * terminated there. A null buf gives 0. */
KMV_API int32_t _convert_buf(kmv_handle *handle, char *buf, uint64_t len,
                             int32_t conv_type);
/* text must hold 60 bytes; a null text gets nothing and 0 is returned. */
KMV_API int32_t kmv_statusto_message(kmv_handle *handle, char *text,
                                     int32_t status, int32_t conv_type);
KMV_API int32_t kmv_get_strerror(kmv_handle *handle, int32_t errnum,
                                 char *text, uint64_t text_size,
                                 int32_t conv_type);

/* ------------------------------------------------------------------ */
/* Detection.                                                         */
/* ------------------------------------------------------------------ */

KMV_API unsigned char is_sjis_possible(const kmv_handle *handle,
                                       uint32_t lead);
KMV_API unsigned char is_euc_possible(const kmv_handle *handle,
                                      uint32_t lead);
KMV_API unsigned char is_euc_possible8f(const kmv_handle *handle,
                                        uint32_t second);
KMV_API unsigned char is_unibe_possible(const kmv_handle *handle,
                                        uint32_t lead);
KMV_API unsigned char is_unile_possible(const kmv_handle *handle,
                                        uint32_t lead);
KMV_API int32_t check_euc(kmv_handle *handle, int32_t *euc_valid,
                          int32_t *euc_invalid, uint32_t *end_flags,
                          uint32_t *preference, unsigned char *euc_clean,
                          int32_t expected_type, const unsigned char *buf,
                          uint64_t buf_len);

/* A result below 64 is a type code, 64 or more a mask of candidates, -1
 * means that no encoding fits. */
KMV_API int32_t kmv_buf(kmv_handle *handle, const unsigned char *buf,
                        uint64_t buf_len, int32_t expected_type,
                        unsigned char ignore_hints);
KMV_API int32_t _detect(int32_t expected_type, uint32_t candidates,
                        uint32_t end_flags, uint32_t preference);

/* A null buf or buf_len: KMV_EALLOC, nothing read. */
KMV_API int32_t kmv_read_file(kmv_handle *handle, unsigned char **buf,
                              uint64_t *buf_len, const char *path);
/* A null buf with a buf_len above 0: KMV_EWRITE, the file left untouched. */
KMV_API int32_t kmv_write_file(kmv_handle *handle, const unsigned char *buf,
                               uint64_t buf_len, const char *path);
KMV_API int32_t kmv_path_keep(kmv_handle *handle, unsigned char **buf,
                              uint64_t *buf_len, const char *path,
                              int32_t expected_type,
                              unsigned char ignore_hints);
KMV_API int32_t kmv_path(kmv_handle *handle, const char *path,
                         int32_t expected_type, unsigned char ignore_hints);
KMV_API int32_t kmv_cmp_bom(int32_t src_type, int32_t dst_type);
KMV_API int32_t kmv_detect_by(int32_t value);

/* ------------------------------------------------------------------ */
/* Mapping tables. An entry of 0, or an index at or beyond the count,  */
/* means no mapping.                                                  */
/* ------------------------------------------------------------------ */

#define KMV_DECLARE_TABLE(type, name, count)                                  \
  KMV_API extern const type name[count];                                      \
  KMV_API extern const type _##name[count];                                   \
  KMV_API extern const uint64_t name##_size;                                  \
  KMV_API extern const uint64_t _##name##_size;

KMV_DECLARE_TABLE(uint16_t, sjis2unibe932_table, 64588)
KMV_DECLARE_TABLE(uint16_t, jis2unibe50221_table, 31871)
KMV_DECLARE_TABLE(uint16_t, euc2unibecommon_table00, 62631)
KMV_DECLARE_TABLE(uint16_t, euc2unibe20932_table00, 62631)
KMV_DECLARE_TABLE(uint16_t, euc2unibe20932_table8f, 60900)
KMV_DECLARE_TABLE(uint16_t, euc2unibe51932_table00, 64767)
KMV_DECLARE_TABLE(uint16_t, euc2unibems_table00, 65279)
KMV_DECLARE_TABLE(uint16_t, euc2unibems_table8f, 65279)
KMV_DECLARE_TABLE(uint16_t, unibe2sjis932_table, 65510)
KMV_DECLARE_TABLE(uint16_t, unibe2jis50221_table, 65510)
KMV_DECLARE_TABLE(uint16_t, unibe2euccommon_table, 65510)
KMV_DECLARE_TABLE(uint32_t, unibe2euc20932_table, 65510)
KMV_DECLARE_TABLE(uint16_t, unibe2euc51932_table, 65510)
KMV_DECLARE_TABLE(uint32_t, unibe2eucms_table, 65510)
KMV_DECLARE_TABLE(uint16_t, unibe_def_table, 65536)

#undef KMV_DECLARE_TABLE

/* ------------------------------------------------------------------ */
/* Converters: kmv_<source>to_<target>. The result is 0, KMV_EALLOC or */
/* KMV_EUEXPEOD (the converted prefix is handed out and *err_pos names */
/* the incomplete character). Unconvertible characters are replaced    */
/* and recorded in the handle's per-call state.                       */
/* ------------------------------------------------------------------ */

/* A converter without and with the bom flag, for tables of converters. */
typedef int32_t (*kmv_converter_fn)(kmv_handle *handle, unsigned char **dst,
                                    uint64_t *dst_len,
                                    const unsigned char **err_pos,
                                    const unsigned char *src,
                                    uint64_t src_len);
typedef int32_t (*kmv_converter_bom_fn)(kmv_handle *handle,
                                        unsigned char **dst,
                                        uint64_t *dst_len,
                                        const unsigned char **err_pos,
                                        const unsigned char *src,
                                        uint64_t src_len, int bom);

#define KMV_DECLARE_CONVERTER(name)                                           \
  KMV_API int32_t name(kmv_handle *handle, unsigned char **dst,               \
                       uint64_t *dst_len, const unsigned char **err_pos,      \
                       const unsigned char *src, uint64_t src_len);
#define KMV_DECLARE_CONVERTER_BOM(name)                                       \
  KMV_API int32_t name(kmv_handle *handle, unsigned char **dst,               \
                       uint64_t *dst_len, const unsigned char **err_pos,      \
                       const unsigned char *src, uint64_t src_len, int bom);

KMV_DECLARE_CONVERTER(kmv_eucto_euc)
KMV_DECLARE_CONVERTER(kmv_eucto_jis)
KMV_DECLARE_CONVERTER(kmv_eucto_sjis)
KMV_DECLARE_CONVERTER_BOM(kmv_eucto_unibe)
KMV_DECLARE_CONVERTER_BOM(kmv_eucto_unile)
KMV_DECLARE_CONVERTER_BOM(kmv_eucto_utf8)

KMV_DECLARE_CONVERTER(kmv_jisto_euc)
KMV_DECLARE_CONVERTER(kmv_jisto_sjis)
KMV_DECLARE_CONVERTER_BOM(kmv_jisto_unibe)
KMV_DECLARE_CONVERTER_BOM(kmv_jisto_unile)
KMV_DECLARE_CONVERTER_BOM(kmv_jisto_utf8)

KMV_DECLARE_CONVERTER(kmv_sjisto_euc)
KMV_DECLARE_CONVERTER(kmv_sjisto_jis)
KMV_DECLARE_CONVERTER_BOM(kmv_sjisto_unibe)
KMV_DECLARE_CONVERTER_BOM(kmv_sjisto_unile)
KMV_DECLARE_CONVERTER_BOM(kmv_sjisto_utf8)

KMV_DECLARE_CONVERTER(kmv_unibeto_euc)
KMV_DECLARE_CONVERTER(kmv_unibeto_jis)
KMV_DECLARE_CONVERTER(kmv_unibeto_sjis)
KMV_DECLARE_CONVERTER_BOM(kmv_unibeto_unile)
KMV_DECLARE_CONVERTER_BOM(kmv_unibeto_utf8)

KMV_DECLARE_CONVERTER(kmv_unileto_euc)
KMV_DECLARE_CONVERTER(kmv_unileto_jis)
KMV_DECLARE_CONVERTER(kmv_unileto_sjis)
KMV_DECLARE_CONVERTER_BOM(kmv_unileto_unibe)
KMV_DECLARE_CONVERTER_BOM(kmv_unileto_utf8)

KMV_DECLARE_CONVERTER(kmv_utf8to_euc)
KMV_DECLARE_CONVERTER(kmv_utf8to_jis)
KMV_DECLARE_CONVERTER(kmv_utf8to_sjis)
KMV_DECLARE_CONVERTER_BOM(kmv_utf8to_unibe)
KMV_DECLARE_CONVERTER_BOM(kmv_utf8to_unile)

#undef KMV_DECLARE_CONVERTER
#undef KMV_DECLARE_CONVERTER_BOM

/* Line scanners: copy one line (without its end) into line, which must
 * hold avail bytes; return the number of characters or a negative status. */
#define KMV_DECLARE_SCANNER(name)                                             \
  KMV_API int32_t name(const kmv_handle *handle, unsigned char *line,         \
                       uint64_t *line_len, const unsigned char **pos,         \
                       uint64_t avail);

KMV_DECLARE_SCANNER(kmv_euc_strln)
KMV_DECLARE_SCANNER(kmv_sjis_strln)
KMV_DECLARE_SCANNER(kmv_unibe_strln)
KMV_DECLARE_SCANNER(kmv_unile_strln)
KMV_DECLARE_SCANNER(kmv_utf8_strln)

#undef KMV_DECLARE_SCANNER

KMV_API int32_t kmv_jis_strln(const kmv_handle *handle, unsigned char *line,
                              uint64_t *line_len, const unsigned char **pos,
                              uint64_t avail, uint32_t *state);

/* ------------------------------------------------------------------ */
/* Stream layer: up to 100 descriptors holding converted file text.   */
/* ------------------------------------------------------------------ */

#define KMV_IO_MAX_FILES 100

KMV_API int32_t kmv_io_open(const char *path, int32_t mode,
                            int32_t expected_type, int32_t dst_type,
                            int32_t *detected_type);
KMV_API int32_t kmv_io_close(int32_t fd);
KMV_API int32_t _getTIO(void);
KMV_API kmv_handle *_get_kmv(int32_t fd);

KMV_API int32_t kmv_io_get_size(int32_t fd);
KMV_API int32_t kmv_io_get_stype(int32_t fd);
KMV_API int32_t kmv_io_get_dtype(int32_t fd);
KMV_API int32_t kmv_io_get_errno(int32_t fd);
KMV_API int32_t kmv_io_get_strerror(int32_t fd, int32_t errnum, char *text,
                                    int32_t text_size, int32_t conv_type);
KMV_API int32_t kmv_io_is_can_read(int32_t mode);
KMV_API int32_t kmv_io_is_can_write(int32_t mode);
KMV_API int32_t kmv_io_is_decided(void);
KMV_API int32_t kmv_io_get_ctype(void);
KMV_API int32_t kmv_io_get_ope_type(void);

/* A null dst or dst_len, or a null src with a src_len above 0: KMV_EALLOC. */
KMV_API int32_t _copy(unsigned char **dst, uint64_t *dst_len,
                      int32_t dst_type, const unsigned char *src,
                      uint64_t src_len, int32_t src_type);
KMV_API int32_t _convert(kmv_handle *handle, unsigned char **dst,
                         uint64_t *dst_len, int32_t dst_type,
                         const unsigned char *src, uint64_t src_len,
                         int32_t src_type);

KMV_API int64_t kmv_io_get_max_buf_size(void);
KMV_API int64_t kmv_io_set_max_buf_size(int32_t size);
KMV_API int32_t kmv_io_detect_by(int32_t value);
KMV_API int32_t kmv_io_cmp_bom(int32_t src_type, int32_t dst_type);
KMV_API int32_t kmv_io_typeto_name(char *text, int32_t type);
KMV_API int32_t kmv_io_nameto_type(const char *name);
KMV_API int32_t kmv_io_multi_type_names(char *text, int32_t text_size,
                                        int32_t value);
KMV_API int32_t kmv_io_all_type_names(char *text, int32_t text_size);
KMV_API int32_t kmv_io_all_type_names_length(void);
KMV_API int32_t kmv_io_statusto_message(char *text, int32_t status,
                                        int32_t conv_type);

KMV_API int32_t kmv_io_get_line(int32_t fd, unsigned char *line,
                                int32_t line_size, int32_t *line_len);
KMV_API int32_t kmv_io_rewind(int32_t fd);

KMV_API int32_t _check_stat(const char *path);
KMV_API int32_t kmv_io_path(const char *path, int32_t expected_type);
KMV_API int32_t _write_file(const unsigned char *buf, uint64_t buf_len,
                            const char *path, int32_t dst_type, int32_t bom);
KMV_API int32_t kmv_io_convert_file(const char *src_path,
                                    int32_t expected_type,
                                    const char *dst_path, int32_t dst_type);

#ifdef __cplusplus
}
#endif

#endif /* KMV_H */
