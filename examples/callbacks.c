/* Counts frames with a frame callback while the main thread waits, then
 * removes the callback and closes. The callback runs on the library's
 * streaming thread: keep it short, and never call QelClose, QelOpen* or
 * QelWaitImage from it. Run with QEL_PLATFORM=rig for the virtual cameras. */
#include <stdio.h>

#include "qel/qel.h"

/* Written only by the callback, read only after it is removed: removing it
 * waits for a running call, so no lock is needed. */
struct Counts {
  int frames;
  unsigned long long lastSequence;
};

/* QEL_CALL: the library's calling convention (stdcall on 32-bit Windows). */
static void QEL_CALL OnFrame(int32_t key, const unsigned char* frame, const QelFrameInfo* info,
                             void* user) {
  (void)key;
  (void)frame; /* valid only during this call: copy what you keep */
  struct Counts* counts = user;
  counts->frames += 1;
  counts->lastSequence = (unsigned long long)info->sequence;
}

int main(void) {
  if (QelOpenEx(0, 480, 270, 30.0, "YUY2", QEL_OPEN_FAST) < 0) {
    char reason[256];
    QelLastError(reason, sizeof reason);
    fprintf(stderr, "open: %s\n", reason);
    return 1;
  }
  struct Counts counts = {0, 0};
  QelSetFrameCallback(0, OnFrame, &counts);
  /* Any thread may receive frames meanwhile: here the main thread waits
   * for ten. */
  static unsigned char frame[480 * 270 * 2];
  QelFrameInfo info = {.size = sizeof info};
  int received = 0;
  while (received < 10 && QelWaitImage(0, frame, sizeof frame, &info, 1000) == 1) ++received;
  /* Removing the callback waits for a running call: counts may go after it. */
  QelSetFrameCallback(0, NULL, NULL);
  QelClose(0);
  printf("the callback saw %d frames, the last of them number %llu\n", counts.frames,
         counts.lastSequence);
  return counts.frames > 0 ? 0 : 1;
}
