/* Grabs one frame from the first camera and saves its bytes as grab.raw.
 * Run with QEL_PLATFORM=rig in the environment it grabs from the virtual
 * camera rig instead of an attached camera. */
#include <stdio.h>
#include <stdlib.h>

#include "qel/qel.h"

int main(void) {
  if (QelOpenEx(0, 480, 270, 30.0, "YUY2", QEL_OPEN_FAST) < 0) {
    char reason[256];
    QelLastError(reason, sizeof reason);
    fprintf(stderr, "open: %s\n", reason);
    return 1;
  }
  int32_t size = 480 * 270 * 2;
  unsigned char* buffer = malloc((size_t)size);
  QelFrameInfo info = {.size = sizeof info};
  int32_t got = buffer ? QelWaitImage(0, buffer, size, &info, 2000) : -1;
  if (got == 1) {
    FILE* out = fopen("grab.raw", "wb");
    if (out && fwrite(buffer, 1, (size_t)info.bytes, out) == (size_t)info.bytes) {
      printf("frame %llu: %dx%d %s, %d bytes -> grab.raw\n", (unsigned long long)info.sequence,
             info.width, info.height, info.format, info.bytes);
    } else {
      got = -1;
    }
    if (out) fclose(out);
  } else {
    char reason[256];
    QelLastError(reason, sizeof reason);
    fprintf(stderr, "no frame: %s\n", got == 0 ? "timed out" : reason);
  }
  free(buffer);
  QelClose(0);
  return got == 1 ? 0 : 1;
}
