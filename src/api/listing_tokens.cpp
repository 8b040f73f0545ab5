#include "api/listing_tokens.h"

#include <functional>

namespace qel {
namespace {

// Calls visit for each of the first count entries with its position until
// visit says stop.
void ForEachEntry(std::string_view listing, int count,
                  const std::function<bool(int, std::string_view)>& visit) {
  std::size_t start = 0;
  for (int position = 0; position < count && start <= listing.size(); ++position) {
    std::size_t comma = listing.find(',', start);
    if (comma == std::string_view::npos) comma = listing.size();
    if (!visit(position, listing.substr(start, comma - start))) return;
    start = comma + 1;
  }
}

}  // namespace

std::optional<std::string> ListingEntryAt(std::string_view listing, int count, int position) {
  std::optional<std::string> found;
  if (position < 0) return found;
  ForEachEntry(listing, count, [&](int index, std::string_view entry) {
    if (index != position) return true;
    found = std::string(entry);
    return false;
  });
  return found;
}

int ListingPositionOf(std::string_view listing, int count, std::string_view text) {
  int found = -1;
  ForEachEntry(listing, count, [&](int index, std::string_view entry) {
    if (entry != text) return true;
    found = index;
    return false;
  });
  return found;
}

}  // namespace qel
