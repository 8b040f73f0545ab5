// Ctrl-C while a command runs. Without a watch the process ends at once, as
// usual; while a watch is active the interrupts are only counted, and the
// command decides what each one means.
#pragma once

namespace qelctl {

// Counts SIGINT (Ctrl-C, and Ctrl-Break on Windows) while it lives.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Interrupts received so far.
  int Count() const;
};

// The exit code of a command stopped by Ctrl-C (128 + SIGINT, as shells
// report it).
inline constexpr int kExitInterrupted = 130;

}  // namespace qelctl
