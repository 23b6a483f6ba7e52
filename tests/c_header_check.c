/* Compiled as C11: the public header must be valid C and link as such. */
#include "kmv.h"

#include <stdio.h>

int main(void) {
  kmv_handle *h = create_kmv();
  if (h == NULL) return 1;
  char name[14];
  kmv_typeto_name(name, KMV_TYPE_SJIS);
  int ok = h->sjis2unibe_table == sjis2unibe932_table &&
           &_typeNames[0] == &typeNames[0] && typeNamesSize == 15;
  release_kmv(h);
  printf("%s %d\n", name, ok);
  return ok ? 0 : 1;
}
