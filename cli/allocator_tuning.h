// How the C library's allocator serves the program's large blocks: from a
// heap on huge pages, using again the memory the program freed rather than
// fresh pages.
#pragma once

#include <cstddef>

namespace lensfall::cli {

// A frame's steps each allocate and free blocks of a few to hundreds of
// megabytes: the file's pixels, the filter's work buffers, the output's.
// By default glibc maps each large block afresh and unmaps it when freed,
// so the next step faults in and zeroes new pages again. Every block is
// kept in the heap instead, and freed memory stays with the program for the
// next step and the next frame; threads take theirs from the same heap.
// Call once, before anything large is allocated.
void reuseFreedBlocks();

// Makes room for `bytes` more at the heap's end and asks the kernel to back
// it with transparent huge pages (2 MB): faulting a frame's memory in 4 KB
// at a time costs about as much as filtering it. Only address space is
// taken; pages are touched, and counted, when the program uses them. Where
// the heap cannot grow, the room is mapped apart and given back at once,
// and the program runs on ordinary pages.
void growHeapOnHugePages(std::size_t bytes);

}  // namespace lensfall::cli
