#include "publish/interrupt.h"

#include <atomic>
#include <csignal>

namespace corvid::publish {

namespace {
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

extern "C" void note_signal(int number) { caught.store(number); }
}  // namespace

void watch_interrupts() {
  std::signal(SIGINT, note_signal);
  std::signal(SIGTERM, note_signal);
#ifdef SIGHUP
  std::signal(SIGHUP, note_signal);
#endif
}

int interrupting_signal() { return caught.load(); }

int interrupted_exit_code() { return 128 + interrupting_signal(); }

}  // namespace corvid::publish
