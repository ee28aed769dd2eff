// The room the command makes for a frame: in the heap, marked for huge
// pages, and used by the large blocks that follow.
#include "cli/allocator_tuning.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace lensfall::cli {
namespace {

// The /proc/self/smaps entry of the mapping holding `address`: its name and
// its VmFlags line.
struct Mapping {
  std::string name, flags;
};

Mapping mappingOf(std::uintptr_t address) {
  std::ifstream smaps("/proc/self/smaps");
  Mapping found;
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) {
      inside = from <= address && address < to;
      if (inside) {
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 6 && fields >> field; ++i) {
          found.name = i == 5 ? field : "";
        }
      }
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      found.flags = line + " ";
    }
  }
  return found;
}

TEST(AllocatorTuning, TheRoomMadeForAFrameIsInTheHeapOnHugePages) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps no heap of glibc's";
#endif
  reuseFreedBlocks();
  constexpr std::size_t kRoom = std::size_t{64} << 20;
  growHeapOnHugePages(kRoom);
  // A block nearly that large now takes the room: in the heap (not mapped
  // on its own) and marked for huge pages ("hg").
  void *block = std::malloc(kRoom - (std::size_t{4} << 20));
  ASSERT_NE(block, nullptr);
  const Mapping mapping =
      mappingOf(reinterpret_cast<std::uintptr_t>(block) + kRoom / 2);
  std::free(block);
  EXPECT_EQ(mapping.name, "[heap]");
  EXPECT_NE(mapping.flags.find(" hg "), std::string::npos) << mapping.flags;
}

}  // namespace
}  // namespace lensfall::cli
