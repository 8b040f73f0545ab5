// Reading entries back out of a device listing. Every comma separates two
// entries, so a device whose name is empty still takes its position, as it
// does in the listing the application saw.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qel {

// The entry at 0-based position among the listing's count entries, or none.
std::optional<std::string> ListingEntryAt(std::string_view listing, int count, int position);
// The position of the first entry equal to text, or -1.
int ListingPositionOf(std::string_view listing, int count, std::string_view text);

}  // namespace qel
