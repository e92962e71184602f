#include "platform/heap.h"

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Where the program's break heap starts, 0 when it is not known.
uintptr_t HeapStart() {
  static const uintptr_t start = [] {
    uintptr_t at = 0;
    if (FILE* maps = std::fopen("/proc/self/maps", "r")) {
      char line[512];
      while (!at && std::fgets(line, sizeof line, maps)) {
        unsigned long from = 0, to = 0;
        if (std::strstr(line, "[heap]") && std::sscanf(line, "%lx-%lx", &from, &to) == 2) at = from;
      }
      std::fclose(maps);
    }
    return at;
  }();
  return start;
}

}  // namespace

void HeapHandBackFreePages() {
  // The heap grows and shrinks at its break; each call marks what it holds
  // now (a part added since is a new mapping without the mark). A failure
  // only means small pages, as without it.
  const uintptr_t start = HeapStart();
  const uintptr_t end = reinterpret_cast<uintptr_t>(sbrk(0));
  if (start && end > start) (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  malloc_trim(0);
}

#else

void HeapHandBackFreePages() {}

#endif
