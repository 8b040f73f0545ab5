#include "hid/shutter_time_table.h"

namespace qel {
namespace {

struct Row {
  std::int32_t sizeIndex;
  std::int32_t frameRate;
  ShutterTiming timing;
};

constexpr Row kShutterTimeTable[] = {
    {0, 60, {2.222e-5, 0.0822}},  {0, 30, {4.396e-5, 0.0822}},  {0, 10, {1.333e-4, 0.0822}},
    {0, 5, {2.667e-4, 0.0822}},   {1, 120, {1.852e-5, 0.0987}}, {1, 60, {3.663e-5, 0.0987}},
    {1, 30, {7.407e-5, 0.0987}},  {1, 15, {1.481e-4, 0.0987}},  {2, 240, {1.852e-5, 0.0987}},
    {2, 120, {3.663e-5, 0.0987}}, {2, 60, {7.407e-5, 0.0987}},  {2, 40, {1.111e-4, 0.0987}},
};

}  // namespace

bool LookupShutterTiming(std::int32_t sizeIndex, std::int32_t frameRate, ShutterTiming& timing) {
  for (const Row& row : kShutterTimeTable) {
    if (row.sizeIndex == sizeIndex && row.frameRate == frameRate) {
      timing = row.timing;
      return true;
    }
  }
  return false;
}

}  // namespace qel
