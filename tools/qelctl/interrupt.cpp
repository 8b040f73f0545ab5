#include "interrupt.h"

#include <csignal>

namespace qelctl {
namespace {

volatile std::sig_atomic_t g_interrupts = 0;

extern "C" void CountInterrupt(int signal) {
  g_interrupts = g_interrupts + 1;
  // Windows resets the handler before calling it.
  std::signal(signal, CountInterrupt);
}

}  // namespace

InterruptWatch::InterruptWatch() {
  g_interrupts = 0;
  std::signal(SIGINT, CountInterrupt);
#if defined(SIGBREAK)
  std::signal(SIGBREAK, CountInterrupt);
#endif
}

InterruptWatch::~InterruptWatch() {
  std::signal(SIGINT, SIG_DFL);
#if defined(SIGBREAK)
  std::signal(SIGBREAK, SIG_DFL);
#endif
}

int InterruptWatch::Count() const { return g_interrupts; }

}  // namespace qelctl
