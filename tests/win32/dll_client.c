/* An application of the DLL: C, linked through the import library, no
 * knowledge of the library's internals. Prints the version text. */
#include <stdio.h>

#include "qel/qel.h"

int main(void) {
  char text[64];
  if (!QelDLLVersion(text, (int32_t)sizeof text)) {
    fputs("QelDLLVersion failed\n", stderr);
    return 1;
  }
  puts(text);
  /* Too small a buffer is refused. */
  return QelDLLVersion(text, 8) == 0 ? 0 : 1;
}
