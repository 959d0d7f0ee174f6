#include "base/freed_memory.hpp"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace lumenfolio {

void FreedMemory::giveBack() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace lumenfolio
