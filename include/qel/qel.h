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
/** As QelGetDevice, with "#" and the serial text after each camera of the family.
 *  A camera whose command interface cannot be opened (on Linux, a hidraw node
 *  the user may not open) is listed without its serial; the call still
 *  succeeds, and QelLastError() then tells why. */
QEL_API int32_t QEL_CALL QelGetDeviceWithSerialNo(char* list, int32_t size);

/* ---- frames ------------------------------------------------------------- */

/** Copies the newest frame into buffer when one arrived since the last call.
 *  The buffer's size is not known to it: a variable-length frame (MJPG)
 *  arriving after QelGetBufferSize was asked can be longer than the buffer.
 *  New code should use QelReceiveImageEx or QelWaitImage, which take the
 *  buffer's size, never write past it and report the frame's details. */
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

/** Starts writing the firmware image file at path (a regular file) to the camera; true when
 *  started. */
QEL_API QelBool QEL_CALL QelSoftRewrite(int32_t key, const char* path);
/** Polls the rewrite: 3 started, 1 writing, 2 verifying, 0 done, -1 failed or nothing. */
QEL_API int32_t QEL_CALL QelSoftRewriteState(int32_t key, int32_t* seconds, float* percent);


/* ==== extended functions ================================================= *
 * Added beside the classic functions above, which keep their behaviour.
 * Prefer these in new code: they take buffer sizes, can wait, and say why
 * they failed.
 *
 * Every function of this header, classic or extended, clears the calling
 * thread's last error on entry and sets it when it fails (QelLastErrorCode,
 * QelLastError); the classic results and out-parameters are unchanged.
 */


/** The reasons a call can fail, as QelLastErrorCode returns them. */
#define QEL_OK 0                    /* the thread's last call succeeded */
#define QEL_ERROR_NO_CAMERA 1       /* no camera is open under this key */
#define QEL_ERROR_BAD_ARGUMENT 2    /* a null pointer, a bad size or text */
#define QEL_ERROR_OUT_OF_RANGE 3    /* a value outside what this camera's model accepts */
#define QEL_ERROR_NOT_SUPPORTED 4   /* this camera (its model, or a webcam) has no such setting */
#define QEL_ERROR_NO_DEVICE 5       /* no device at this position or with this serial */
#define QEL_ERROR_BUSY 6            /* already open, or a rewrite or close is under way */
#define QEL_ERROR_TIMEOUT 7         /* the camera did not answer in time */
#define QEL_ERROR_REFUSED 8         /* the camera answered that it did not carry the command out */
#define QEL_ERROR_PLATFORM 9        /* a call of the operating system or its capture framework failed */
#define QEL_ERROR_NO_MEMORY 10      /* memory could not be had */
#define QEL_ERROR_BUFFER_TOO_SMALL 11 /* the frame or text does not fit the buffer given */
#define QEL_ERROR_DEVICE_LOST 12    /* the camera was unplugged while open */
#define QEL_ERROR_FILE 13           /* a file could not be read */

/** Room for any format name the library gives, with its terminating zero:
 *  names such as "RGB555", or up to eight hexadecimal digits ("3231564E")
 *  for a subtype without a name. */
#define QEL_FORMAT_NAME_SIZE 16

/** What is known of one received frame. Set size to sizeof(QelFrameInfo)
 *  before passing it in; later versions add fields only at the end. The
 *  library fills no more than size bytes, so a caller built against an
 *  earlier version (whose struct ends before formatName) keeps working. */
typedef struct QelFrameInfo {
  uint32_t size;      /* set by the caller to sizeof(QelFrameInfo) */
  int32_t width;      /* the stream's width and height in pixels */
  int32_t height;
  char format[8];     /* the format's name cut to 7 characters; read formatName instead */
  int32_t bytes;      /* length of this frame; with QEL_ERROR_BUFFER_TOO_SMALL the size needed */
  double sampleTime;  /* the capture framework's sample time, seconds */
  uint64_t sequence;  /* frames delivered by this stream since it started, this one included */
  uint64_t dropped;   /* frames overwritten before any caller received them, since the stream started */
  char formatName[QEL_FORMAT_NAME_SIZE]; /* the format's whole name, as QelGetFormat writes it (since 1.3) */
} QelFrameInfo;

/** The smallest info->size accepted: the struct of versions before 1.3,
 *  which ends before formatName. */
#define QEL_FRAME_INFO_MIN_SIZE 48

/** One capture format of a device, as QelGetFormatList fills it. Its format
 *  field holds at most 7 characters of the name: new code uses QelFormatEx. */
typedef struct QelFormat {
  int32_t width;
  int32_t height;
  double frameRate;
  char format[8]; /* the name cut to 7 characters */
} QelFormat;

/** One capture format of a device, as QelGetFormatListEx fills it (since 1.3). */
typedef struct QelFormatEx {
  int32_t width;
  int32_t height;
  double frameRate;      /* 10000000 / frameInterval, as QelGetFormat lists it */
  int64_t frameInterval; /* the device's frame interval in 100 ns units */
  char format[QEL_FORMAT_NAME_SIZE]; /* "YUY2", "MJPG", ...; an unnamed subtype as hexadecimal text */
} QelFormatEx;

/** Flags of QelOpenEx and QelOpenSerialNoEx. */
#define QEL_OPEN_FAST 0x1 /* succeed as soon as the first frame has arrived */

/** Copies the newest frame when one arrived since the last handed out (by
 *  this function, QelWaitImage or QelReceiveImage), never writing more than
 *  bufferSize bytes, and corrects defective pixels as QelReceiveImage does.
 *  Returns 1 with info filled (info may be NULL), 0 when no new frame has
 *  arrived, -1 on failure. A frame longer than bufferSize gives -1 with
 *  QEL_ERROR_BUFFER_TOO_SMALL and info->bytes set to the length needed; the
 *  frame stays, so the next call with a larger buffer receives it. A camera
 *  unplugged while open gives -1 with QEL_ERROR_DEVICE_LOST. */
QEL_API int32_t QEL_CALL QelReceiveImageEx(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                           QelFrameInfo* info);
/** As QelReceiveImageEx, but waits up to timeoutMs milliseconds (negative:
 *  without limit) for a new frame, sleeping, and returns as soon as it has
 *  arrived. 0 when the time passed without one; -1 as QelReceiveImageEx, and
 *  when the camera is closed (QEL_ERROR_NO_CAMERA) or unplugged during the
 *  wait. Several threads may wait on one camera; each new frame goes to one.
 *
 *  The recommended receive loop:
 *    QelFrameInfo info = {.size = sizeof info};
 *    for (;;) {
 *      int32_t got = QelWaitImage(key, buffer, size, &info, 1000);
 *      if (got == 1) use(buffer, &info);
 *      else if (got == -1 && QelLastErrorCode() == QEL_ERROR_BUFFER_TOO_SMALL)
 *        buffer = realloc(buffer, size = info.bytes);
 *      else if (got == -1) break;  // closed or unplugged: QelLastError says which
 *    } */
QEL_API int32_t QEL_CALL QelWaitImage(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                      QelFrameInfo* info, int32_t timeoutMs);

/** Called on the capture's streaming thread after each frame is stored, with
 *  the frame as delivered (before defect correction; read-only and valid only
 *  during the call) and its info. It may call QelReceiveImageEx and
 *  QelReceiveImage, QelGetStreamFormat, the settings functions and
 *  QelSetFrameCallback for its camera; it must not call QelOpen*, QelClose or
 *  QelWaitImage (QelClose on this thread is refused). Keep it short: the
 *  stream waits for it. */
typedef void(QEL_CALL* QelFrameCallback)(int32_t key, const unsigned char* frame,
                                         const QelFrameInfo* info, void* user);
/** Installs callback for the open camera under key, replacing any other;
 *  NULL removes it. Removing, replacing or closing the camera waits until a
 *  running call of the old callback has returned, so user may be freed
 *  afterwards (unless called from inside the callback itself, which does not
 *  wait for itself). 1 on success. */
QEL_API QelBool QEL_CALL QelSetFrameCallback(int32_t key, QelFrameCallback callback, void* user);

/** The running stream of the camera under key: size, frame rate and format
 *  name (formatSize bytes at most; QEL_FORMAT_NAME_SIZE always suffices, and
 *  9 fits every name the library gives). Any pointer may be NULL. */
QEL_API QelBool QEL_CALL QelGetStreamFormat(int32_t key, int32_t* width, int32_t* height,
                                            double* frameRate, char* format, int32_t formatSize);

/** Every capture format of device (its QelGetDevice position), in the order
 *  QelGetFormat lists them but without its limit of ten: fills at most
 *  capacity entries and returns how many there are (which may exceed
 *  capacity: call again with that many); -1 on failure. formats may be NULL
 *  when capacity is 0. */
QEL_API int32_t QEL_CALL QelGetFormatList(int32_t device, QelFormat* formats, int32_t capacity);
/** As QelGetFormatList, with each format's whole name and its frame
 *  interval (since 1.3). */
QEL_API int32_t QEL_CALL QelGetFormatListEx(int32_t device, QelFormatEx* formats,
                                            int32_t capacity);

/** The reason for the calling thread's last failed call (a QEL_ERROR_* code),
 *  or QEL_OK when its last call succeeded. Does not change it. */
QEL_API int32_t QEL_CALL QelLastErrorCode(void);
/** The same reason as a sentence naming the call and its values, e.g.
 *  "QelSetShutter: 20000 lines is outside 1..10000 for a QEL5"; "" when the
 *  last call succeeded. Writes at most size bytes (text may be NULL with
 *  size 0) and returns the sentence's length without the terminating zero;
 *  -1 when text is NULL with a non-zero size. Does not change the reason. */
QEL_API int32_t QEL_CALL QelLastError(char* text, int32_t size);

/** The library's version: the numbers QEL_VERSION_* of the header it was built with.
 *  Any pointer may be NULL. */
QEL_API void QEL_CALL QelLibraryVersion(int32_t* major, int32_t* minor, int32_t* patch);

/** QelOpen with flags. Without flags it is QelOpen; with QEL_OPEN_FAST the open
 *  returns as soon as the first frame has arrived, instead of after a fixed
 *  wait of 3 s (still bounded by 3000 ms per attempt and three attempts). */
QEL_API int32_t QEL_CALL QelOpenEx(int32_t key, int32_t width, int32_t height, double frameRate,
                                   const char* format, uint32_t flags);
/** QelOpenSerialNo with flags, as QelOpenEx. */
QEL_API int32_t QEL_CALL QelOpenSerialNoEx(const char* serialText, int32_t* key, int32_t width,
                                           int32_t height, double frameRate, uint32_t flags);

/* ---- settings by name (since 1.4) ----------------------------------------
 * Every setting an open camera has, described as data, so that a tool or a
 * user interface is driven from the library's own list: its name (as
 * QelGetSetting and QelSetSetting take it), label, unit, kind, range, step,
 * default where the library knows it, current value and access. What a
 * camera has follows its model: a QEL has no defect correction, a QEL2 no
 * analog gain, and a device that is not of the family (a webcam opened for
 * frames) has only exposure. Values cross as doubles; an integer setting
 * takes whole numbers only. Each setting is carried out by the function of
 * this header named in its description, with the same checks and reasons. */

#define QEL_SETTING_NAME_SIZE 32
#define QEL_SETTING_LABEL_SIZE 48
#define QEL_SETTING_UNIT_SIZE 16
#define QEL_SETTING_MAX_VALUES 4  /* a group: the four digital gains */
#define QEL_SETTING_MAX_CHOICES 8
#define QEL_SETTING_CHOICE_LABEL_SIZE 24

/* Kinds of setting. */
#define QEL_SETTING_INTEGER 1 /* a whole number in minimum..maximum, in steps of step */
#define QEL_SETTING_REAL 2    /* a number in minimum..maximum */
#define QEL_SETTING_BOOLEAN 3 /* 0 (off) or 1 (on) */
#define QEL_SETTING_CHOICE 4  /* one of choices[].value */
#define QEL_SETTING_GROUP 5   /* valueCount whole numbers, each in minimum..maximum */

/* Access. */
#define QEL_SETTING_READ 0x1
#define QEL_SETTING_WRITE 0x2

/* QelSetting.flags */
#define QEL_SETTING_HAS_DEFAULT 0x1 /* defaultValue holds the camera's default */
#define QEL_SETTING_HAS_VALUE 0x2   /* value[] holds the current value, as read just now */

typedef struct QelSettingChoice {
  double value;
  char label[QEL_SETTING_CHOICE_LABEL_SIZE];
} QelSettingChoice;

typedef struct QelSetting {
  char name[QEL_SETTING_NAME_SIZE];   /* "led", "gain", "digital-gain", ... */
  char label[QEL_SETTING_LABEL_SIZE]; /* for people: "LED", "Digital gain" */
  char unit[QEL_SETTING_UNIT_SIZE];   /* "s", "lines", "log2 s"; "" for none */
  char call[QEL_SETTING_LABEL_SIZE];  /* the function that carries it out: "QelSetLed" */
  int32_t kind;                       /* QEL_SETTING_INTEGER ... QEL_SETTING_GROUP */
  int32_t access;                     /* QEL_SETTING_READ | QEL_SETTING_WRITE */
  uint32_t flags;                     /* QEL_SETTING_HAS_DEFAULT | QEL_SETTING_HAS_VALUE */
  int32_t valueCount;                 /* 1, or the size of a group */
  double minimum;                     /* this camera's range (of each member of a group) */
  double maximum;
  double step;                        /* 1 for integers; the resolution of a real */
  double defaultValue;
  double value[QEL_SETTING_MAX_VALUES];
  int32_t choiceCount;
  QelSettingChoice choices[QEL_SETTING_MAX_CHOICES];
} QelSetting;

/** Describes every setting of the open camera under key, in a fixed order:
 *  fills at most capacity entries and returns how many there are (call again
 *  with that many); -1 on failure. settings may be NULL when capacity is 0.
 *  Reads the current value of each readable setting (a few command exchanges
 *  with the camera); a value that cannot be read leaves QEL_SETTING_HAS_VALUE
 *  clear. */
QEL_API int32_t QEL_CALL QelGetSettingList(int32_t key, QelSetting* settings, int32_t capacity);
/** Describes one setting by name. 1 on success; 0 with QEL_ERROR_BAD_ARGUMENT
 *  for a name no camera has, QEL_ERROR_NOT_SUPPORTED for one this camera
 *  lacks. */
QEL_API QelBool QEL_CALL QelDescribeSetting(int32_t key, const char* name, QelSetting* setting);
/** Reads a setting into values (room for count values: 1, or a group's
 *  valueCount). 1 on success; 0 with the reason, QEL_ERROR_NOT_SUPPORTED for
 *  a write-only setting. */
QEL_API QelBool QEL_CALL QelGetSetting(int32_t key, const char* name, double* values,
                                       int32_t count);
/** Changes a setting to values: count 1, or a group's valueCount (a group
 *  given one value sets every member to it). 1 on success; 0 with the reason
 *  of the function that carries it out (a value outside the camera's range
 *  gives QEL_ERROR_OUT_OF_RANGE), QEL_ERROR_BAD_ARGUMENT for a fraction given
 *  to a whole-number setting, QEL_ERROR_NOT_SUPPORTED for a read-only one. */
QEL_API QelBool QEL_CALL QelSetSetting(int32_t key, const char* name, const double* values,
                                       int32_t count);

/* Logging for support cases: with the environment variable QEL_LOG set to
 * "error", "info" or "debug" before the library is loaded, the library writes
 * one line per event to standard error (failed calls with their reason; opens
 * and closes with their platform results; every command exchanged with a
 * camera). Off by default. */

#ifdef __cplusplus
}
#endif

#endif /* QEL_QEL_H */
