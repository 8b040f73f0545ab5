#include "platform/linux/hid_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

#include "fake_system.h"

namespace qel::test {
namespace {

using platform::linux_hw::HidDescription;
using platform::linux_hw::ParseHidDescriptor;

HidDescription Parse(const std::vector<std::uint8_t>& bytes) {
  HidDescription description;
  EXPECT_TRUE(ParseHidDescriptor(bytes.data(), bytes.size(), description));
  return description;
}

TEST(HidDescriptor, ReportLengthsCountTheIdByteWhetherOrNotReportsAreNumbered) {
  const HidDescription camera = Parse(VendorDescriptor64());
  EXPECT_EQ(camera.caps.usagePage, 0xFF00);
  EXPECT_EQ(camera.caps.usage, 1);
  EXPECT_EQ(camera.caps.inputReportByteLength, 65);
  EXPECT_EQ(camera.caps.outputReportByteLength, 65);
  EXPECT_EQ(camera.caps.featureReportByteLength, 0);
  EXPECT_FALSE(camera.numberedReports);

  // Report 1: 8 input bytes and 32 output bytes; report 2: 4 + 12 input bytes
  // in two items. The longest of each kind counts.
  const HidDescription numbered =
      Parse({0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // consumer control
             0x85, 0x01, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x95, 0x20, 0x91, 0x02,  //
             0x85, 0x02, 0x95, 0x04, 0x81, 0x02, 0x95, 0x0C, 0x81, 0x02, 0xC0});
  EXPECT_EQ(numbered.caps.usagePage, 0x0C);
  EXPECT_EQ(numbered.caps.inputReportByteLength, 17);
  EXPECT_EQ(numbered.caps.outputReportByteLength, 33);
  EXPECT_TRUE(numbered.numberedReports);

  // Feature reports only (an output item of no bits makes no report); 12
  // bits round up to two bytes.
  const HidDescription feature = Parse({0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x00, 0x95,
                                        0x03, 0x91, 0x02, 0x75, 0x04, 0xB1, 0x02, 0xC0});
  EXPECT_EQ(feature.caps.inputReportByteLength, 0);
  EXPECT_EQ(feature.caps.outputReportByteLength, 0);
  EXPECT_EQ(feature.caps.featureReportByteLength, 3);
}

TEST(HidDescriptor, UsageComesFromTheFirstTopLevelCollectionThroughPushPopAndLongItems) {
  const HidDescription description = Parse({
      0x07, 0x02, 0x00, 0x01, 0x00,  // Usage Page as four bytes (page 1)
      0x0B, 0x05, 0x00, 0xAB, 0xFF,  // four-byte Usage: page 0xFFAB, usage 5
      0xA1, 0x01,                    // Collection
      0xFE, 0x02, 0x10, 0xAA, 0xBB,  // a long item, skipped
      0x75, 0x08, 0x95, 0x02,        // 2 bytes
      0xA4, 0x95, 0x10, 0xB4,        // Push, count 16, Pop: back to 2
      0x81, 0x02, 0xC0,              //
      0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x95, 0x30, 0x81, 0x02, 0xC0,  // a second collection
  });
  EXPECT_EQ(description.caps.usagePage, 0xFFAB);
  EXPECT_EQ(description.caps.usage, 5);
  // Without IDs the two collections' inputs add up in the one report.
  EXPECT_EQ(description.caps.inputReportByteLength, 2 + 48 + 1);
}

TEST(HidDescriptor, MalformedDescriptorsAreRefused) {
  const std::vector<std::vector<std::uint8_t>> malformed = {
      {},                                          // empty
      {0x75, 0x08, 0x95, 0x40, 0x81, 0x02},        // no collection
      {0xA1, 0x01, 0x81},                          // item cut short
      {0xA1, 0x01, 0x26, 0xFF},                    // data cut short
      {0xA1, 0x01, 0xFE, 0x05, 0x10, 0x00, 0xC0},  // long item cut short
      {0xA1, 0x01, 0xB4, 0xC0},                    // Pop without Push
      {0xC0, 0xA1, 0x01, 0xC0},                    // End Collection first
      {0xA1, 0x01, 0x81, 0x02},                    // collection left open
      {0xA1, 0x01, 0x85, 0x00, 0xC0},              // report ID 0
      {0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0xC0},
  };
  for (const auto& bytes : malformed) {
    HidDescription description;
    EXPECT_FALSE(ParseHidDescriptor(bytes.data(), bytes.size(), description))
        << "descriptor of " << bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace qel::test
