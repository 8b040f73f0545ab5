// The viewer's page: one HTML file with its script and style, compiled into
// qelctl (generated from page.html by the build).
#pragma once

#include <string_view>

namespace qelctl::view {

std::string_view ViewPage();

}  // namespace qelctl::view
