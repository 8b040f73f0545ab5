/* Rewrites the firmware of the camera at position 0 with the image file
 * given on the command line, showing the progress: the rewrite runs on a
 * thread of the library's, and QelSoftRewriteState is polled. On the virtual
 * rig (QEL_PLATFORM=rig) any small file will do.
 *
 *   firmware_rewrite IMAGE */
#include <stdio.h>

#include "qel/qel.h"

#if defined(_WIN32)
#  include <windows.h>
static void SleepMs(unsigned ms) { Sleep(ms); }
#else
#  include <time.h>
static void SleepMs(unsigned ms) {
  struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}
#endif

static int Fail(const char* what) {
  char reason[256];
  QelLastError(reason, sizeof reason);
  fprintf(stderr, "%s: %s\n", what, reason);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
    return 2;
  }
  if (QelOpenEx(0, 480, 270, 30.0, "YUY2", QEL_OPEN_FAST) != 0) return Fail("open");
  if (!QelSoftRewrite(0, argv[1])) {
    Fail("rewrite");
    QelClose(0);
    return 1;
  }
  /* 1 while it runs (writing, then reading back), 0 done, -1 failed. */
  int32_t state = 1, seconds = 0;
  float percent = 0.0f;
  while ((state = QelSoftRewriteState(0, &seconds, &percent)) > 0) {
    printf("\r%5.1f %% after %d s", percent, seconds);
    fflush(stdout);
    SleepMs(100);
  }
  printf("\r%5.1f %% after %d s: %s\n", percent, seconds,
         state == 0 ? "written and verified" : "failed");
  if (state != 0) Fail("rewrite");
  QelClose(0);
  return state == 0 ? 0 : 1;
}
