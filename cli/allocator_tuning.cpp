#include "cli/allocator_tuning.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace lensfall::cli {

namespace {

constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;

}  // namespace

void reuseFreedBlocks() {
  // No block is mapped on its own (should the heap be unable to grow, glibc
  // still maps what it cannot place), and the heap is never trimmed.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  // Threads share the one heap: the threads that pack and unpack an EXR
  // file's blocks would otherwise each fault in an arena of their own
  // beside the memory the heap has free.
  mallopt(M_ARENA_MAX, 1);
}

void growHeapOnHugePages(std::size_t bytes) {
  // One block of the size asked for, marked and freed at once: the heap
  // keeps it for the blocks that follow. glibc writes only a header at the
  // block's start and one after its end, so the huge pages strictly between
  // are untouched when they are marked (a 2 MB page with a small page
  // already in it stays small). The block comes from memory the heap has
  // free where it can, and from new address space at its end where not.
  void *block = std::malloc(bytes);
  if (block == nullptr) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kHugePage) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
  if (last > first) {
    madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
  }
  std::free(block);
}

}  // namespace lensfall::cli
