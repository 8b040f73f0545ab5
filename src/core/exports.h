// Every export of qel.h, listed once: its result type, the result it gives
// on failure, its parameters and the names they are passed on by.
//
// api/exports.cpp defines each export from this list as a guard around
// qel::exports::<Name>, which the export's own subsystem implements: no
// exception ever leaves the library, and every export shares one entry and
// one exit.
#pragma once

#include "qel/qel.h"

// X(result, name, failure, (parameters), (arguments))
#define QEL_EXPORTS(X)                                                                       \
  X(QelBool, QelDLLVersion, 0, (char* text, int32_t size), (text, size))                     \
  X(int32_t, QelOpen, -1,                                                                    \
    (int32_t key, int32_t width, int32_t height, double frameRate, const char* format),      \
    (key, width, height, frameRate, format))                                                 \
  X(void, QelClose, void(), (int32_t key), (key))                                            \
  X(int32_t, QelOpenSerialNo, -1,                                                            \
    (const char* serialText, int32_t* key, int32_t width, int32_t height, double frameRate), \
    (serialText, key, width, height, frameRate))                                             \
  X(int32_t, QelGetDevice, -1, (char* list, int32_t size), (list, size))                     \
  X(int32_t, QelGetDeviceWithSerialNo, -1, (char* list, int32_t size), (list, size))         \
  X(QelBool, QelReceiveImage, 0, (int32_t key, unsigned char* buffer), (key, buffer))        \
  X(int32_t, QelGetBufferSize, 0, (int32_t key), (key))                                      \
  X(QelBool, QelGetFormat, 0, (int32_t deviceIndex, char* text, int32_t textSize),           \
    (deviceIndex, text, textSize))                                                           \
  X(QelBool, QelSetDigitalGain, 0,                                                           \
    (int32_t key, int32_t gain1, int32_t gain2, int32_t gain3, int32_t gain4),               \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelGetDigitalGain, 0,                                                           \
    (int32_t key, uint16_t * gain1, uint16_t * gain2, uint16_t * gain3, uint16_t * gain4),   \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelXSetDigitalGain, 0,                                                          \
    (int32_t key, int32_t gain1, int32_t gain2, int32_t gain3, int32_t gain4),               \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelXGetDigitalGain, 0,                                                          \
    (int32_t key, uint16_t * gain1, uint16_t * gain2, uint16_t * gain3, uint16_t * gain4),   \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelXGetDigitalGainMax, 0,                                                       \
    (int32_t key, uint16_t * gain1, uint16_t * gain2, uint16_t * gain3, uint16_t * gain4),   \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelXGetDigitalGainMin, 0,                                                       \
    (int32_t key, uint16_t * gain1, uint16_t * gain2, uint16_t * gain3, uint16_t * gain4),   \
    (key, gain1, gain2, gain3, gain4))                                                       \
  X(QelBool, QelSetShutter, 0, (int32_t key, int32_t lines), (key, lines))                   \
  X(QelBool, QelGetShutter, 0, (int32_t key, uint16_t * lines), (key, lines))                \
  X(QelBool, QelGetShutterMax, 0, (int32_t key, uint16_t * lines), (key, lines))             \
  X(QelBool, QelGetShutterMin, 0, (int32_t key, uint16_t * lines), (key, lines))             \
  X(QelBool, QelSetShutterTime, 0, (int32_t key, double seconds), (key, seconds))            \
  X(QelBool, QelGetShutterTime, 0, (int32_t key, double* seconds), (key, seconds))           \
  X(QelBool, Qel5SetAnalogGain, 0, (int32_t key, uint32_t gain), (key, gain))                \
  X(QelBool, Qel5GetAnalogGain, 0, (int32_t key, int32_t * gain), (key, gain))               \
  X(QelBool, QelSetRegister, 0, (int32_t key, int32_t address, int32_t value),               \
    (key, address, value))                                                                   \
  X(QelBool, QelGetRegister, 0, (int32_t key, int32_t address, uint8_t * value),             \
    (key, address, value))                                                                   \
  X(QelBool, QelSetRegisterW, 0, (int32_t key, int32_t address, int32_t value),              \
    (key, address, value))                                                                   \
  X(QelBool, QelGetRegisterW, 0, (int32_t key, int32_t address, uint16_t * value),           \
    (key, address, value))                                                                   \
  X(QelBool, QelVersion, 0, (int32_t key, char* text, int32_t size), (key, text, size))      \
  X(QelBool, QelTemperature, 0, (int32_t key, int32_t type, int32_t * temperature),          \
    (key, type, temperature))                                                                \
  X(QelBool, QelGetSerialNo, 0, (int32_t key, uint32_t * serial), (key, serial))             \
  X(QelBool, QelSetSerialNo, 0, (int32_t key, uint32_t serial), (key, serial))               \
  X(QelBool, QelSetPixelDefect, 0,                                                           \
    (int32_t key, int32_t cameraNo, int32_t sizeIndex, const QelDefectPoint* points),        \
    (key, cameraNo, sizeIndex, points))                                                      \
  X(QelBool, QelGetPixelDefect, 0,                                                           \
    (int32_t key, int32_t cameraNo, int32_t sizeIndex, QelDefectPoint * points),             \
    (key, cameraNo, sizeIndex, points))                                                      \
  X(QelBool, QelSetPixelDefectOnOff, 0, (int32_t key, int32_t on), (key, on))                \
  X(QelBool, QelGetPixelDefectOnOff, 0, (int32_t key, int32_t * on), (key, on))              \
  X(QelBool, QelCameraRecognition, 0, (int32_t key, uint8_t * value), (key, value))          \
  X(QelBool, QelUSBMode, 0, (int32_t key, uint8_t * value), (key, value))                    \
  X(QelBool, QelGPIODirection, 0, (int32_t key, int32_t direction), (key, direction))        \
  X(QelBool, QelGPIOOutput, 0, (int32_t key, int32_t output), (key, output))                 \
  X(QelBool, QelGPIOInput, 0, (int32_t key, uint8_t * value), (key, value))                  \
  X(QelBool, QelSetLed, 0, (int32_t key, int32_t level), (key, level))                       \
  X(QelBool, QelGetLed, 0, (int32_t key, int32_t * level), (key, level))                     \
  X(QelBool, QelSetGain, 0, (int32_t key, int32_t gain), (key, gain))                        \
  X(QelBool, QelGetGain, 0, (int32_t key, int32_t * gain), (key, gain))                      \
  X(QelBool, QelXSetGain, 0, (int32_t key, int32_t gain), (key, gain))                       \
  X(QelBool, QelXGetGain, 0, (int32_t key, int32_t * gain), (key, gain))                     \
  X(QelBool, QelXGetGainMax, 0, (int32_t key, int32_t * gain), (key, gain))                  \
  X(QelBool, QelXGetGainMin, 0, (int32_t key, int32_t * gain), (key, gain))                  \
  X(QelBool, QelSetExposure, 0, (int32_t key, int32_t exposure), (key, exposure))            \
  X(QelBool, QelGetExposure, 0, (int32_t key, int32_t * exposure), (key, exposure))          \
  X(QelBool, QelSetCameraNo, 0, (int32_t key, int32_t number), (key, number))                \
  X(QelBool, QelGetCameraNo, 0, (int32_t key, int32_t * number), (key, number))              \
  X(QelBool, QelSetColorBar, 0, (int32_t key, int32_t on), (key, on))                        \
  X(QelBool, QelGetColorBar, 0, (int32_t key, int32_t * on), (key, on))                      \
  X(QelBool, QelSoftRewrite, 0, (int32_t key, const char* path), (key, path))                \
  X(int32_t, QelSoftRewriteState, -1, (int32_t key, int32_t * seconds, float* percent),      \
    (key, seconds, percent))                                                                 \
  X(int32_t, QelReceiveImageEx, -1,                                                          \
    (int32_t key, unsigned char* buffer, int32_t bufferSize, QelFrameInfo* info),            \
    (key, buffer, bufferSize, info))                                                         \
  X(int32_t, QelWaitImage, -1,                                                               \
    (int32_t key, unsigned char* buffer, int32_t bufferSize, QelFrameInfo* info,             \
     int32_t timeoutMs),                                                                     \
    (key, buffer, bufferSize, info, timeoutMs))                                              \
  X(QelBool, QelSetFrameCallback, 0, (int32_t key, QelFrameCallback callback, void* user),   \
    (key, callback, user))                                                                   \
  X(QelBool, QelGetStreamFormat, 0,                                                          \
    (int32_t key, int32_t * width, int32_t * height, double* frameRate, char* format,        \
     int32_t formatSize),                                                                    \
    (key, width, height, frameRate, format, formatSize))                                     \
  X(int32_t, QelGetFormatList, -1, (int32_t device, QelFormat * formats, int32_t capacity),  \
    (device, formats, capacity))                                                             \
  X(int32_t, QelGetFormatListEx, -1,                                                         \
    (int32_t device, QelFormatEx * formats, int32_t capacity), (device, formats, capacity))  \
  X(QelBool, QelNominalFrameRate, 0,                                                         \
    (int64_t frameInterval, int32_t * numerator, int32_t * denominator, char* text,          \
     int32_t textSize),                                                                      \
    (frameInterval, numerator, denominator, text, textSize))                                 \
  X(int32_t, QelLastErrorCode, -1, (void), ())                                               \
  X(int32_t, QelLastError, -1, (char* text, int32_t size), (text, size))                     \
  X(void, QelLibraryVersion, void(), (int32_t * major, int32_t * minor, int32_t * patch),    \
    (major, minor, patch))                                                                   \
  X(int32_t, QelOpenEx, -1,                                                                  \
    (int32_t key, int32_t width, int32_t height, double frameRate, const char* format,       \
     uint32_t flags),                                                                        \
    (key, width, height, frameRate, format, flags))                                          \
  X(int32_t, QelOpenSerialNoEx, -1,                                                          \
    (const char* serialText, int32_t* key, int32_t width, int32_t height, double frameRate,  \
     uint32_t flags),                                                                        \
    (serialText, key, width, height, frameRate, flags))                                      \
  X(int32_t, QelGetSettingList, -1, (int32_t key, QelSetting * settings, int32_t capacity),   \
    (key, settings, capacity))                                                               \
  X(QelBool, QelDescribeSetting, 0, (int32_t key, const char* name, QelSetting* setting),     \
    (key, name, setting))                                                                    \
  X(QelBool, QelGetSetting, 0, (int32_t key, const char* name, double* values, int32_t count), \
    (key, name, values, count))                                                              \
  X(QelBool, QelSetSetting, 0,                                                               \
    (int32_t key, const char* name, const double* values, int32_t count),                    \
    (key, name, values, count))

namespace qel::exports {

#define QEL_DECLARE_EXPORT(result, name, failure, parameters, arguments) result name parameters;
QEL_EXPORTS(QEL_DECLARE_EXPORT)
#undef QEL_DECLARE_EXPORT

}  // namespace qel::exports
