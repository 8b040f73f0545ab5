// The library under failing and large allocations. This program replaces
// the global allocation functions: on the test's own thread an allocation
// can be made to fail, and the largest request is recorded.
#include <cstdlib>
#include <new>
#include <string>

#include "capture/capture_context.h"
#include "core/camera_table.h"
#include "support/rig_fixture.h"

namespace {

thread_local long tl_allocations = 0;
thread_local long tl_failAt = -1;  // the allocation number that fails; -1 none
thread_local std::size_t tl_largest = 0;

void* Allocate(std::size_t size) {
  const long number = tl_allocations++;
  if (size > tl_largest) tl_largest = size;
  if (number == tl_failAt) throw std::bad_alloc();
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace qel::test {
namespace {

using Allocations = RigTest;

std::string Reason() {
  char text[256] = "";
  QelLastError(text, sizeof text);
  return text;
}

bool AnyCaptureRunning() {
  for (int index = 0; index < kCaptureContexts; ++index) {
    if (ContextAt(index)->IsRunning()) return true;
  }
  return false;
}

// However the open fails for want of memory, it leaves nothing behind and
// the next open works.
TEST_F(Allocations, OpenSurvivesAnAllocationFailureAtEveryStep) {
  tl_allocations = 0;
  ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
  const long allocationsOfAnOpen = tl_allocations;
  QelClose(0);
  ASSERT_GT(allocationsOfAnOpen, 0);

  const long stride = allocationsOfAnOpen / 40 + 1;
  int failedOpens = 0;
  for (long failAt = 0; failAt < allocationsOfAnOpen; failAt += stride) {
    tl_allocations = 0;
    tl_failAt = failAt;
    const int32_t result = QelOpen(0, 1920, 1080, 30.0, "YUY2");
    tl_failAt = -1;
    if (result == 0) {
      QelClose(0);
      continue;
    }
    ++failedOpens;
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(CameraTable::Instance().FindSlot(0)) << failAt;
    EXPECT_FALSE(AnyCaptureRunning()) << failAt;
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0) << "after a failure at " << failAt;
    QelClose(0);
  }
  EXPECT_GT(failedOpens, 0);
  EXPECT_EQ(qelsim_com_depth(), 0);
}

// An open that runs out of memory while stopping a graph left running by a
// failed close keeps no table position reserved: a later open stops that
// graph and never builds a second one on its device.
TEST_F(Allocations, OpenThatCannotStopALeftoverGraphReservesNothing) {
  for (long failAt = 0; failAt < 8; ++failAt) {
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0);
    qelsim_inject_fault(-1, "WaitForCompletion", 0, 1);
    QelClose(0);
    ASSERT_TRUE(AnyCaptureRunning());
    tl_allocations = 0;
    tl_failAt = failAt;
    const int32_t result = QelOpen(2, 640, 480, 30.0, "YUY2");
    tl_failAt = -1;
    if (result == 1) QelClose(2);
    ASSERT_EQ(QelOpen(0, 1920, 1080, 30.0, "YUY2"), 0) << failAt << " " << Reason();
    EXPECT_EQ(qelsim_running_streams(), 1) << failAt;
    QelClose(0);
    EXPECT_FALSE(AnyCaptureRunning()) << failAt;
  }
}

// Out of memory anywhere inside, an export returns its failure value and
// nothing is thrown across the boundary: the library's exports and the rig's.
TEST_F(Allocations, ExportsReturnTheirFailureValueInsteadOfThrowing) {
  char text[256];
  for (long failAt = 0; failAt < 60; ++failAt) {
    tl_allocations = 0;
    tl_failAt = failAt;
    const int32_t listed = QelGetDeviceWithSerialNo(text, sizeof text);
    const QelBool formats = QelGetFormat(1, text, sizeof text);
    const int added = qelsim_add_webcam("Spare");
    tl_failAt = -1;
    EXPECT_GE(listed, -1);
    EXPECT_LE(formats, 1);
    EXPECT_GE(added, -1);
  }
  EXPECT_EQ(qelsim_com_depth(), 0);
}

// An application that once listed with a huge buffer does not make every
// later open allocate one as large.
TEST_F(Allocations, OpenAllocatesWhatItsListingNeedsNotTheLastListingSize) {
  char list[256];
  ASSERT_EQ(QelGetDevice(list, INT32_MAX), 3) << "the size is a claim; the listing is short";
  tl_largest = 0;
  ASSERT_EQ(QelOpen(2, 640, 480, 30.0, "YUY2"), 1);
  EXPECT_LT(tl_largest, std::size_t{1} << 24);
  QelClose(2);
}

}  // namespace
}  // namespace qel::test
