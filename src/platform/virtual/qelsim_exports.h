// Every function of the rig's control interface (qel/qelsim.h), listed once
// as core/exports.h lists the library's: result type, failure result,
// parameters and the names they are passed on by. qelsim_exports.cpp defines
// each as a guard around qel::sim::exports::<name>, so that no exception
// leaves the rig either.
#pragma once

#include "qel/qelsim.h"

// X(result, name, failure, (parameters), (arguments))
#define QELSIM_EXPORTS(X)                                                                          \
  X(void, qelsim_enable, void(), (int on), (on))                                                   \
  X(int, qelsim_enabled, -1, (void), ())                                                           \
  X(void, qelsim_reset, void(), (int populate), (populate))                                        \
  X(int, qelsim_add_camera, -1, (const char* friendlyName, uint32_t serial),                       \
    (friendlyName, serial))                                                                        \
  X(int, qelsim_add_webcam, -1, (const char* friendlyName), (friendlyName))                        \
  X(int, qelsim_add_software_source, -1, (const char* friendlyName), (friendlyName))               \
  X(int, qelsim_remove_device, -1, (int device), (device))                                         \
  X(int, qelsim_device_count, -1, (void), ())                                                      \
  X(int, qelsim_device_id, -1, (int position), (position))                                         \
  X(int, qelsim_set_display_name, -1, (int device, const char* displayName),                       \
    (device, displayName))                                                                         \
  X(int, qelsim_get_display_name, -1, (int device, char* text, int32_t size),                      \
    (device, text, size))                                                                          \
  X(int, qelsim_clear_formats, -1, (int device), (device))                                         \
  X(int, qelsim_add_format, -1,                                                                    \
    (int device, int32_t width, int32_t height, int64_t frameInterval, const char* subtype,        \
     int videoInfo),                                                                               \
    (device, width, height, frameInterval, subtype, videoInfo))                                    \
  X(int, qelsim_current_format, -1,                                                                \
    (int device, int32_t* width, int32_t* height, int64_t* frameInterval, char* subtype,           \
     int32_t subtypeSize),                                                                         \
    (device, width, height, frameInterval, subtype, subtypeSize))                                  \
  X(int, qelsim_set_property, -1,                                                                  \
    (int device, int index, int supported, int32_t min, int32_t max, int32_t step,                 \
     int32_t defaultValue, int32_t value, int32_t flags),                                          \
    (device, index, supported, min, max, step, defaultValue, value, flags))                        \
  X(int, qelsim_get_property, -1, (int device, int index, int32_t* value, int32_t* flags),         \
    (device, index, value, flags))                                                                 \
  X(int, qelsim_set_property_interfaces, -1, (int device, int videoProcAmp, int cameraControl),    \
    (device, videoProcAmp, cameraControl))                                                         \
  X(int, qelsim_set_frame_mode, -1, (int device, int mode), (device, mode))                        \
  X(int64_t, qelsim_frames_delivered, -1, (int device), (device))                                  \
  X(int, qelsim_check_frame, -1, (const unsigned char* frame, int32_t length, int64_t* counter),   \
    (frame, length, counter))                                                                      \
  X(void, qelsim_fill_frame, void(), (unsigned char* frame, int32_t length, int64_t counter),      \
    (frame, length, counter))                                                                      \
  X(int, qelsim_add_hid_interface, -1, (int device, int first, int flags), (device, first, flags)) \
  X(int, qelsim_set_hid_flags, -1, (int device, int interfaceNumber, int flags),                   \
    (device, interfaceNumber, flags))                                                              \
  X(int, qelsim_set_hid_parent_id, -1, (int device, const char* instanceId), (device, instanceId)) \
  X(int, qelsim_add_foreign_hid, -1, (const char* parentInstanceId), (parentInstanceId))           \
  X(int, qelsim_set_hid_report_lengths, -1, (int device, int input, int output),                   \
    (device, input, output))                                                                       \
  X(int, qelsim_set_usb_serial, -1, (int device, const char* serialText), (device, serialText))    \
  X(int, qelsim_set_firmware_serial, -1, (int device, uint32_t serial), (device, serial))          \
  X(int, qelsim_set_version, -1, (int device, const char* text), (device, text))                   \
  X(int, qelsim_set_temperature, -1, (int device, int type, int value), (device, type, value))     \
  X(int, qelsim_set_device_bytes, -1, (int device, int recognition, int usbMode, int gpioInput),   \
    (device, recognition, usbMode, gpioInput))                                                     \
  X(int, qelsim_get_firmware_state, -1,                                                            \
    (int device, int* gpioDirection, int* gpioOutput, uint16_t gains[4], uint16_t* shutter),       \
    (device, gpioDirection, gpioOutput, gains, shutter))                                           \
  X(int, qelsim_get_register, -1, (int device, int width, int address, int* value),                \
    (device, width, address, value))                                                               \
  X(int, qelsim_set_register, -1, (int device, int width, int address, int value),                 \
    (device, width, address, value))                                                               \
  X(int, qelsim_read_memory, -1,                                                                   \
    (int device, uint32_t address, unsigned char* data, uint32_t length),                          \
    (device, address, data, length))                                                               \
  X(int, qelsim_write_memory, -1,                                                                  \
    (int device, uint32_t address, const unsigned char* data, uint32_t length),                    \
    (device, address, data, length))                                                               \
  X(int, qelsim_inject_fault, -1, (int device, const char* operation, int skip, int count),        \
    (device, operation, skip, count))                                                              \
  X(void, qelsim_clear_faults, void(), (void), ())                                                 \
  X(int, qelsim_firmware_fault, -1,                                                                \
    (int device, int code, int kind, int value, int skip, int count),                              \
    (device, code, kind, value, skip, count))                                                      \
  X(int, qelsim_hold_firmware, -1, (int device, int code, int skip), (device, code, skip))         \
  X(int, qelsim_firmware_held, -1, (int device), (device))                                         \
  X(int, qelsim_release_firmware, -1, (int device), (device))                                      \
  X(void, qelsim_log_clear, void(), (void), ())                                                    \
  X(int, qelsim_log_report_count, -1, (int device), (device))                                      \
  X(int, qelsim_log_report, -1, (int device, int index, unsigned char* report, int32_t size),      \
    (device, index, report, size))                                                                 \
  X(int, qelsim_log_property_count, -1, (int device), (device))                                    \
  X(int, qelsim_log_property, -1,                                                                  \
    (int device, int index, int* property, int32_t* value, int32_t* flags),                        \
    (device, index, property, value, flags))                                                       \
  X(void, qelsim_set_virtual_time, void(), (int on), (on))                                         \
  X(uint32_t, qelsim_now_ms, 0, (void), ())                                                        \
  X(void, qelsim_advance_ms, void(), (uint32_t ms), (ms))                                          \
  X(void, qelsim_set_tick_count, void(), (uint32_t ms), (ms))                                      \
  X(int, qelsim_com_depth, -1, (void), ())                                                         \
  X(int, qelsim_com_thread_depth, -1, (void), ())                                                  \
  X(int, qelsim_operation_calls, -1, (const char* operation), (operation))                         \
  X(const char*, qelsim_fault_point, nullptr, (int index), (index))                                \
  X(int, qelsim_faults_fired, -1, (void), ())                                                      \
  X(int, qelsim_close_gate, -1, (int device, const char* operation), (device, operation))          \
  X(const char*, qelsim_operation_at, nullptr, (int index), (index))                               \
  X(int, qelsim_get_grabber_settings, -1, (int device, int* bufferSamples, int* oneShot),          \
    (device, bufferSamples, oneShot))                                                              \
  X(int, qelsim_set_caps_size, -1, (int device, int size), (device, size))                         \
  X(int, qelsim_gate_waiting, -1, (void), ())                                                      \
  X(void, qelsim_open_gates, void(), (void), ())                                                   \
  X(int, qelsim_open_hid_handles, -1, (void), ())                                                  \
  X(int, qelsim_running_streams, -1, (void), ())                                                   \
  X(int, qelsim_mta_usage, -1, (void), ())

namespace qel::sim::exports {

#define QELSIM_DECLARE_EXPORT(result, name, failure, parameters, arguments) result name parameters;
QELSIM_EXPORTS(QELSIM_DECLARE_EXPORT)
#undef QELSIM_DECLARE_EXPORT

}  // namespace qel::sim::exports
