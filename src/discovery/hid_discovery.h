// Finding the HID control interface of the camera whose video function the
// library knows by its display name.
//
// A HID interface belongs to the video device when the instance prefix of the
// interface's parent (the USB function carrying it) occurs in the video
// device's display name. The first interface in the platform's order that so
// pairs, can be opened and described, and whose input and output reports
// carry a whole command report is the camera's.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qel {

class HidChannel;

// The pairing text of a parent instance ID: lowered, the part after the last
// backslash, up to (not including) its second "&". None without a backslash
// or with fewer than two "&" after it.
std::optional<std::string> InstancePrefix(std::string_view parentInstanceId);

// Opens the control interface of the camera being captured at captureIndex
// (found by the context's devicePath) for synchronous I/O. Fails when no
// interface pairs, on a fatal platform failure, or once the capture stopped.
std::shared_ptr<HidChannel> OpenControlInterface(std::int32_t captureIndex);

// Reads the first 8 characters of the USB serial-number string of the
// interface paired with displayName into serial (zero-terminated). When the
// paired interface could not be opened and the platform said why (no
// permission), the reason goes to *openFailure.
bool ReadControlSerial(const char* displayName, char (&serial)[9],
                       std::string* openFailure = nullptr);

}  // namespace qel
