/**
 * \file qel.h
 * \brief The library: one flat C interface to the cameras of the QEL family.
 *
 * How to read the results:
 *  - A #QelBool is 1 when the call did what it says and 0 otherwise; an
 *    out-parameter is only written when the call returns 1, but for a text
 *    buffer, which a failed call may leave holding "" or the part that fitted.
 *  - A function returning a count or a code (QelOpen(), QelGetDevice(), ...)
 *    signals failure with -1; QelGetBufferSize() signals it with 0.
 *  - Every function, classic or extended, clears the calling thread's last
 *    error on entry and sets it when it fails: QelLastErrorCode() gives the
 *    reason as a \ref errors "QEL_ERROR_*" code, QelLastError() as a sentence.
 *  - Cameras are named by keys. A key is the device's 0-based position in
 *    QelGetDevice()'s listing when the camera is opened; -1 is never a key.
 *  - Text goes into buffers you supply, zero-terminated, 8-bit, never longer
 *    than the size you pass in bytes; lists separate entries by commas.
 *
 * Threads: any function may be called from any thread. Opens and closes of
 * one key are serialised; different cameras open and close side by side.
 * Exchanges on one camera's command channel are serialised, and an export
 * running while another thread closes its camera fails (#QEL_ERROR_NO_CAMERA)
 * or completes on what it already holds. A frame callback has rules of its
 * own (#QelFrameCallback).
 *
 * Costs: a \ref command_controls "command control" is one or more exchanges
 * with the camera's firmware over its command channel, each bounded by 5 s;
 * a \ref video_controls "video control" is one property call of the capture
 * framework; a classic open waits 3 s.
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
/** Marks a function the library exports (on Windows: imported from qel.dll). */
#  define QEL_API __attribute__((visibility("default")))
/** The exports' calling convention: __stdcall on Windows (which changes
 *  nothing on x64), the platform's default elsewhere. */
#  define QEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * \defgroup listing Device listing
 * \brief The video devices present, by position; a position is the key a device opens under.
 *
 * Both listings walk the platform's video devices, reading each one's friendly
 * name; a comma within a name is listed as "-". Only plug-and-play devices are
 * listed.
 *
 * \defgroup opening Opening and closing
 * \brief Starting a camera's stream and command channel under a key, and ending them.
 *
 * An open builds the capture for the requested size, frame rate and format;
 * for a camera of the family it also opens the command channel, reads the
 * camera's data block (22 exchanges) and its camera number. At most ten
 * cameras are open at a time. Opens and closes of one key are serialised;
 * different keys open and close side by side. None of these may be called
 * from a frame callback.
 *
 * \defgroup frames Frames and formats
 * \brief Receiving frames, waiting for them, frame callbacks, and the formats a device offers.
 *
 * Frames pass from the capture's streaming thread to the application through
 * three rotating buffers: a frame is never torn, the streaming thread never
 * waits for an application's copy, and only the latest frame is kept.
 * Receiving copies one frame and never talks to the camera.
 *
 * \defgroup video_controls Video controls
 * \brief LED, gain, exposure, camera number and colour bar, as properties of the video device.
 *
 * Each call is one property read or write through the capture framework (no
 * command exchange), on the camera's running stream. They fail with
 * #QEL_ERROR_NO_CAMERA when no camera is open under the key or it is not
 * streaming, #QEL_ERROR_NOT_SUPPORTED when the device has no such property,
 * #QEL_ERROR_OUT_OF_RANGE for a value outside the range given, and
 * #QEL_ERROR_PLATFORM when the property call fails.
 *
 * \defgroup command_controls Command controls
 * \brief Gains, shutter, registers, device information and GPIO over the camera's command channel.
 *
 * Each call is one exchange with the camera's firmware (a 65-byte report and
 * its reply), bounded by 5 s, unless it says otherwise; exchanges on one
 * camera are serialised. Only cameras of the family have a command channel.
 * Every function of this group fails with
 *  - #QEL_ERROR_NO_CAMERA: no camera is open under the key, or it is being closed;
 *  - #QEL_ERROR_NOT_SUPPORTED: the device is not a camera of the family (a
 *    webcam opened for frames), or its model lacks the function;
 *  - #QEL_ERROR_TIMEOUT: the camera took no request, or did not answer, within 5 s;
 *  - #QEL_ERROR_DEVICE_LOST: the camera was unplugged;
 *  - #QEL_ERROR_REFUSED: the camera answered that it did not carry the command out;
 *
 * and with the reasons each function names.
 *
 * \defgroup defects Pixel defects
 * \brief The cameras' defect tables and the software correction of delivered frames.
 *
 * The tables live in the camera's data block, which the library reads when
 * the camera is opened: reading a table costs no exchange, and writing one
 * rewrites the data block (an erase and 22 writes, each bounded by 5 s).
 * Writes to one camera's data block are serialised, so concurrent changes all
 * survive. A "QEL" camera has no defect tables (#QEL_ERROR_NOT_SUPPORTED).
 *
 * \defgroup firmware Firmware rewrite
 * \brief Writing a firmware image into the camera and following its progress.
 *
 * \defgroup settings Settings by name
 * \brief Every setting an open camera has, described as data and reached by name (since 1.4).
 *
 * A tool or a user interface is driven from the library's own list: a
 * setting's name (as QelGetSetting() and QelSetSetting() take it), label,
 * unit, kind, range, step, default where the library knows it, current value
 * and access. What a camera has follows its model: a QEL has no defect
 * correction, a QEL2 no analog gain, and a device that is not of the family
 * (a webcam opened for frames) has only exposure. Values cross as doubles;
 * an integer setting takes whole numbers only. Each setting is carried out by
 * the function of this header named in QelSetting::call, with the same checks,
 * reasons and costs.
 *
 * \defgroup errors Errors and logging
 * \brief Why the calling thread's last call failed, and the support log.
 *
 * Every function of qel.h clears the calling thread's last error on entry and
 * sets it when it fails; the classic results and out-parameters are as they
 * always were. The reason is the calling thread's own.
 *
 * Logging for support cases: with the environment variable QEL_LOG set to
 * "error", "info" or "debug" before the library is loaded, the library writes
 * one line per event to standard error (failed calls with their reason; opens
 * and closes with their platform results; every command exchanged with a
 * camera). Off by default; the frame path never logs.
 *
 * \defgroup version Version
 * \brief The library's version, at build time and at run time.
 */

/** One-byte truth value: 1 success, 0 failure. */
typedef unsigned char QelBool;

/** \addtogroup defects
 *  @{ */

/** One defective pixel; 0xFFFF in a coordinate marks an empty entry. */
typedef struct QelDefectPoint {
  uint16_t x; /**< column */
  uint16_t y; /**< row */
} QelDefectPoint;

/** Number of points in one defect table. */
#define QEL_DEFECT_POINTS 20

/** @} */

/* ---- library version ---------------------------------------------------- */

/** \addtogroup version
 *  @{ */

/** Writes the version and build stamp, "Version 1.4.0.0\r\nDate : ...\r\nTime : ..."
 *  (52 characters).
 *  \param text receives the text, zero-terminated
 *  \param size bytes at text; 53 suffice
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL text or a size below 1,
 *          #QEL_ERROR_BUFFER_TOO_SMALL (text then holds "") when it does not fit. */
QEL_API QelBool QEL_CALL QelDLLVersion(char* text, int32_t size);

/** @} */

/* ---- opening and closing ------------------------------------------------ */

/** \addtogroup opening
 *  @{ */

/** Opens the device at listing position key.
 *
 *  Builds the capture at width x height, frameRate and format, then waits a
 *  fixed 3 s and for the first frame (up to 3 s more); a capture that runs
 *  but delivers nothing is rebuilt, three attempts in all. For a camera of the
 *  family it then opens the command channel and reads the data block (22
 *  exchanges, each bounded by 5 s). QelOpenEx() with #QEL_OPEN_FAST returns as
 *  soon as the first frame has arrived.
 *
 *  The position is looked up in a listing of the size last passed to
 *  QelGetDevice() or QelGetDeviceWithSerialNo().
 *  \param key the device's position in QelGetDevice()'s listing; the camera's key from then on
 *  \param width, height the frame size; a camera of the family takes only its model's sizes
 *  \param frameRate frames per second
 *  \param format "YUY2", "MJPG", "H264", "IYUV", "RGB24", "RGB32", "I420" or "RGB555"
 *  \return 0 for a camera of the family, 1 for another device (opened for frames and
 *          video controls only), -1 on failure:
 *          #QEL_ERROR_BAD_ARGUMENT (not a format name), #QEL_ERROR_BUSY (key
 *          already open; ten cameras open), #QEL_ERROR_NO_DEVICE (nothing at
 *          that position), #QEL_ERROR_OUT_OF_RANGE (the device refused the
 *          size, rate or format; a size not of the model),
 *          #QEL_ERROR_PLATFORM (the capture, the command channel or the data
 *          block failed), and the command channel's reasons.
 *  \note Not from a frame callback. */
QEL_API int32_t QEL_CALL QelOpen(int32_t key, int32_t width, int32_t height, double frameRate,
                                 const char* format);
/** Closes the camera opened under key: LED off, command channel closed, capture stopped.
 *
 *  Waits for an exchange under way on the camera's command channel (at most
 *  5 s) and for a running call of its frame callback; a thread waiting in
 *  QelWaitImage() returns -1 with #QEL_ERROR_NO_CAMERA.
 *  \param key the camera's key
 *  \note Sets #QEL_ERROR_NO_CAMERA when no camera is open under key, and
 *        #QEL_ERROR_BUSY, closing nothing, when called from the camera's own
 *        frame callback. */
QEL_API void QEL_CALL QelClose(int32_t key);
/** Opens the camera listed as serialText, in "YUY2", and confirms the serial with the camera.
 *
 *  Lists the devices with their serials (see QelGetDeviceWithSerialNo()),
 *  opens the position found as QelOpen() does, and asks the camera for its
 *  serial number (one exchange).
 *  \param serialText the listed text, e.g. "QEL5#0000ABCD" (at most 123 characters)
 *  \param key receives the key the camera is open under (its listing position)
 *  \param width, height the frame size, one of the model's
 *  \param frameRate frames per second
 *  \return 0 with *key written, or -1: #QEL_ERROR_BAD_ARGUMENT (a NULL
 *          pointer; not a serial text), #QEL_ERROR_NO_DEVICE (nothing is
 *          listed so, or the camera reports another serial), and QelOpen()'s reasons. */
QEL_API int32_t QEL_CALL QelOpenSerialNo(const char* serialText, int32_t* key, int32_t width,
                                         int32_t height, double frameRate);

/** @} */

/* ---- device listing ----------------------------------------------------- */

/** \addtogroup listing
 *  @{ */

/** Lists the video devices' friendly names, comma-separated, in position order.
 *  \param list receives the listing; what fits is written even when the whole does not
 *  \param size bytes at list; the listing takes at most size - 2 characters
 *  \return the number of devices, or -1: #QEL_ERROR_BAD_ARGUMENT (NULL list),
 *          #QEL_ERROR_BUFFER_TOO_SMALL (the listing does not fit). */
QEL_API int32_t QEL_CALL QelGetDevice(char* list, int32_t size);
/** As QelGetDevice(), with "#" and the serial text after each camera of the
 *  family ("QEL5#0000ABCD").
 *
 *  Opens each camera's command interface to read its USB serial string (no
 *  exchange). A camera whose command interface cannot be opened (on Linux, a
 *  hidraw node the user may not open) is listed without its serial; the call
 *  still succeeds, and QelLastError() then tells why (#QEL_ERROR_PLATFORM).
 *  \param list receives the listing
 *  \param size bytes at list
 *  \return the number of devices, or -1 as QelGetDevice(). */
QEL_API int32_t QEL_CALL QelGetDeviceWithSerialNo(char* list, int32_t size);

/** @} */

/* ---- frames ------------------------------------------------------------- */

/** \addtogroup frames
 *  @{ */

/** Copies the newest frame into buffer when one arrived since the last handed
 *  out, defect-corrected while the correction is on; never waits.
 *
 *  The buffer's size is not known to it: a variable-length frame (MJPG)
 *  arriving after QelGetBufferSize() was asked can be longer than the buffer
 *  and is written past its end. New code should use QelReceiveImageEx() or
 *  QelWaitImage(), which take the buffer's size, never write past it and
 *  report the frame's details.
 *  \param key the camera's key
 *  \param buffer receives the frame
 *  \return 1 with a new frame; 0 when none is new, and on failure:
 *          #QEL_ERROR_BAD_ARGUMENT (key -1, NULL buffer), #QEL_ERROR_NO_CAMERA,
 *          #QEL_ERROR_DEVICE_LOST (the camera was unplugged). */
QEL_API QelBool QEL_CALL QelReceiveImage(int32_t key, unsigned char* buffer);
/** Byte length of the most recent frame: the buffer size QelReceiveImage() needs.
 *  \param key the camera's key
 *  \return the length; 0 before the first frame and on failure
 *          (#QEL_ERROR_BAD_ARGUMENT for key -1, #QEL_ERROR_NO_CAMERA). */
QEL_API int32_t QEL_CALL QelGetBufferSize(int32_t key);

/* ---- formats ------------------------------------------------------------ */

/** Lists the first ten capture formats of a device as "n,width,height,fps,name," runs
 *  ("0,1920,1080,30.000000,YUY2,1,...").
 *
 *  Reaches only the devices among the first ten the platform enumerates; the
 *  device need not be open. QelGetFormatListEx() lists every format.
 *  \param deviceIndex the device's position, 0..9
 *  \param text receives the list (at most textSize - 2 characters)
 *  \param textSize bytes at text
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (position past 9, NULL text,
 *          textSize below 1), #QEL_ERROR_NO_DEVICE, #QEL_ERROR_PLATFORM (the
 *          device's formats could not be read), #QEL_ERROR_BUFFER_TOO_SMALL. */
QEL_API QelBool QEL_CALL QelGetFormat(int32_t deviceIndex, char* text, int32_t textSize);

/** @} */

/* ---- exposure and gain over the command channel ------------------------- */

/** \addtogroup command_controls
 *  @{ */

/** Sets the four digital gains on the fixed 0..4095 scale (a QEL5 takes a quarter of each).
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 the gains; only their low 16 bits are looked at
 *  \return 1; 0 with #QEL_ERROR_OUT_OF_RANGE for a gain outside 0..4095. */
QEL_API QelBool QEL_CALL QelSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2, int32_t gain3,
                                           int32_t gain4);
/** Reads the four digital gains on the fixed 0..4095 scale.
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 receive the gains
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                           uint16_t* gain3, uint16_t* gain4);
/** Sets the four digital gains on the camera's raw scale: QEL 0..65535, QEL2
 *  256..4095, QEL5 0..1023 (QelXGetDigitalGainMin(), QelXGetDigitalGainMax()).
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 the gains; only their low 16 bits are looked at
 *  \return 1; 0 with #QEL_ERROR_OUT_OF_RANGE for a gain outside the model's range. */
QEL_API QelBool QEL_CALL QelXSetDigitalGain(int32_t key, int32_t gain1, int32_t gain2,
                                            int32_t gain3, int32_t gain4);
/** Reads the four digital gains on the camera's raw scale.
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 receive the gains
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelXGetDigitalGain(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                            uint16_t* gain3, uint16_t* gain4);
/** The largest raw digital gain of the camera's model, in all four outputs; no exchange.
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 receive the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelXGetDigitalGainMax(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                               uint16_t* gain3, uint16_t* gain4);
/** The smallest raw digital gain of the camera's model, in all four outputs; no exchange.
 *  \param key the camera's key
 *  \param gain1, gain2, gain3, gain4 receive the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelXGetDigitalGainMin(int32_t key, uint16_t* gain1, uint16_t* gain2,
                                               uint16_t* gain3, uint16_t* gain4);
/** Sets the shutter as a line count: QEL and QEL2 1..65530, QEL5 1..10000 (100 µs each).
 *  \param key the camera's key
 *  \param lines the line count; only its low 16 bits are looked at
 *  \return 1; 0 with #QEL_ERROR_OUT_OF_RANGE outside the model's range. */
QEL_API QelBool QEL_CALL QelSetShutter(int32_t key, int32_t lines);
/** Reads the shutter line count.
 *  \param key the camera's key
 *  \param lines receives the count
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetShutter(int32_t key, uint16_t* lines);
/** The largest shutter line count of the camera's model (65530, or 10000 for a QEL5); no exchange.
 *  \param key the camera's key
 *  \param lines receives the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetShutterMax(int32_t key, uint16_t* lines);
/** The smallest shutter line count (1); no exchange.
 *  \param key the camera's key
 *  \param lines receives the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetShutterMin(int32_t key, uint16_t* lines);
/** Sets the shutter as a time, converted to lines: 100 µs each on a QEL5, through the
 *  table of the open size and frame rate on a QEL or QEL2.
 *  \param key the camera's key
 *  \param seconds the time, 0.0001 to 1.0
 *  \return 1; 0 with #QEL_ERROR_OUT_OF_RANGE (outside 0.0001..1.0, NaN),
 *          #QEL_ERROR_NOT_SUPPORTED (no table row for the open size and rate). */
QEL_API QelBool QEL_CALL QelSetShutterTime(int32_t key, double seconds);
/** Reads the shutter as a time in seconds, converted from lines as QelSetShutterTime() does.
 *  \param key the camera's key
 *  \param seconds receives the time
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer),
 *          #QEL_ERROR_NOT_SUPPORTED (no table row for the open size and rate). */
QEL_API QelBool QEL_CALL QelGetShutterTime(int32_t key, double* seconds);
/** Sets the analog gain of a "QEL5" camera (its 16-bit register 0x000D).
 *  \param key the camera's key
 *  \param gain 0..15
 *  \return 1; 0 with #QEL_ERROR_OUT_OF_RANGE above 15,
 *          #QEL_ERROR_NOT_SUPPORTED on another model. */
QEL_API QelBool QEL_CALL Qel5SetAnalogGain(int32_t key, uint32_t gain);
/** Reads the analog gain of a "QEL5" camera.
 *  \param key the camera's key
 *  \param gain receives the gain
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer),
 *          #QEL_ERROR_NOT_SUPPORTED on another model. */
QEL_API QelBool QEL_CALL Qel5GetAnalogGain(int32_t key, int32_t* gain);

/* ---- registers and device information ----------------------------------- */

/** Writes an 8-bit register.
 *  \param key the camera's key
 *  \param address the register; only its low 16 bits are sent
 *  \param value only its low byte is sent
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetRegister(int32_t key, int32_t address, int32_t value);
/** Reads an 8-bit register.
 *  \param key the camera's key
 *  \param address the register; only its low 16 bits are sent
 *  \param value receives the register's value
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetRegister(int32_t key, int32_t address, uint8_t* value);
/** Writes a 16-bit register.
 *  \param key the camera's key
 *  \param address the register; only its low 16 bits are sent
 *  \param value only its low 16 bits are sent
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetRegisterW(int32_t key, int32_t address, int32_t value);
/** Reads a 16-bit register.
 *  \param key the camera's key
 *  \param address the register; only its low 16 bits are sent
 *  \param value receives the register's value
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetRegisterW(int32_t key, int32_t address, uint16_t* value);
/** Copies the firmware's version text (at most 61 characters).
 *  \param key the camera's key
 *  \param text receives the text
 *  \param size bytes at text
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL text, size below 1),
 *          #QEL_ERROR_BUFFER_TOO_SMALL (text then holds ""). */
QEL_API QelBool QEL_CALL QelVersion(int32_t key, char* text, int32_t size);
/** Reads a temperature the camera measures.
 *  \param key the camera's key
 *  \param type 1 or 2, the sensor
 *  \param temperature receives 0..255
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer, another type). */
QEL_API QelBool QEL_CALL QelTemperature(int32_t key, int32_t type, int32_t* temperature);
/** Reads the serial number the camera reports.
 *  \param key the camera's key
 *  \param serial receives the number
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetSerialNo(int32_t key, uint32_t* serial);
/** Stores a new serial number in the camera's data block.
 *
 *  Rewrites the data block: an erase and 22 writes, each bounded by 5 s.
 *  Changes of one camera's data block are serialised.
 *  \param key the camera's key
 *  \param serial the number
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetSerialNo(int32_t key, uint32_t serial);

/** @} */

/* ---- pixel defects ------------------------------------------------------ */

/** \addtogroup defects
 *  @{ */

/** Writes one defect table into the camera's data block.
 *  \param key the camera's key
 *  \param cameraNo 1 or 2
 *  \param sizeIndex 0..2, the model's frame size the table is for (largest first)
 *  \param points #QEL_DEFECT_POINTS points, each inside that frame size or empty
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (key -1 gives #QEL_ERROR_NO_CAMERA;
 *          cameraNo, sizeIndex, NULL points), #QEL_ERROR_OUT_OF_RANGE (a point
 *          outside the frame), #QEL_ERROR_NOT_SUPPORTED (a QEL; no data block),
 *          and the \ref command_controls "command controls'" reasons. */
QEL_API QelBool QEL_CALL QelSetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                           const QelDefectPoint* points);
/** Reads one defect table from the copy of the data block read at the open; no exchange.
 *  \param key the camera's key
 *  \param cameraNo 1 or 2
 *  \param sizeIndex 0..2
 *  \param points receives #QEL_DEFECT_POINTS points
 *  \return 1; 0 with #QEL_ERROR_NO_CAMERA, #QEL_ERROR_BAD_ARGUMENT (cameraNo,
 *          sizeIndex, NULL points), #QEL_ERROR_NOT_SUPPORTED (a QEL; no data block). */
QEL_API QelBool QEL_CALL QelGetPixelDefect(int32_t key, int32_t cameraNo, int32_t sizeIndex,
                                           QelDefectPoint* points);
/** Switches the software defect correction of delivered frames on or off.
 *
 *  The correction patches the table's pixels of the open size and camera
 *  number in each frame QelReceiveImage(), QelReceiveImageEx() and
 *  QelWaitImage() hand out; it applies to uncompressed 16-bit frames of the
 *  table's size only (not MJPG). No exchange.
 *  \param key the camera's key
 *  \param on 1 on, 0 off
 *  \return 1; 0 with #QEL_ERROR_NO_CAMERA (not open, not streaming),
 *          #QEL_ERROR_BAD_ARGUMENT (on not 0 or 1), #QEL_ERROR_NOT_SUPPORTED (a QEL). */
QEL_API QelBool QEL_CALL QelSetPixelDefectOnOff(int32_t key, int32_t on);
/** Reads whether the software defect correction is on; no exchange.
 *  \param key the camera's key
 *  \param on receives 1 or 0
 *  \return 1; 0 with #QEL_ERROR_NO_CAMERA, #QEL_ERROR_BAD_ARGUMENT (NULL pointer),
 *          #QEL_ERROR_NOT_SUPPORTED (a QEL). */
QEL_API QelBool QEL_CALL QelGetPixelDefectOnOff(int32_t key, int32_t* on);

/** @} */

/* ---- device mode and GPIO ----------------------------------------------- */

/** \addtogroup command_controls
 *  @{ */

/** Reads the camera's recognition byte.
 *  \param key the camera's key
 *  \param value receives the byte
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelCameraRecognition(int32_t key, uint8_t* value);
/** Reads the camera's USB mode byte.
 *  \param key the camera's key
 *  \param value receives the byte
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelUSBMode(int32_t key, uint8_t* value);
/** Sets the GPIO direction byte ("QEL" cameras only).
 *  \param key the camera's key
 *  \param direction only its low byte is sent
 *  \return 1; 0 with #QEL_ERROR_NOT_SUPPORTED on another model. */
QEL_API QelBool QEL_CALL QelGPIODirection(int32_t key, int32_t direction);
/** Sets the GPIO output byte ("QEL" cameras only).
 *  \param key the camera's key
 *  \param output only its low byte is sent
 *  \return 1; 0 with #QEL_ERROR_NOT_SUPPORTED on another model. */
QEL_API QelBool QEL_CALL QelGPIOOutput(int32_t key, int32_t output);
/** Reads the GPIO input byte ("QEL" cameras only).
 *  \param key the camera's key
 *  \param value receives the byte
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer),
 *          #QEL_ERROR_NOT_SUPPORTED on another model. */
QEL_API QelBool QEL_CALL QelGPIOInput(int32_t key, uint8_t* value);

/** @} */

/* ---- video-class controls ----------------------------------------------- */

/** \addtogroup video_controls
 *  @{ */

/** Sets the LED level (the device's brightness property).
 *  \param key the camera's key
 *  \param level 0 (off) ..64
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetLed(int32_t key, int32_t level);
/** Reads the LED level.
 *  \param key the camera's key
 *  \param level receives the level
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetLed(int32_t key, int32_t* level);
/** Sets the gain on the fixed 0..240 scale (a QEL5's property is four times finer).
 *  \param key the camera's key; a camera of the family
 *  \param gain 0..240
 *  \return 1; 0 with #QEL_ERROR_NOT_SUPPORTED for a device not of the family. */
QEL_API QelBool QEL_CALL QelSetGain(int32_t key, int32_t gain);
/** Reads the gain on the fixed 0..240 scale.
 *  \param key the camera's key; a camera of the family
 *  \param gain receives the gain
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer), #QEL_ERROR_NOT_SUPPORTED. */
QEL_API QelBool QEL_CALL QelGetGain(int32_t key, int32_t* gain);
/** Sets the gain on the camera's raw scale (0..240; a QEL5 0..4095).
 *  \param key the camera's key; a camera of the family
 *  \param gain the raw gain
 *  \return 1; 0 with #QEL_ERROR_NOT_SUPPORTED for a device not of the family. */
QEL_API QelBool QEL_CALL QelXSetGain(int32_t key, int32_t gain);
/** Reads the gain on the camera's raw scale.
 *  \param key the camera's key; a camera of the family
 *  \param gain receives the gain
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer), #QEL_ERROR_NOT_SUPPORTED. */
QEL_API QelBool QEL_CALL QelXGetGain(int32_t key, int32_t* gain);
/** The largest raw gain of the camera's model (240, or 4095 for a QEL5); no property call.
 *  \param key the camera's key; a camera of the family
 *  \param gain receives the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer), #QEL_ERROR_NO_CAMERA,
 *          #QEL_ERROR_NOT_SUPPORTED. */
QEL_API QelBool QEL_CALL QelXGetGainMax(int32_t key, int32_t* gain);
/** The smallest raw gain of the camera's model (0); no property call.
 *  \param key the camera's key; a camera of the family
 *  \param gain receives the bound
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL pointer), #QEL_ERROR_NO_CAMERA,
 *          #QEL_ERROR_NOT_SUPPORTED. */
QEL_API QelBool QEL_CALL QelXGetGainMin(int32_t key, int32_t* gain);
/** Sets the exposure; any device, webcams included.
 *  \param key the camera's key
 *  \param exposure -13..0, log2 seconds
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetExposure(int32_t key, int32_t exposure);
/** Reads the exposure.
 *  \param key the camera's key
 *  \param exposure receives the exposure, log2 seconds
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetExposure(int32_t key, int32_t* exposure);
/** Sets the camera number (the device's hue property), which also chooses the defect table.
 *  \param key the camera's key
 *  \param number 1 or 2
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetCameraNo(int32_t key, int32_t number);
/** Reads the camera number as the camera reports it.
 *  \param key the camera's key
 *  \param number receives the number
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetCameraNo(int32_t key, int32_t* number);
/** Switches the colour bar (the device's contrast property) on or off.
 *  \param key the camera's key
 *  \param on 1 on, 0 off
 *  \return 1, or 0 for the group's reasons. */
QEL_API QelBool QEL_CALL QelSetColorBar(int32_t key, int32_t on);
/** Reads the colour bar switch.
 *  \param key the camera's key
 *  \param on receives 1 or 0
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT for a NULL pointer. */
QEL_API QelBool QEL_CALL QelGetColorBar(int32_t key, int32_t* on);

/** @} */

/* ---- firmware rewrite --------------------------------------------------- */

/** \addtogroup firmware
 *  @{ */

/** Starts writing a firmware image file to the camera; returns once it has started.
 *
 *  Reads the file into memory and has the camera erase the blocks the image
 *  will occupy (one exchange, bounded by 5 s); a thread of the library then
 *  writes the image in 56-byte blocks and reads each back, one exchange per
 *  block and phase, trying a block up to six times. One rewrite runs at a
 *  time in the process. Follow it with QelSoftRewriteState().
 *  \param key the camera's key; a camera of the family
 *  \param path the image, a regular file of at most 16,777,208 bytes
 *  \return 1 when started; 0 with #QEL_ERROR_BAD_ARGUMENT (NULL path),
 *          #QEL_ERROR_FILE (not a regular file, unreadable, empty, too large),
 *          #QEL_ERROR_BUSY (a rewrite is under way), #QEL_ERROR_PLATFORM (no
 *          thread), and the \ref command_controls "command controls'" reasons. */
QEL_API QelBool QEL_CALL QelSoftRewrite(int32_t key, const char* path);
/** Polls the rewrite started on the camera; never waits for it.
 *  \param key the camera's key
 *  \param seconds receives the seconds since it started
 *  \param percent receives its progress: writing goes to 50, verifying to 100
 *  \return 3 started, 1 writing, 2 verifying, 0 done; -1 when it failed (its
 *          reason: #QEL_ERROR_TIMEOUT, #QEL_ERROR_DEVICE_LOST, #QEL_ERROR_REFUSED
 *          for a block refused or read back different six times) or on failure:
 *          #QEL_ERROR_BAD_ARGUMENT (a NULL pointer; no rewrite was started on
 *          this camera), #QEL_ERROR_NO_CAMERA, #QEL_ERROR_NOT_SUPPORTED. */
QEL_API int32_t QEL_CALL QelSoftRewriteState(int32_t key, int32_t* seconds, float* percent);

/** @} */

/* ==== extended functions ================================================= *
 * Added beside the classic functions above, which keep their behaviour.
 * Prefer these in new code: they take buffer sizes, can wait, and say why
 * they failed.
 */

/** \addtogroup errors
 *  @{ */

/** \name Reasons
 *  The reasons a call can fail, as QelLastErrorCode() returns them.
 *  @{ */
/** The thread's last call succeeded. */
#define QEL_OK 0
/** No camera is open under this key (or it closed meanwhile). */
#define QEL_ERROR_NO_CAMERA 1
/** A null pointer, a bad size or text. */
#define QEL_ERROR_BAD_ARGUMENT 2
/** A value outside what this camera's model accepts. */
#define QEL_ERROR_OUT_OF_RANGE 3
/** This camera (its model, or a webcam) has no such setting. */
#define QEL_ERROR_NOT_SUPPORTED 4
/** No device at this position or with this serial. */
#define QEL_ERROR_NO_DEVICE 5
/** Already open, or a rewrite or close is under way. */
#define QEL_ERROR_BUSY 6
/** The camera did not answer in time. */
#define QEL_ERROR_TIMEOUT 7
/** The camera answered that it did not carry the command out. */
#define QEL_ERROR_REFUSED 8
/** A call of the operating system or its capture framework failed. */
#define QEL_ERROR_PLATFORM 9
/** Memory could not be had. */
#define QEL_ERROR_NO_MEMORY 10
/** The frame or text does not fit the buffer given. */
#define QEL_ERROR_BUFFER_TOO_SMALL 11
/** The camera was unplugged while open. */
#define QEL_ERROR_DEVICE_LOST 12
/** A file could not be read. */
#define QEL_ERROR_FILE 13
/** @} */

/** @} */

/** \addtogroup frames
 *  @{ */

/** Room for any format name the library gives, with its terminating zero:
 *  names such as "RGB555", or up to eight hexadecimal digits ("3231564E")
 *  for a subtype without a name. */
#define QEL_FORMAT_NAME_SIZE 16

/** What is known of one received frame.
 *
 *  Set size to sizeof(QelFrameInfo) before passing it in; later versions add
 *  fields only at the end. The library fills no more than size bytes, so a
 *  caller built against an earlier version (whose struct ends before
 *  formatName) keeps working. */
typedef struct QelFrameInfo {
  /** Set by the caller to sizeof(QelFrameInfo); at least #QEL_FRAME_INFO_MIN_SIZE. */
  uint32_t size;
  int32_t width;     /**< the stream's width in pixels */
  int32_t height;    /**< the stream's height in pixels */
  char format[8];    /**< the format's name cut to 7 characters; read formatName instead */
  int32_t bytes;     /**< length of this frame; with #QEL_ERROR_BUFFER_TOO_SMALL the size needed */
  double sampleTime; /**< the capture framework's sample time, seconds */
  uint64_t sequence; /**< frames delivered by this stream since it started, this one included */
  /** Frames overwritten before any caller received them, since the stream started. */
  uint64_t dropped;
  /** The format's whole name, as QelGetFormat() writes it (since 1.3). */
  char formatName[QEL_FORMAT_NAME_SIZE];
} QelFrameInfo;

/** The smallest QelFrameInfo::size accepted: the struct of versions before
 *  1.3, which ends before formatName. */
#define QEL_FRAME_INFO_MIN_SIZE 48

/** One capture format of a device, as QelGetFormatList() fills it. Its format
 *  field holds at most 7 characters of the name: new code uses QelFormatEx. */
typedef struct QelFormat {
  int32_t width;    /**< pixels */
  int32_t height;   /**< pixels */
  double frameRate; /**< frames per second */
  char format[8];   /**< the name cut to 7 characters */
} QelFormat;

/** One capture format of a device, as QelGetFormatListEx() fills it (since 1.3). */
typedef struct QelFormatEx {
  int32_t width;         /**< pixels */
  int32_t height;        /**< pixels */
  double frameRate;      /**< 10000000 / frameInterval, as QelGetFormat() lists it */
  int64_t frameInterval; /**< the device's frame interval in 100 ns units */
  /** "YUY2", "MJPG", ...; an unnamed subtype as hexadecimal text. */
  char format[QEL_FORMAT_NAME_SIZE];
} QelFormatEx;

/** @} */

/** \addtogroup opening
 *  @{ */

/** Flag of QelOpenEx() and QelOpenSerialNoEx(): succeed as soon as the first
 *  frame has arrived (a few milliseconds on the rig) instead of after the
 *  classic fixed 3 s. */
#define QEL_OPEN_FAST 0x1

/** @} */

/** \addtogroup frames
 *  @{ */

/** Copies the newest frame when one arrived since the last handed out (by
 *  this function, QelWaitImage() or QelReceiveImage()), never writing more
 *  than bufferSize bytes, and corrects defective pixels as QelReceiveImage()
 *  does. Never waits.
 *  \param key the camera's key
 *  \param buffer receives the frame; may be NULL when bufferSize is 0
 *  \param bufferSize bytes at buffer
 *  \param info receives what is known of the frame; may be NULL; its size set by the caller
 *  \return 1 with a frame; 0 when no new frame has arrived; -1 on failure:
 *          #QEL_ERROR_BUFFER_TOO_SMALL with info->bytes set to the length
 *          needed (the frame stays, so the next call with a larger buffer
 *          receives it), #QEL_ERROR_BAD_ARGUMENT (negative size, NULL buffer
 *          with a size, info->size below #QEL_FRAME_INFO_MIN_SIZE),
 *          #QEL_ERROR_NO_CAMERA (not open, closed), #QEL_ERROR_DEVICE_LOST
 *          (unplugged while open). */
QEL_API int32_t QEL_CALL QelReceiveImageEx(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                           QelFrameInfo* info);
/** As QelReceiveImageEx(), but sleeps until a new frame arrives, up to timeoutMs.
 *
 *  Returns within microseconds of the frame's arrival; an unplug ends the
 *  wait within 100 ms. Several threads may wait on one camera; each new frame
 *  goes to one of them.
 *
 *  The recommended receive loop:
 *  \code
 *  QelFrameInfo info = {.size = sizeof info};
 *  for (;;) {
 *    int32_t got = QelWaitImage(key, buffer, size, &info, 1000);
 *    if (got == 1) use(buffer, &info);
 *    else if (got == -1 && QelLastErrorCode() == QEL_ERROR_BUFFER_TOO_SMALL)
 *      buffer = realloc(buffer, size = info.bytes);
 *    else if (got == -1) break;  // closed or unplugged: QelLastError says which
 *  }
 *  \endcode
 *  \param key the camera's key
 *  \param buffer receives the frame; may be NULL when bufferSize is 0
 *  \param bufferSize bytes at buffer
 *  \param info receives what is known of the frame; may be NULL
 *  \param timeoutMs the longest wait in milliseconds; negative: without limit
 *  \return 1 with a frame; 0 when the time passed without one; -1 as
 *          QelReceiveImageEx(), and when the camera is closed
 *          (#QEL_ERROR_NO_CAMERA) or unplugged during the wait, and
 *          #QEL_ERROR_BUSY when called from the camera's frame callback. */
QEL_API int32_t QEL_CALL QelWaitImage(int32_t key, unsigned char* buffer, int32_t bufferSize,
                                      QelFrameInfo* info, int32_t timeoutMs);

/** A function the application installs with QelSetFrameCallback().
 *
 *  Called on the capture's streaming thread after each frame is stored, with
 *  the frame as delivered (before defect correction) and its info. It may
 *  call QelReceiveImageEx() and QelReceiveImage(), QelGetStreamFormat(), the
 *  settings functions and QelSetFrameCallback() for its camera; it must not
 *  call QelOpen*, QelClose() or QelWaitImage() (QelClose() and QelWaitImage()
 *  on this thread are refused with #QEL_ERROR_BUSY). Keep it short: the
 *  stream waits for it, and a command control from here holds it for up to
 *  5 s.
 *  \param key the camera's key
 *  \param frame the frame's bytes, info->bytes of them; read-only, valid only during the call
 *  \param info what is known of the frame; valid only during the call
 *  \param user the pointer given to QelSetFrameCallback() */
typedef void(QEL_CALL* QelFrameCallback)(int32_t key, const unsigned char* frame,
                                         const QelFrameInfo* info, void* user);
/** Installs callback for the open camera under key, replacing any other; NULL removes it.
 *
 *  Removing, replacing or closing the camera waits until a running call of
 *  the old callback has returned, so user may be freed afterwards (unless
 *  called from inside the callback itself, which does not wait for itself).
 *  \param key the camera's key
 *  \param callback the function, or NULL
 *  \param user passed to every call of callback
 *  \return 1; 0 with #QEL_ERROR_NO_CAMERA (not open, not streaming),
 *          #QEL_ERROR_DEVICE_LOST (installing on an unplugged camera).
 *          Removing from a stream that has ended succeeds. */
QEL_API QelBool QEL_CALL QelSetFrameCallback(int32_t key, QelFrameCallback callback, void* user);

/** The running stream of the camera under key: size, frame rate and format name.
 *  Any pointer may be NULL.
 *  \param key the camera's key
 *  \param width, height receive the frame size
 *  \param frameRate receives the frame rate the stream was opened with
 *  \param format receives the format's name
 *  \param formatSize bytes at format; #QEL_FORMAT_NAME_SIZE always suffices, and 9
 *         fits every name the library gives
 *  \return 1; 0 with #QEL_ERROR_NO_CAMERA (not open, not streaming),
 *          #QEL_ERROR_BUFFER_TOO_SMALL (the name does not fit formatSize). */
QEL_API QelBool QEL_CALL QelGetStreamFormat(int32_t key, int32_t* width, int32_t* height,
                                            double* frameRate, char* format, int32_t formatSize);

/** Every capture format of a device, in the order QelGetFormat() lists them
 *  but without its limit of ten, as 1.x's record (names cut to 7 characters).
 *
 *  The device need not be open. Call with capacity 0 to learn the count.
 *  \param device the device's QelGetDevice() position
 *  \param formats receives at most capacity entries; may be NULL when capacity is 0
 *  \param capacity entries at formats
 *  \return how many formats there are (which may exceed capacity: call again
 *          with that many); -1 with #QEL_ERROR_NO_DEVICE (nothing at that
 *          position), #QEL_ERROR_BAD_ARGUMENT (negative capacity, NULL formats
 *          with a capacity), #QEL_ERROR_PLATFORM (the formats could not be read). */
QEL_API int32_t QEL_CALL QelGetFormatList(int32_t device, QelFormat* formats, int32_t capacity);
/** As QelGetFormatList(), with each format's whole name and its frame interval (since 1.3).
 *  \param device the device's QelGetDevice() position
 *  \param formats receives at most capacity entries; may be NULL when capacity is 0
 *  \param capacity entries at formats
 *  \return how many formats there are; -1 as QelGetFormatList(). */
QEL_API int32_t QEL_CALL QelGetFormatListEx(int32_t device, QelFormatEx* formats, int32_t capacity);
/** The frame rate a frame interval stands for, as people write it (since 1.4).
 *
 *  A rate within 0.05 % of a whole number n, or of n * 1000/1001, is that
 *  rate: an interval of 333333 (listed as 30.000030) is 30/1 and "30", one
 *  of 166833 is 60000/1001 and "59.94". Any other keeps the interval's exact
 *  fraction 10000000 / frameInterval, written to three decimals ("7.5" for
 *  1333333). Any pointer may be NULL.
 *  \param frameInterval the interval in 100 ns units, as QelFormatEx::frameInterval
 *  \param numerator, denominator receive the rate as a reduced fraction of
 *         frames per second; 0/1 for an interval of 0 or below (no rate)
 *  \param text receives the rate as written, without trailing zeros ("0" for no rate)
 *  \param textSize bytes at text; 16 always suffice
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (negative textSize, NULL text
 *          with a size), #QEL_ERROR_BUFFER_TOO_SMALL (text then holds ""). */
QEL_API QelBool QEL_CALL QelNominalFrameRate(int64_t frameInterval, int32_t* numerator,
                                             int32_t* denominator, char* text, int32_t textSize);

/** @} */

/** \addtogroup errors
 *  @{ */

/** The reason for the calling thread's last failed call. Does not change it.
 *  \return a QEL_ERROR_* code, or #QEL_OK when the thread's last call succeeded. */
QEL_API int32_t QEL_CALL QelLastErrorCode(void);
/** The same reason as a sentence naming the call and its values, e.g.
 *  "QelSetShutter: 20000 lines is outside 1..10000 for a QEL5"; "" when the
 *  last call succeeded. Does not change the reason.
 *  \param text receives at most size bytes, zero-terminated; may be NULL with size 0
 *  \param size bytes at text
 *  \return the sentence's length without the terminating zero; -1 when text
 *          is NULL with a non-zero size, or size is negative. */
QEL_API int32_t QEL_CALL QelLastError(char* text, int32_t size);

/** @} */

/** \addtogroup version
 *  @{ */

/** The library's version: the numbers QEL_VERSION_* of the header it was
 *  built with, to compare with those an application was compiled against.
 *  Never fails.
 *  \param major, minor, patch receive the numbers; any may be NULL */
QEL_API void QEL_CALL QelLibraryVersion(int32_t* major, int32_t* minor, int32_t* patch);

/** @} */

/** \addtogroup opening
 *  @{ */

/** QelOpen() with flags.
 *
 *  Without flags it is QelOpen(); with #QEL_OPEN_FAST the open returns as soon
 *  as the first frame has arrived, instead of after a fixed wait of 3 s
 *  (still bounded by 3000 ms per attempt and three attempts).
 *  \param key the device's position; the camera's key from then on
 *  \param width, height the frame size
 *  \param frameRate frames per second
 *  \param format the format's name, as QelOpen() takes it
 *  \param flags 0 or #QEL_OPEN_FAST
 *  \return as QelOpen(); -1 with #QEL_ERROR_BAD_ARGUMENT for unknown flags. */
QEL_API int32_t QEL_CALL QelOpenEx(int32_t key, int32_t width, int32_t height, double frameRate,
                                   const char* format, uint32_t flags);
/** QelOpenSerialNo() with flags, as QelOpenEx().
 *  \param serialText the listed text, e.g. "QEL5#0000ABCD"
 *  \param key receives the camera's key
 *  \param width, height the frame size
 *  \param frameRate frames per second
 *  \param flags 0 or #QEL_OPEN_FAST
 *  \return as QelOpenSerialNo(); -1 with #QEL_ERROR_BAD_ARGUMENT for unknown flags. */
QEL_API int32_t QEL_CALL QelOpenSerialNoEx(const char* serialText, int32_t* key, int32_t width,
                                           int32_t height, double frameRate, uint32_t flags);

/** @} */

/* ---- settings by name (since 1.4) ---------------------------------------- */

/** \addtogroup settings
 *  @{ */

#define QEL_SETTING_NAME_SIZE 32         /**< room for QelSetting::name */
#define QEL_SETTING_LABEL_SIZE 48        /**< room for QelSetting::label and QelSetting::call */
#define QEL_SETTING_UNIT_SIZE 16         /**< room for QelSetting::unit */
#define QEL_SETTING_MAX_VALUES 4         /**< the most values a setting has (digital gains) */
#define QEL_SETTING_MAX_CHOICES 8        /**< the most choices a setting has */
#define QEL_SETTING_CHOICE_LABEL_SIZE 24 /**< room for QelSettingChoice::label */

/** \name Kinds of setting (QelSetting::kind)
 *  @{ */
#define QEL_SETTING_INTEGER 1 /**< a whole number in minimum..maximum, in steps of step */
#define QEL_SETTING_REAL 2    /**< a number in minimum..maximum */
#define QEL_SETTING_BOOLEAN 3 /**< 0 (off) or 1 (on) */
#define QEL_SETTING_CHOICE 4  /**< one of choices[].value */
#define QEL_SETTING_GROUP 5   /**< valueCount whole numbers, each in minimum..maximum */
/** @} */

/** \name Access (QelSetting::access)
 *  @{ */
#define QEL_SETTING_READ 0x1  /**< QelGetSetting() reads it */
#define QEL_SETTING_WRITE 0x2 /**< QelSetSetting() changes it */
/** @} */

/** \name Flags (QelSetting::flags)
 *  @{ */
#define QEL_SETTING_HAS_DEFAULT 0x1 /**< defaultValue holds the camera's default */
#define QEL_SETTING_HAS_VALUE 0x2   /**< value[] holds the current value, as read just now */
/** @} */

/** One choice of a #QEL_SETTING_CHOICE setting. */
typedef struct QelSettingChoice {
  double value;                              /**< the value QelSetSetting() takes */
  char label[QEL_SETTING_CHOICE_LABEL_SIZE]; /**< for people */
} QelSettingChoice;

/** One setting of an open camera, as QelGetSettingList() and QelDescribeSetting() fill it. */
typedef struct QelSetting {
  char name[QEL_SETTING_NAME_SIZE];     /**< "led", "gain", "digital-gain", ... */
  char label[QEL_SETTING_LABEL_SIZE];   /**< for people: "LED", "Digital gain" */
  char unit[QEL_SETTING_UNIT_SIZE];     /**< "s", "lines", "log2 s"; "" for none */
  char call[QEL_SETTING_LABEL_SIZE];    /**< the function that carries it out: "QelSetLed" */
  int32_t kind;                         /**< #QEL_SETTING_INTEGER ... #QEL_SETTING_GROUP */
  int32_t access;                       /**< #QEL_SETTING_READ | #QEL_SETTING_WRITE */
  uint32_t flags;                       /**< #QEL_SETTING_HAS_DEFAULT | #QEL_SETTING_HAS_VALUE */
  int32_t valueCount;                   /**< 1, or the size of a group */
  double minimum;                       /**< this camera's range (of each member of a group) */
  double maximum;                       /**< the top of the range */
  double step;                          /**< 1 for integers; the resolution of a real */
  double defaultValue;                  /**< the camera's default, with #QEL_SETTING_HAS_DEFAULT */
  double value[QEL_SETTING_MAX_VALUES]; /**< the current value(s), with #QEL_SETTING_HAS_VALUE */
  int32_t choiceCount;                  /**< entries of choices; 0 unless #QEL_SETTING_CHOICE */
  QelSettingChoice choices[QEL_SETTING_MAX_CHOICES]; /**< the values a choice takes */
} QelSetting;

/** Describes every setting of the open camera under key, in a fixed order.
 *
 *  Reads the current value of each readable setting (a few command exchanges
 *  with the camera, each bounded by 5 s, and property reads); a value that
 *  cannot be read leaves #QEL_SETTING_HAS_VALUE clear. Call with capacity 0 to
 *  learn the count without reading anything.
 *  \param key the camera's key
 *  \param settings receives at most capacity entries; may be NULL when capacity is 0
 *  \param capacity entries at settings
 *  \return how many settings there are (call again with that many); -1 with
 *          #QEL_ERROR_BAD_ARGUMENT (negative capacity, NULL settings with a
 *          capacity), #QEL_ERROR_NO_CAMERA, or the reason a range could not be read. */
QEL_API int32_t QEL_CALL QelGetSettingList(int32_t key, QelSetting* settings, int32_t capacity);
/** Describes one setting by name, reading its current value as QelGetSettingList() does.
 *  \param key the camera's key
 *  \param name the setting's name, e.g. "led"
 *  \param setting receives the description
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (a NULL pointer, a name no camera
 *          has), #QEL_ERROR_NOT_SUPPORTED (one this camera lacks), #QEL_ERROR_NO_CAMERA. */
QEL_API QelBool QEL_CALL QelDescribeSetting(int32_t key, const char* name, QelSetting* setting);
/** Reads a setting through the function QelSetting::call names (its getter).
 *  \param key the camera's key
 *  \param name the setting's name
 *  \param values receives the value(s)
 *  \param count room at values: 1, or a group's valueCount
 *  \return 1; 0 with #QEL_ERROR_BAD_ARGUMENT (unknown name, NULL values, count
 *          too small), #QEL_ERROR_NOT_SUPPORTED (a setting this camera lacks, a
 *          write-only one), and the reasons of the function that reads it. */
QEL_API QelBool QEL_CALL QelGetSetting(int32_t key, const char* name, double* values,
                                       int32_t count);
/** Changes a setting through the function QelSetting::call names.
 *  \param key the camera's key
 *  \param name the setting's name
 *  \param values the value(s)
 *  \param count 1, or a group's valueCount (a group given one value sets every member to it)
 *  \return 1; 0 with the reason of the function that carries it out (a value
 *          outside the camera's range gives #QEL_ERROR_OUT_OF_RANGE),
 *          #QEL_ERROR_BAD_ARGUMENT (unknown name, NULL values, another count, a
 *          fraction given to a whole-number setting), #QEL_ERROR_NOT_SUPPORTED
 *          (a setting this camera lacks, a read-only one). */
QEL_API QelBool QEL_CALL QelSetSetting(int32_t key, const char* name, const double* values,
                                       int32_t count);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* QEL_QEL_H */
