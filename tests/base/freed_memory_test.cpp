#include "base/freed_memory.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <memory>
#include <vector>

namespace lumenfolio {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSystemAllocator = false;  // the sanitizer's allocator keeps its own pages
#else
constexpr bool kSystemAllocator = true;
#endif

// Pages of this process in memory, as the system counts them.
std::size_t residentPages() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0;
  std::size_t resident = 0;
  statm >> size >> resident;
  return resident;
}

TEST(FreedMemory, givesBackThePagesOfBlocksFreedBetweenOnesStillHeld) {
  if (!kSystemAllocator) GTEST_SKIP() << "built with a sanitizer's allocator";
  constexpr std::size_t kBlocks = 64 * 1024;
  constexpr std::size_t kBlockSize = 1000;  // small enough to come from the heap itself
  constexpr std::size_t kHeldEvery = 32;
  std::vector<std::unique_ptr<char[]>> blocks;
  blocks.reserve(kBlocks);
  for (std::size_t i = 0; i < kBlocks; ++i) blocks.push_back(std::make_unique<char[]>(kBlockSize));
  // Runs of freed blocks between held ones never end the heap, so freeing
  // them gives nothing back by itself.
  for (std::size_t i = 0; i < kBlocks; ++i) {
    if (i % kHeldEvery != 0) blocks[i].reset();
  }
  const auto before = residentPages();

  FreedMemory::giveBack();

  const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto givenBack = (before - std::min(before, residentPages())) * pageSize;
  EXPECT_GT(givenBack, kBlocks * kBlockSize / 2);
}

}  // namespace
}  // namespace lumenfolio
