// Broken invariants stop the program. A hook (set by the online server) runs first.
#pragma once

#include <string_view>

namespace velmora {

using PanicHook = void (*)(std::string_view message);

// Installs the hook that runs before the program aborts; returns the previous one.
PanicHook set_panic_hook(PanicHook hook);

[[noreturn]] void panic(std::string_view message);

#define VELMORA_CHECK(cond, message)          \
  do {                                        \
    if (!(cond)) ::velmora::panic(message);   \
  } while (0)

}  // namespace velmora
