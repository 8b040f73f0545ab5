// Settings changed by NAME=VALUE, as set takes them, for other commands that
// change settings before their own work (grab --set).
#pragma once

#include <string>
#include <vector>

#include "camera_session.h"

namespace qelctl {

// Checks what the command line can tell (names, number syntax, the fixed
// ranges) without a camera; throws a usage error.
void CheckSettings(const std::vector<std::string>& assignments);

// Checks the values against the camera's own ranges, then changes them in
// order; throws as set does, saying what was already changed. Returns the
// settings as the camera now reports them: "led=32, colorbar=on".
std::string ApplySettings(const CameraSession& camera, const std::vector<std::string>& assignments);

}  // namespace qelctl
