/*
 * qel: control library of the QEL family of USB industrial cameras.
 *
 * One flat C interface; any function may be called from any thread.
 * How to read the results:
 *  - A QelBool is 1 when the call did what it says and 0 otherwise; an
 *    out-parameter is only written when the call returns 1.
 *  - A function returning a count or a code (QelOpen, QelGetDevice, ...)
 *    signals failure with -1; QelGetBufferSize signals it with 0.
 *  - Cameras are named by keys. A key is the device's 0-based position in
 *    QelGetDevice's listing when the camera is opened; -1 is never a key.
 *  - Text goes into buffers you supply, zero-terminated, 8-bit, never longer
 *    than the size you pass in bytes; lists separate entries by commas.
 */
#ifndef QEL_QEL_H
#define QEL_QEL_H

#include <stdint.h>

#include "qel/qel_version.h"

#if defined(_WIN32)
#  if defined(QEL_BUILDING_LIBRARY)
/* The DLL exports exactly the names of its .def file, undecorated; marking
 * them dllexport as well would add the decorated stdcall names of a 32-bit
 * build. */
#    define QEL_API
#  else
#    define QEL_API __declspec(dllimport)
#  endif
#  define QEL_CALL __stdcall
#else
#  define QEL_API __attribute__((visibility("default")))
#  define QEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** One-byte truth value: 1 success, 0 failure. */
typedef unsigned char QelBool;

/** One defective pixel: column x, row y; 0xFFFF marks an empty coordinate. */
typedef struct QelDefectPoint {
  uint16_t x;
  uint16_t y;
} QelDefectPoint;

/** Number of points in one defect table. */
#define QEL_DEFECT_POINTS 20

/* ---- library version ---------------------------------------------------- */

/** Writes "Version ...\r\nDate : ...\r\nTime : ..." (52 characters); needs 53 bytes. */
QEL_API QelBool QEL_CALL QelDLLVersion(char* text, int32_t size);

/* ---- opening and closing ------------------------------------------------ */

/** Opens the device at listing position key; 0 family camera, 1 capture only, -1 failure. */
QEL_API int32_t QEL_CALL QelOpen(int32_t key, int32_t width, int32_t height, double frameRate,
                                 const char* format);
/** Closes the camera opened under key: LED off, control interface closed, capture stopped. */
QEL_API void QEL_CALL QelClose(int32_t key);
/** Opens the camera listed as serialText (e.g. "QEL5#0000ABCD"); 0 with *key written, or -1. */
QEL_API int32_t QEL_CALL QelOpenSerialNo(const char* serialText, int32_t* key, int32_t width,
                                         int32_t height, double frameRate);

/* ---- device listing ----------------------------------------------------- */

/** Lists the video devices' friendly names comma-separated; count, or -1 when it does not fit. */
QEL_API int32_t QEL_CALL QelGetDevice(char* list, int32_t size);
/** As QelGetDevice, with "#" and the serial text after each camera of the family. */
QEL_API int32_t QEL_CALL QelGetDeviceWithSerialNo(char* list, int32_t size);

/* ---- frames ------------------------------------------------------------- */

/** Copies the newest frame into buffer when one arrived since the last call. */
QEL_API QelBool QEL_CALL QelReceiveImage(int32_t key, unsigned char* buffer);
/** Byte length of the most recent frame (the buffer size QelReceiveImage needs), 0 on failure. */
QEL_API int32_t QEL_CALL QelGetBufferSize(int32_t key);

/* ---- formats ------------------------------------------------------------ */

/** Lists the capture formats of device deviceIndex as "n,width,height,fps,name," runs. */
QEL_API QelBool QEL_CALL QelGetFormat(int32_t deviceIndex, char* text, int32_t textSize);

/* ---- exposure and gain over the command channel ------------------------- */

/** Sets the four digital gains on the fixed 0..4095 scale. */
QEL_API QelBool QEL_CALL QelSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2, int32_t gain3,
                                           int32_t gain4);
/** Reads the four digital gains on the fixed 0..4095 scale. */
QEL_API QelBool QEL_CALL QelGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                           uint16_t* gain3, uint16_t* gain4);
/** Sets the four digital gains on the camera's raw scale. */
QEL_API QelBool QEL_CALL QelXSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2,
                                            int32_t gain3, int32_t gain4);
/** Reads the four digital gains on the camera's raw scale. */
QEL_API QelBool QEL_CALL QelXGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                            uint16_t* gain3, uint16_t* gain4);
/** The largest raw digital gain of the camera's model, in all four outputs. */
QEL_API QelBool QEL_CALL QelXGetDigitalGainMax(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                               uint16_t* gain3, uint16_t* gain4);
/** The smallest raw digital gain of the camera's model, in all four outputs. */
QEL_API QelBool QEL_CALL QelXGetDigitalGainMin(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                               uint16_t* gain3, uint16_t* gain4);
/** Sets the shutter as a line count (low 16 bits of lines). */
QEL_API QelBool QEL_CALL QelSetShutter(int32_t key, int32_t lines);
/** Reads the shutter line count. */
QEL_API QelBool QEL_CALL QelGetShutter(int32_t key, uint16_t* lines);
/** The largest shutter line count of the camera's model. */
QEL_API QelBool QEL_CALL QelGetShutterMax(int32_t key, uint16_t* lines);
/** The smallest shutter line count (1). */
QEL_API QelBool QEL_CALL QelGetShutterMin(int32_t key, uint16_t* lines);
/** Sets the shutter as a time in seconds, 0.0001 to 1.0. */
QEL_API QelBool QEL_CALL QelSetShutterTime(int32_t key, double seconds);
/** Reads the shutter as a time in seconds. */
QEL_API QelBool QEL_CALL QelGetShutterTime(int32_t key, double* seconds);
/** Sets the analog gain 0..15 of a "QEL5" camera. */
QEL_API QelBool QEL_CALL Qel5SetAnalogGain(int32_t key, uint32_t gain);
/** Reads the analog gain of a "QEL5" camera. */
QEL_API QelBool QEL_CALL Qel5GetAnalogGain(int32_t key, int32_t* gain);

/* ---- registers and device information ----------------------------------- */

/** Writes the low byte of value to the 8-bit register at the low 16 bits of address. */
QEL_API QelBool QEL_CALL QelSetRegister(int32_t key, int32_t address, int32_t value);
/** Reads an 8-bit register. */
QEL_API QelBool QEL_CALL QelGetRegister(int32_t key, int32_t address, uint8_t* value);
/** Writes the low 16 bits of value to a 16-bit register. */
QEL_API QelBool QEL_CALL QelSetRegisterW(int32_t key, int32_t address, int32_t value);
/** Reads a 16-bit register. */
QEL_API QelBool QEL_CALL QelGetRegisterW(int32_t key, int32_t address, uint16_t* value);
/** Copies the firmware's version text into text (size bytes). */
QEL_API QelBool QEL_CALL QelVersion(int32_t key, char* text, int32_t size);
/** Reads the temperature of type 1 or 2 (0..255). */
QEL_API QelBool QEL_CALL QelTemperature(int32_t key, int32_t type, int32_t* temperature);
/** Reads the serial number the camera reports. */
QEL_API QelBool QEL_CALL QelGetSerialNo(int32_t key, uint32_t* serial);
/** Stores a new serial number in the camera's data block. */
QEL_API QelBool QEL_CALL QelSetSerialNo(int32_t key, uint32_t serial);

/* ---- pixel defects ------------------------------------------------------ */

/** Writes the 20-point defect table for camera number 1 or 2 and size index 0..2. */
QEL_API QelBool QEL_CALL QelSetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                           const QelDefectPoint* points);
/** Reads the 20-point defect table for camera number 1 or 2 and size index 0..2. */
QEL_API QelBool QEL_CALL QelGetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                           QelDefectPoint* points);
/** Switches the software defect correction of delivered frames on (1) or off (0). */
QEL_API QelBool QEL_CALL QelSetPixelDefectOnOff(int32_t key, int32_t on);
/** Reads whether the software defect correction is on. */
QEL_API QelBool QEL_CALL QelGetPixelDefectOnOff(int32_t key, int32_t* on);

/* ---- device mode and GPIO ----------------------------------------------- */

/** Reads the camera's recognition byte. */
QEL_API QelBool QEL_CALL QelCameraRecognition(int32_t key, uint8_t* value);
/** Reads the camera's USB mode byte. */
QEL_API QelBool QEL_CALL QelUSBMode(int32_t key, uint8_t* value);
/** Sets the GPIO direction byte ("QEL" cameras only). */
QEL_API QelBool QEL_CALL QelGPIODirection(int32_t key, int32_t direction);
/** Sets the GPIO output byte ("QEL" cameras only). */
QEL_API QelBool QEL_CALL QelGPIOOutput(int32_t key, int32_t output);
/** Reads the GPIO input byte ("QEL" cameras only). */
QEL_API QelBool QEL_CALL QelGPIOInput(int32_t key, uint8_t* value);

/* ---- video-class controls ----------------------------------------------- */

/** Sets the LED level 0..64. */
QEL_API QelBool QEL_CALL QelSetLed(int32_t key, int32_t level);
/** Reads the LED level. */
QEL_API QelBool QEL_CALL QelGetLed(int32_t key, int32_t* level);
/** Sets the gain on the fixed 0..240 scale. */
QEL_API QelBool QEL_CALL QelSetGain(int32_t key, int32_t gain);
/** Reads the gain on the fixed 0..240 scale. */
QEL_API QelBool QEL_CALL QelGetGain(int32_t key, int32_t* gain);
/** Sets the gain on the camera's raw scale. */
QEL_API QelBool QEL_CALL QelXSetGain(int32_t key, int32_t gain);
/** Reads the gain on the camera's raw scale. */
QEL_API QelBool QEL_CALL QelXGetGain(int32_t key, int32_t* gain);
/** The largest raw gain of the camera's model. */
QEL_API QelBool QEL_CALL QelXGetGainMax(int32_t key, int32_t* gain);
/** The smallest raw gain of the camera's model. */
QEL_API QelBool QEL_CALL QelXGetGainMin(int32_t key, int32_t* gain);
/** Sets the exposure -13..0. */
QEL_API QelBool QEL_CALL QelSetExposure(int32_t key, int32_t exposure);
/** Reads the exposure. */
QEL_API QelBool QEL_CALL QelGetExposure(int32_t key, int32_t* exposure);
/** Sets the camera number 1 or 2. */
QEL_API QelBool QEL_CALL QelSetCameraNo(int32_t key, int32_t number);
/** Reads the camera number as the camera reports it. */
QEL_API QelBool QEL_CALL QelGetCameraNo(int32_t key, int32_t* number);
/** Switches the colour bar on (1) or off (0). */
QEL_API QelBool QEL_CALL QelSetColorBar(int32_t key, int32_t on);
/** Reads the colour bar switch. */
QEL_API QelBool QEL_CALL QelGetColorBar(int32_t key, int32_t* on);

/* ---- firmware rewrite --------------------------------------------------- */

/** Starts writing the firmware image file at path to the camera; true when started. */
QEL_API QelBool QEL_CALL QelSoftRewrite(int32_t key, const char* path);
/** Polls the rewrite: 3 started, 1 writing, 2 verifying, 0 done, -1 failed or nothing. */
QEL_API int32_t QEL_CALL QelSoftRewriteState(int32_t key, int32_t* seconds, float* percent);

#ifdef __cplusplus
}
#endif

#endif /* QEL_QEL_H */
