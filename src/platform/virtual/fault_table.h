// Injected failures of named platform operations. Not locked itself: the rig
// uses it under its mutex.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qel::sim {

class FaultTable {
 public:
  // False for an operation name the rig does not know.
  static bool IsKnownOperation(std::string_view operation);
  // The name of the operation at index 0, 1, ...; null past the last.
  static const char* OperationAt(int index);

  // Replaces any fault of the same device and operation. count -1: unlimited.
  void Add(int device, std::string_view operation, int skip, int count);
  // Forgets the faults and the counts below.
  void Clear();

  // Counts one call of the operation concerning device (-1: none) against
  // every matching fault; true when the call is to fail.
  bool Hit(std::string_view operation, int device);

  // Calls of an operation counted by Hit, and calls made to fail, since the
  // last Clear: a test learns which operations a call reaches and whether an
  // injected fault took effect.
  int Calls(std::string_view operation) const;
  int Fired() const { return fired_; }
  // The operations in the order they were called (the latest 4096), with
  // events that are no fault point, such as "CloseHandle", recorded too.
  void Record(std::string_view operation);
  const char* SequenceAt(int index) const;

 private:
  struct Fault {
    int device;
    std::string operation;
    int skip;
    int count;
  };
  std::vector<Fault> faults_;
  std::vector<std::pair<std::string, int>> calls_;
  int fired_ = 0;
  static constexpr std::size_t kSequenceKept = 4096;
  std::deque<std::string> sequence_;  // dropped from the front: each call costs the same
};

}  // namespace qel::sim
