// Opening the viewer's address in the user's browser.
#pragma once

#include <string>

namespace qelctl::view {

// Asks the desktop to open url; false with the reason where there is no
// desktop to ask (no display on Linux) or it refused.
bool OpenBrowser(const std::string& url, std::string& why);

}  // namespace qelctl::view
