// Large allocations on huge pages for the whole program.
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

}  // namespace lensfall::cli
