// Injected failures of named platform operations. Not locked itself: the rig
// uses it under its mutex.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qel::sim {

class FaultTable {
 public:
  // False for an operation name the rig does not know.
  static bool IsKnownOperation(std::string_view operation);

  // Replaces any fault of the same device and operation. count -1: unlimited.
  void Add(int device, std::string_view operation, int skip, int count);
  void Clear() { faults_.clear(); }

  // Counts one call of the operation concerning device (-1: none) against
  // every matching fault; true when the call is to fail.
  bool Hit(std::string_view operation, int device);

 private:
  struct Fault {
    int device;
    std::string operation;
    int skip;
    int count;
  };
  std::vector<Fault> faults_;
};

}  // namespace qel::sim
