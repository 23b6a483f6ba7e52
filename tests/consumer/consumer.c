/* Converts a short EUC-JP text with the C interface. */
#include <kmv.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(void) {
  static const unsigned char euc[] = {0xc6, 0xfc, 0xcb, 0xdc}; /* 日本 */
  static const unsigned char want[] = {0xe6, 0x97, 0xa5, 0xe6, 0x9c, 0xac};
  kmv_handle *h = create_kmv();
  unsigned char *out = NULL;
  uint64_t out_len = 0;
  int ok;
  if (h == NULL) return 1;
  ok = kmv_eucto_utf8(h, &out, &out_len, NULL, euc, sizeof euc, 0) == KMV_SUCCESS &&
       out_len == sizeof want && memcmp(out, want, sizeof want) == 0 &&
       h->err_count == 0;
  if (out != NULL) printf("%.*s\n", (int)out_len, (const char *)out);
  free(out);
  release_kmv(h);
  return ok ? 0 : 1;
}
