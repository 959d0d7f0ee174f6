// Work that could wait on a fifo for good, run so that a test fails rather
// than hangs when it does.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <utility>
#include <vector>

#include "base/unique_fd.hpp"

namespace lumenfolio::testing {

// Runs `work` on a thread of its own and returns what it returns. Work still
// running after half a minute waits on one of `fifos`: opening them for
// writing lets it go, and the test fails.
template <typename Work>
auto releasingFifos(Work work, const std::vector<std::filesystem::path>& fifos) {
  auto running = std::async(std::launch::async, std::move(work));
  while (running.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) {
    ADD_FAILURE() << "waits on a fifo: " << ::testing::PrintToString(fifos);
    for (const auto& fifo : fifos) {
      const UniqueFd writer(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    }
  }
  return running.get();
}

}  // namespace lumenfolio::testing
