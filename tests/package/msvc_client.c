/* An application linked by Microsoft's rules: compiled for the MSVC target
 * and linked with a Microsoft-compatible linker through qel.lib alone. It
 * has no C runtime (the archive's user brings their own); it calls the
 * library through the import library's bindings, with the header's
 * declarations, and ends with ExitProcess(0) when every answer was right. */
#include <qel/qel.h>
#include <qel/qelsim.h>

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

static int StartsWith(const char* text, const char* prefix) {
  while (*prefix)
    if (*text++ != *prefix++) return 0;
  return 1;
}

void Start(void) {
  char text[64];
  char list[1024];
  uint16_t lines = 0;
  unsigned int failures = 0;
  failures += !QelDLLVersion(text, (int32_t)sizeof text);
  failures += !StartsWith(text, "Version " QEL_VERSION_STRING "\r\n");
  qelsim_enable(1);
  qelsim_set_virtual_time(1);
  failures += QelGetDevice(list, (int32_t)sizeof list) < 1;
  failures += !StartsWith(list, "QEL5,");
  /* A camera that is not open answers with a failure, leaving lines as it was. */
  failures += QelGetShutter(3, &lines) != 0;
  failures += lines != 0;
  ExitProcess(failures);
}
