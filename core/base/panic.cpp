#include "core/base/panic.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {
std::atomic<PanicHook> panic_hook{nullptr};
// A panic raised inside the hook must not run the hook again.
thread_local bool in_panic = false;
}  // namespace

PanicHook set_panic_hook(PanicHook hook) { return panic_hook.exchange(hook); }

void panic(std::string_view message, const char* file, unsigned line, unsigned column) {
  std::fprintf(stderr, "panic: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  PanicHook hook = panic_hook.load();
  if (hook && !in_panic) {
    in_panic = true;
    hook(message, PanicPlace{file, line, column});
  }
  std::abort();
}

}  // namespace velmora
