/* An application of an installed qel, as a user builds it: the headers and
 * the library of one version, found through CMake, pkg-config or a Windows
 * archive. On the virtual rig it opens a camera by its serial text, receives
 * an intact frame and sets and reads back the shutter, in lines and in
 * seconds, so that arguments and results of every width cross the calling
 * convention. Prints one line and returns 0 when all of it worked. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <qel/qel.h>
#include <qel/qelsim.h>

static int Fail(const char* what) {
  fprintf(stderr, "consumer: %s\n", what);
  return 1;
}

int main(void) {
  char version[64];
  if (!QelDLLVersion(version, (int32_t)sizeof version)) return Fail("QelDLLVersion failed");
  /* The headers and the library come from the same version. */
  if (strncmp(version, "Version " QEL_VERSION_STRING "\r\n", strlen(QEL_VERSION_STRING) + 10))
    return Fail("the library's version is not the headers'");

  qelsim_enable(1);
  qelsim_set_virtual_time(1);
  char list[1024];
  if (QelGetDeviceWithSerialNo(list, (int32_t)sizeof list) < 1) return Fail("no devices listed");
  int32_t key = -1;
  if (QelOpenSerialNo("QEL5#0000ABCD", &key, 960, 540, 30.0) != 0) return Fail("open failed");

  int result = 0;
  const int32_t size = QelGetBufferSize(key);
  unsigned char* frame = malloc(size > 0 ? (size_t)size : 1);
  int64_t counter = -1;
  int received = 0;
  for (int tries = 0; frame && tries < 100 && !received; ++tries) {
    qelsim_advance_ms(40);
    received = QelReceiveImage(key, frame) && qelsim_check_frame(frame, size, &counter);
  }
  uint16_t lines = 0;
  double seconds = 0.0;
  if (!received) {
    result = Fail("no intact frame received");
  } else if (!QelSetShutter(key, 500) || !QelGetShutter(key, &lines) || lines != 500) {
    result = Fail("the shutter did not read back as set");
  } else if (!QelSetShutterTime(key, 0.001) || !QelGetShutterTime(key, &seconds) ||
             seconds < 0.0009 || seconds > 0.0011) {
    result = Fail("the shutter time did not read back as set");
  } else {
    printf("qel %s: devices %s; key %d, frame %lld of %d bytes, shutter %u lines, %.6f s\n",
           QEL_VERSION_STRING, list, (int)key, (long long)counter, (int)size, (unsigned)lines,
           seconds);
  }
  free(frame);
  QelClose(key);
  return result;
}
