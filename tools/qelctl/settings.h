// Settings changed by NAME=VALUE, as set takes them, for other commands that
// change settings before their own work (grab --set).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera_session.h"
#include "qel/qel.h"

namespace qelctl {

// Checks what the command line can tell without a camera (each is
// NAME=VALUE); throws a usage error. Names and values are the camera's to
// judge: ApplySettings checks them.
void CheckSettings(const std::vector<std::string>& assignments);

// Checks the names and values (each NAME=VALUE: CheckSettings first)
// against the camera's own list, then changes them in order; throws as set
// does, saying what was already changed. Returns the settings as the camera
// now reports them: "led=32, colorbar=on".
std::string ApplySettings(const CameraSession& camera, const std::vector<std::string>& assignments);

}  // namespace qelctl
