// Broken invariants stop the program. A hook (set by the error reporter) runs first.
#pragma once

#include <string_view>

// The caller's column: a builtin on clang, std::source_location on GCC.
#if __has_builtin(__builtin_COLUMN)
#define VELMORA_CALLER_COLUMN __builtin_COLUMN()
#else
#include <source_location>
#define VELMORA_CALLER_COLUMN std::source_location::current().column()
#endif

namespace velmora {

// Where a panic was raised: the caller's file, line and column.
struct PanicPlace {
  const char* file = "";
  unsigned line = 0;
  unsigned column = 0;
};

using PanicHook = void (*)(std::string_view message, const PanicPlace& place);

// Installs the hook that runs before the program aborts; returns the previous one.
PanicHook set_panic_hook(PanicHook hook);

// Prints "panic: MESSAGE", runs the hook, aborts. The place defaults to the caller's.
[[noreturn]] void panic(std::string_view message, const char* file = __builtin_FILE(),
                        unsigned line = __builtin_LINE(), unsigned column = VELMORA_CALLER_COLUMN);

#define VELMORA_CHECK(cond, message)          \
  do {                                        \
    if (!(cond)) ::velmora::panic(message);   \
  } while (0)

}  // namespace velmora
