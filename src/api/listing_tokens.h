// Splitting a device listing into its entries the way positions are counted:
// adjacent commas delimit no entry, so an empty name takes no position.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qel {

// The entry at 0-based position, or none.
std::optional<std::string> ListingEntryAt(std::string_view listing, int position);
// The position of the first entry equal to text, or -1.
int ListingPositionOf(std::string_view listing, std::string_view text);

}  // namespace qel
