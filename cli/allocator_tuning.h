// How the C library's allocator serves the program's large blocks: on huge
// pages, and from memory the program freed before rather than fresh pages.
#pragma once

namespace lensfall::cli {

// A frame's work buffers are tens of megabytes, and faulting them in page
// by page (4 KB) costs about a fifth of a frame's time; on transparent huge
// pages (2 MB) that cost almost goes. glibc takes the setting that asks for
// them (the tunable glibc.malloc.hugetlb) only from the environment at
// start, so the program starts itself again, once, with it added. Nothing
// happens when the environment already names that tunable (the user's own
// choice, or the second start), or when the program cannot start itself
// again; it then runs on ordinary pages.
void restartWithHugePages(char **argv);

// A frame's steps each allocate and free blocks of a few to tens of
// megabytes: the file's pixels, the filter's work buffers, the output's.
// By default glibc maps each such block afresh and unmaps it when freed, so
// the next step faults in and zeroes new pages again. Blocks up to 32 MB
// (a 1280 x 720 frame's largest are about 15 MB) are kept in the heap
// instead, and freed memory stays with the program for the next step and
// the next frame.
void reuseFreedBlocks();

}  // namespace lensfall::cli
