#include "core/panic.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {
std::atomic<PanicHook> panic_hook{nullptr};
}

PanicHook set_panic_hook(PanicHook hook) { return panic_hook.exchange(hook); }

void panic(std::string_view message) {
  std::fprintf(stderr, "panic: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  if (PanicHook hook = panic_hook.load()) hook(message);
  std::abort();
}

}  // namespace velmora
