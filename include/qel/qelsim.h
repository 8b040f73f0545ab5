/**
 * \file qelsim.h
 * \brief Control interface of the virtual camera rig.
 *
 * \defgroup rig The virtual camera rig
 * \brief qelsim.h: the simulated platform and cameras the tests, the demo and the examples run on.
 *
 * The rig simulates the platform under the library: an ordered list of
 * video-input devices with their capture formats and video properties and a
 * streaming thread per running graph, the HID interfaces of the cameras with
 * a firmware simulator behind each, a clock, fault injection and a log of
 * everything the library sent.
 *
 * Choosing the platform. Where the library is built with a hardware backend
 * (Windows always; Linux when built with its hardware backend) that backend
 * is the default platform and the rig is used once chosen: by
 * qelsim_enable(1), or by the environment variable QEL_PLATFORM=rig, read at
 * the library's first use ("hardware", unset or any other value: the
 * default). qelsim_enable overrides the variable. Where no hardware backend
 * is built the rig is the only platform and is used whatever was chosen.
 *
 * Every function is thread-safe. Device ids are stable handles returned by
 * the qelsim_add_* functions, numbered from 0 in the order of addition after
 * each qelsim_reset and never reused until the next reset (the default
 * population is 0 to 3); the order of devices in the platform's enumeration
 * is the order in which they were added.
 * Functions returning int return 0 (or a non-negative id/count) on success and
 * -1 when an argument names nothing.
 */
#ifndef QEL_QELSIM_H
#define QEL_QELSIM_H

#include <stdint.h>

#include "qel/qel.h"

#ifdef __cplusplus
extern "C" {
#endif

/** \addtogroup rig
 *  @{ */

/* ---- the rig as a whole ------------------------------------------------- */

/** Routes the library to the rig (1) or to the hardware backend (0). No effect
 *  where there is no hardware backend: the rig is then always used. Switch only
 *  while no camera is open. */
QEL_API void QEL_CALL qelsim_enable(int on);
/** 1 while the library uses the rig, 0 while it uses the hardware backend. */
QEL_API int QEL_CALL qelsim_enabled(void);

/** Removes every device, fault and log entry and clears the clock state. With
 *  populate 1 the default population is added afterwards; a process starts
 *  with it too:
 *   - "Screen Capture", a software source without "@device:pnp" (not listed);
 *   - "QEL5", serial 0x0000ABCD: 1920x1080, 960x540, 480x270 at 30 and 60 fps,
 *     "YUY2" and "MJPG";
 *   - "QEL2", serial 0x00C0FFEE: 1280x720 at 60/30/10/5, 656x408 at
 *     120/60/30/15, 328x204 at 240/120/60/40 fps, "YUY2" and "MJPG";
 *   - "USB Camera, HD", a webcam: 640x480 "YUY2" and 1280x720 "MJPG" at 30 fps.
 *  No camera may be open when the rig is reset. */
QEL_API void QEL_CALL qelsim_reset(int populate);

/* ---- devices ------------------------------------------------------------ */

/** Adds a camera of the family: a video device named friendlyName plus a HID
 *  control interface paired with it, and a firmware whose data block and USB
 *  serial string carry serial. Gets the formats of its model ("QEL"/"QEL2" as
 *  QEL2 above, "QEL5" as QEL5 above; any other name gets 640x480 YUY2 30 fps).
 *  Returns the device id. */
QEL_API int QEL_CALL qelsim_add_camera(const char* friendlyName, uint32_t serial);
/** Adds a plug-and-play webcam without HID interface; 640x480 YUY2 and
 *  1280x720 MJPG at 30 fps. Returns the device id. */
QEL_API int QEL_CALL qelsim_add_webcam(const char* friendlyName);
/** Adds a video source that is not a plug-and-play device (a software
 *  source): it is enumerated, but the library lists and opens only
 *  plug-and-play devices, so it takes no key. 640x480 YUY2 at 30 fps.
 *  Returns the device id. */
QEL_API int QEL_CALL qelsim_add_software_source(const char* friendlyName);
/** Removes a device (unplugs it). A running graph on it stops delivering. */
QEL_API int QEL_CALL qelsim_remove_device(int device);
/** Number of devices in the enumeration. */
QEL_API int QEL_CALL qelsim_device_count(void);
/** The id of the device at a position of the enumeration; -1 past its end. */
QEL_API int QEL_CALL qelsim_device_id(int position);

/** Replaces the device's display name (the moniker display name). */
QEL_API int QEL_CALL qelsim_set_display_name(int device, const char* displayName);
/** Copies the device's display name into text (size bytes). */
QEL_API int QEL_CALL qelsim_get_display_name(int device, char* text, int32_t size);

/* ---- capture formats ---------------------------------------------------- */

/** Removes every stream capability of the device. */
QEL_API int QEL_CALL qelsim_clear_formats(int device);
/** Adds a stream capability: size, frame interval in 100 ns units, subtype by
 *  name ("YUY2", "MJPG", "H264", "IYUV", "RGB24", "RGB32", "I420", "RGB555",
 *  "Y16") or "0x%08X" for a FOURCC value, and whether its format type is
 *  FORMAT_VideoInfo (1) or FORMAT_VideoInfo2 (0). The first capability is the
 *  pin's format until the library sets one. */
QEL_API int QEL_CALL qelsim_add_format(int device, int32_t width, int32_t height,
                                       int64_t frameInterval, const char* subtype, int videoInfo);
/** The format the library last set on the device's capture pin. */
QEL_API int QEL_CALL qelsim_current_format(int device, int32_t* width, int32_t* height,
                                           int64_t* frameInterval, char* subtype,
                                           int32_t subtypeSize);

/* ---- video properties --------------------------------------------------- */

/** Sets a property's support, range and current state. Property index 0..9:
 *  IAMVideoProcAmp 0..9; 10..16: IAMCameraControl 0..6. */
QEL_API int QEL_CALL qelsim_set_property(int device, int index, int supported, int32_t min,
                                         int32_t max, int32_t step, int32_t defaultValue,
                                         int32_t value, int32_t flags);
/** Reads a property's current value and flags. */
QEL_API int QEL_CALL qelsim_get_property(int device, int index, int32_t* value, int32_t* flags);
/** Whether the device's filter offers IAMVideoProcAmp / IAMCameraControl at all. */
QEL_API int QEL_CALL qelsim_set_property_interfaces(int device, int videoProcAmp,
                                                    int cameraControl);

/* ---- frames ------------------------------------------------------------- */

/** \name Frame modes (qelsim_set_frame_mode)
 *  @{ */
/** The default: pictures of the test scene (YUY2 frames, MJPG frames as JPEG
 *  images of varying length) carrying the frame check; other formats, and
 *  frames smaller than 16x16, carry the check pattern. */
#define QELSIM_FRAMES_PATTERN 0
#define QELSIM_FRAMES_EMPTY 1   /**< every sample has length 0 */
#define QELSIM_FRAMES_VARYING 2 /**< pattern frames whose length varies per frame */
#define QELSIM_FRAMES_NONE 3    /**< the stream runs but delivers nothing */
/** Full-length frames of the check pattern alone, as qelsim_fill_frame writes
 *  them, whatever the format. */
#define QELSIM_FRAMES_CHECK_PATTERN 4
/** @} */

/** How the device's stream delivers frames: a QELSIM_FRAMES_* mode. */
QEL_API int QEL_CALL qelsim_set_frame_mode(int device, int mode);
/** Number of frames the device has delivered to the sample grabber callback. */
QEL_API int64_t QEL_CALL qelsim_frames_delivered(int device);

/** Checks a frame (pattern or picture); 1 and the counter when it is intact,
 *  0 otherwise.
 *
 *  The check pattern is a 16-byte header ("QELF", frame counter, length,
 *  checksum of the rest) followed by bytes derived from the counter. A
 *  picture carries a 16-byte stamp ("QELP", counter, length, checksum of the
 *  whole frame): a YUY2 picture in its first 8 pixels, a JPEG image in an
 *  APP15 segment right after its start marker. Either way a torn, stale, cut
 *  or corrupted frame is detected. */
QEL_API int QEL_CALL qelsim_check_frame(const unsigned char* frame, int32_t length,
                                        int64_t* counter);
/** Writes the pattern frame number counter of length bytes into frame. */
QEL_API void QEL_CALL qelsim_fill_frame(unsigned char* frame, int32_t length, int64_t counter);

/* ---- HID interfaces and firmware ---------------------------------------- */

/** \name HID interface flags (qelsim_add_hid_interface, qelsim_set_hid_flags)
 *  @{ */
#define QELSIM_HID_UNOPENABLE 0x01 /**< CreateFile fails */
#define QELSIM_HID_NO_CAPS 0x02    /**< HidD_GetPreparsedData fails */
#define QELSIM_HID_NO_SERIAL 0x04  /**< HidD_GetSerialNumberString fails */
#define QELSIM_HID_NO_PARENT 0x08  /**< CM_Get_Parent fails */
#define QELSIM_HID_NO_DETAIL 0x10  /**< SetupDiGetDeviceInterfaceDetail fails */
/** @} */

/** Adds another HID interface to a camera, in front of (first 1) or behind its
 *  existing ones, with QELSIM_HID_* flags; it answers with the same firmware.
 *  Returns the interface's number within the camera. */
QEL_API int QEL_CALL qelsim_add_hid_interface(int device, int first, int flags);
/** Replaces the flags of a camera's HID interface. */
QEL_API int QEL_CALL qelsim_set_hid_flags(int device, int interfaceNumber, int flags);
/** Replaces the parent instance ID of a camera's HID interfaces (the text that
 *  pairs them with the video device). */
QEL_API int QEL_CALL qelsim_set_hid_parent_id(int device, const char* instanceId);
/** Adds a HID interface that belongs to no video device (a mouse, say). */
QEL_API int QEL_CALL qelsim_add_foreign_hid(const char* parentInstanceId);
/** Sets the report lengths a camera's HID interfaces report and use. */
QEL_API int QEL_CALL qelsim_set_hid_report_lengths(int device, int input, int output);
/** Replaces the USB serial-number string (NULL: unreadable). */
QEL_API int QEL_CALL qelsim_set_usb_serial(int device, const char* serialText);

/** Sets the serial number the firmware reports over the command channel
 *  (GetSerialNo), leaving the data block as it is. */
QEL_API int QEL_CALL qelsim_set_firmware_serial(int device, uint32_t serial);
/** Sets the firmware's version text (at most 61 characters). */
QEL_API int QEL_CALL qelsim_set_version(int device, const char* text);
/** Sets the temperature the firmware reports for type 1 or 2. */
QEL_API int QEL_CALL qelsim_set_temperature(int device, int type, int value);
/** Sets the recognition byte, the USB mode byte and the GPIO input byte. */
QEL_API int QEL_CALL qelsim_set_device_bytes(int device, int recognition, int usbMode,
                                             int gpioInput);
/** Reads the firmware's state: GPIO direction and output, the four digital
 *  gains, the shutter line count. */
QEL_API int QEL_CALL qelsim_get_firmware_state(int device, int* gpioDirection, int* gpioOutput,
                                               uint16_t gains[4], uint16_t* shutter);
/** Reads a firmware register of 8 (width 8) or 16 (width 16) bits. */
QEL_API int QEL_CALL qelsim_get_register(int device, int width, int address, int* value);
/** Writes a firmware register of 8 (width 8) or 16 (width 16) bits. */
QEL_API int QEL_CALL qelsim_set_register(int device, int width, int address, int value);
/** Reads length bytes of camera memory (16 MiB) at address. */
QEL_API int QEL_CALL qelsim_read_memory(int device, uint32_t address, unsigned char* data,
                                        uint32_t length);
/** Writes length bytes of camera memory (16 MiB) at address. */
QEL_API int QEL_CALL qelsim_write_memory(int device, uint32_t address, const unsigned char* data,
                                         uint32_t length);

/* ---- fault injection ---------------------------------------------------- */

/** Makes a named platform operation fail. The fault skips the next
 * `skip` calls of the operation and fails the `count` calls after them
 * (count -1: all of them). device -1 applies to every device (and to calls
 * that concern no device); otherwise only calls concerning that device.
 * Operation names:
 *   capture: "CoInitializeEx", "CreateFilterGraph", "CreateSystemDeviceEnum",
 *     "CreateClassEnumerator", "Next" (the moniker enumerator), "GetDisplayName", "BindToStorage",
 * "BindToObject", "AddFilter.capture", "AddFilter.grabber", "CreateCaptureGraphBuilder",
 *     "SetFiltergraph", "FindInterface", "GetFormat", "SetFormat",
 *     "GetNumberOfCapabilities", "GetStreamCaps", "CreateSampleGrabber",
 *     "QueryInterface.SampleGrabber", "SetMediaType", "EnumPins", "Connect",
 *     "SetBufferSamples", "SetOneShot", "SetCallback", "QueryInterface.MediaEvent",
 *     "QueryInterface.MediaControl", "Run", "Stop", "WaitForCompletion" (on a
 *     stopped graph: answers E_ABORT instead of returning at once),
 *     "QueryInterface.VideoProcAmp", "QueryInterface.CameraControl", "GetRange",
 *     "Get", "Set";
 *   HID: "SetupDiGetClassDevs", "EnumDeviceInterfaces", "CM_Get_Device_ID",
 *     "CreateFile", "WriteFile", "ReadFile".
 * Returns -1 for an unknown name. */
QEL_API int QEL_CALL qelsim_inject_fault(int device, const char* operation, int skip, int count);
/** Removes every injected fault (platform and firmware). */
QEL_API void QEL_CALL qelsim_clear_faults(void);

/** \name Firmware faults (qelsim_firmware_fault's kind)
 *  @{ */
#define QELSIM_FW_STATUS 1   /**< reply with status byte `value` (non-zero) */
#define QELSIM_FW_SILENT 2   /**< send no reply at all */
#define QELSIM_FW_BAD_ECHO 3 /**< reply with a wrong address echo in bytes 3..5 */
#define QELSIM_FW_STALE 4    /**< `value` replies carrying an older sequence number first */
#define QELSIM_FW_FOREIGN 5  /**< `value` replies carrying another command code first */
#define QELSIM_FW_CORRUPT 6  /**< reply with data byte 6 inverted (a memory read's first byte) */
#define QELSIM_FW_UNPLUG 7   /**< take the request, then unplug the camera before it answers */
/** @} */

/** Firmware fault for command code (-1: any command): skips the next `skip`
 *  requests with that code and affects the `count` after them (-1: all). */
QEL_API int QEL_CALL qelsim_firmware_fault(int device, int code, int kind, int value, int skip,
                                           int count);

/** Holds the camera's firmware in the middle of the library's work: the next
 *  request with command code `code` (-1: any) after `skip` others with that
 *  code waits in its WriteFile, before the firmware or the log sees it, until
 *  qelsim_release_firmware. The library's exchange waits with it, and so does
 *  anything that waits for that exchange. One hold per device; a new one
 *  replaces it. qelsim_clear_faults and qelsim_reset release every hold, and
 *  removing the device fails the held write. */
QEL_API int QEL_CALL qelsim_hold_firmware(int device, int code, int skip);
/** 1 while a request of the device is held in its WriteFile, else 0. */
QEL_API int QEL_CALL qelsim_firmware_held(int device);
/** Removes the device's hold; a held request goes on to the firmware. */
QEL_API int QEL_CALL qelsim_release_firmware(int device);

/* ---- request log -------------------------------------------------------- */

/** Clears the log. The log keeps the latest 262,144 reports and as many
 *  property writes; older ones drop out, and indices count the entries kept. */
QEL_API void QEL_CALL qelsim_log_clear(void);
/** Number of HID output reports written to the device (-1: all devices). */
QEL_API int QEL_CALL qelsim_log_report_count(int device);
/** Copies report number index (0 = first since the clear) written to the
 *  device (-1: all devices) into report (65 bytes); returns its length. */
QEL_API int QEL_CALL qelsim_log_report(int device, int index, unsigned char* report, int32_t size);
/** Number of property writes (Set calls) made on the device (-1: all). */
QEL_API int QEL_CALL qelsim_log_property_count(int device);
/** Reads property write number index: property index 0..16, value, flags. */
QEL_API int QEL_CALL qelsim_log_property(int device, int index, int* property, int32_t* value,
                                         int32_t* flags);

/* ---- clock -------------------------------------------------------------- */

/** Runs the rig's clock virtually (1) or in real time (0, the default). On the
 *  virtual clock a wait or sleep advances the clock instead of waiting, every
 *  tick-count read advances it by one millisecond, and streams deliver the
 *  frame due at each moment the clock reaches; the 3 s and 5 s waits of the
 *  library then cost no real time. */
QEL_API void QEL_CALL qelsim_set_virtual_time(int on);
/** The rig's tick count in milliseconds. */
QEL_API uint32_t QEL_CALL qelsim_now_ms(void);
/** Advances the virtual clock by ms (real sleep on the real-time clock). */
QEL_API void QEL_CALL qelsim_advance_ms(uint32_t ms);
/** Sets the virtual clock's tick count (to test the wrap of the counter). */
QEL_API void QEL_CALL qelsim_set_tick_count(uint32_t ms);

/** Number of CoInitializeEx calls that succeeded and were not yet undone. */
QEL_API int QEL_CALL qelsim_com_depth(void);
/** The same count for the calling thread: what it initialised and did not
 *  undo. */
QEL_API int QEL_CALL qelsim_com_thread_depth(void);

/* ---- the rig's books ---------------------------------------------------- */

/** Calls of a named fault point since the last qelsim_clear_faults (or
 *  reset), faulted or not: which operations a call of the library reaches.
 *  -1 for an unknown name. */
QEL_API int QEL_CALL qelsim_operation_calls(const char* operation);
/** The name of fault point index (0, 1, ...); NULL past the last. */
QEL_API const char* QEL_CALL qelsim_fault_point(int index);
/** Calls made to fail by injected faults since the last qelsim_clear_faults. */
QEL_API int QEL_CALL qelsim_faults_fired(void);
/** Closes a gate on an operation (for now "Run") of a device (-1: every
 *  device): its next calls wait until the gates are opened, so that a test
 *  can keep a call of the library in progress. -1 for other operations. */
QEL_API int QEL_CALL qelsim_close_gate(int device, const char* operation);
/** The platform operations in the order they were called since the last
 *  qelsim_clear_faults (the latest 4096), with "CloseHandle" for every HID
 *  handle closed; NULL past the last. The text lives until the next call. */
QEL_API const char* QEL_CALL qelsim_operation_at(int index);
/** The sample grabber settings (buffering samples, one shot) of the graph
 *  last run on the device. */
QEL_API int QEL_CALL qelsim_get_grabber_settings(int device, int* bufferSamples, int* oneShot);
/** The capability structure size the device's stream configuration reports
 *  (128 by default, that of the platform's video capability structure). */
QEL_API int QEL_CALL qelsim_set_caps_size(int device, int size);
/** Calls waiting at closed gates. */
QEL_API int QEL_CALL qelsim_gate_waiting(void);
/** Opens every gate; the waiting calls go on. */
QEL_API void QEL_CALL qelsim_open_gates(void);
/** HID handles the library holds open. */
QEL_API int QEL_CALL qelsim_open_hid_handles(void);
/** Streams running (graphs whose streaming thread exists). */
QEL_API int QEL_CALL qelsim_running_streams(void);
/** Number of holds on the multithreaded apartment (CoIncrementMTAUsage) not
 *  yet released. */
QEL_API int QEL_CALL qelsim_mta_usage(void);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* QEL_QELSIM_H */
