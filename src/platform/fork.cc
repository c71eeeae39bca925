#include "platform/fork.h"

#if __has_include(<pthread.h>) && __has_include(<unistd.h>)
#include <pthread.h>
#define TAVIK_HAS_FORK 1
#endif

namespace tavik::platform {

void on_fork([[maybe_unused]] void (*prepare)(), [[maybe_unused]] void (*parent)(),
             [[maybe_unused]] void (*child)()) {
#ifdef TAVIK_HAS_FORK
  pthread_atfork(prepare, parent, child);
#endif
}

}  // namespace tavik::platform
