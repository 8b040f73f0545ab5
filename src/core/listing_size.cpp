#include "core/listing_size.h"

namespace qel {

std::atomic<std::int32_t>& ListBufferSize() {
  static std::atomic<std::int32_t> size{1024};
  return size;
}

}  // namespace qel
