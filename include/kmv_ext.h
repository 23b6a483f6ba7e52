/*
 * kmv extensions: functions beyond the library's original interface, all
 * named kmvx_. Usable from C11 and C++.
 */
#ifndef KMV_EXT_H
#define KMV_EXT_H

#include "kmv.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The best guess at a text's encoding. */
typedef struct kmvx_guess_result {
  /* The guessed type code (KMV_TYPE_*), or -1 when no encoding fits. For
     an empty text it is 0 (KMV_TYPE_UNKNOWN), as kmv_buf answers. */
  int32_t type;
  /* The second most likely type code, or -1 when no other one fits. */
  int32_t runner_up;
  /* 0 to 1: 1 when kmv_buf decided, else the weight of the guess among
     the candidates that the text allows. */
  float confidence;
  /* kmv_buf's own answer for the text (a type code, a mask or -1). */
  int32_t detected;
} kmvx_guess_result;

/* Names one encoding for the text even where kmv_buf leaves several
   candidates (a mask) or narrows them by a preference. A decided answer
   of kmv_buf is never contradicted: it is the guess. Otherwise every
   candidate that the text allows is decoded and weighed by how Japanese
   text is made. expected_type is handed to kmv_buf as it is.
   Returns 0 (KMV_SUCCESS); KMV_EALLOC when handle is null or memory runs
   out; KMV_EREAD when out is null, or buf is null with a non-zero len.
   out is filled only on success. Like kmv_buf, it leaves the handle's EUC-JP
   slots at their defaults; the rest of the handle is untouched. */
KMV_API int32_t kmvx_guess(kmv_handle *handle, const unsigned char *buf,
                           uint64_t len, int32_t expected_type,
                           kmvx_guess_result *out);

/* Supplies the next bytes of a text: stores up to `most` bytes at `into`
   and returns how many, 0 at the end of the text, or a negative number when
   the text cannot be read. */
typedef int64_t (*kmvx_read_fn)(void *source, unsigned char *into,
                                uint64_t most);

/* kmv_buf's answer for the whole text that `read` supplies, the handle
   left as kmv_buf leaves it. The text comes in pieces into a buffer of a
   fixed size (256 KiB), so it may be of any length; reading stops early
   once the rest of the text can change nothing. Returns KMV_EREAD when
   read is null or fails; KMV_EALLOC when handle is null or the buffer
   cannot be allocated. */
KMV_API int32_t kmvx_detect_read(kmv_handle *handle, kmvx_read_fn read,
                                 void *source, int32_t expected_type,
                                 unsigned char ignore_hints);

#ifdef __cplusplus
}
#endif

#endif
