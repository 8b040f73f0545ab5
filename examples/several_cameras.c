/* Opens every camera of the family at once, each under its listing
 * position, reads each one's serial number and grabs a frame from each.
 * Run with QEL_PLATFORM=rig for the virtual cameras. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qel/qel.h"

int main(void) {
  char list[4096];
  const int32_t count = QelGetDeviceWithSerialNo(list, sizeof list);
  if (count < 0) return 1;
  /* "QEL5#0000ABCD,QEL2#00C0FFEE,USB Camera": a camera of the family carries
   * "#" and its serial text. */
  int32_t opened[16];
  int cameras = 0;
  char* entry = strtok(list, ",");
  for (int32_t key = 0; key < count && entry != NULL && cameras < 16;
       ++key, entry = strtok(NULL, ",")) {
    if (strchr(entry, '#') == NULL) continue;
    /* The smallest size every model offers at 30 frames a second. */
    int32_t width = 1280, height = 720;
    if (strncmp(entry, "QEL5#", 5) == 0) width = 480, height = 270;
    if (QelOpenEx(key, width, height, 30.0, "YUY2", QEL_OPEN_FAST) == 0) {
      opened[cameras++] = key;
      printf("key %d: %s open at %dx%d\n", key, entry, width, height);
    }
  }
  int failures = 0;
  for (int i = 0; i < cameras; ++i) {
    uint32_t serial = 0;
    int32_t width = 0, height = 0;
    QelGetStreamFormat(opened[i], &width, &height, NULL, NULL, 0);
    unsigned char* frame = malloc((size_t)width * (size_t)height * 2);
    QelFrameInfo info = {.size = sizeof info};
    const int32_t got =
        frame ? QelWaitImage(opened[i], frame, width * height * 2, &info, 2000) : -1;
    if (QelGetSerialNo(opened[i], &serial) && got == 1) {
      printf("key %d: serial %08X, frame %llu of %d bytes\n", opened[i], (unsigned)serial,
             (unsigned long long)info.sequence, info.bytes);
    } else {
      ++failures;
    }
    free(frame);
  }
  for (int i = 0; i < cameras; ++i) QelClose(opened[i]);
  return cameras > 0 && failures == 0 ? 0 : 1;
}
