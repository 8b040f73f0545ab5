#include "api/listing_tokens.h"

#include <functional>

namespace qel {
namespace {

// Calls visit for each non-empty entry with its position until visit says stop.
void ForEachEntry(std::string_view listing,
                  const std::function<bool(int, std::string_view)>& visit) {
  int position = 0;
  std::size_t start = 0;
  while (start <= listing.size()) {
    std::size_t comma = listing.find(',', start);
    if (comma == std::string_view::npos) comma = listing.size();
    const std::string_view entry = listing.substr(start, comma - start);
    if (!entry.empty() && !visit(position++, entry)) return;
    start = comma + 1;
  }
}

}  // namespace

std::optional<std::string> ListingEntryAt(std::string_view listing, int position) {
  std::optional<std::string> found;
  if (position < 0) return found;
  ForEachEntry(listing, [&](int index, std::string_view entry) {
    if (index != position) return true;
    found = std::string(entry);
    return false;
  });
  return found;
}

int ListingPositionOf(std::string_view listing, std::string_view text) {
  int found = -1;
  ForEachEntry(listing, [&](int index, std::string_view entry) {
    if (entry != text) return true;
    found = index;
    return false;
  });
  return found;
}

}  // namespace qel
