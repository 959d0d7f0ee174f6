// Exchanges two library packages, each exchange atomic, over and over on a
// thread of its own until it goes: a sync tool or a restore at its worst.
#pragma once

#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace lumenfolio::testing {

class PackageSwapper {
 public:
  // Between exchanges it waits `pause` times one to seven, in turn, so that
  // no reader falls in step with it.
  PackageSwapper(const std::filesystem::path& one, const std::filesystem::path& other,
                 std::chrono::microseconds pause)
      : thread_([this, one, other, pause] {
          while (!stop_) {
            if (::renameat2(AT_FDCWD, one.c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE) == 0) {
              ++swaps_;
            }
            std::this_thread::sleep_for(pause * (1 + swaps_ % 7));
          }
        }) {}
  ~PackageSwapper() {
    stop_ = true;
    thread_.join();
  }
  PackageSwapper(const PackageSwapper&) = delete;
  PackageSwapper& operator=(const PackageSwapper&) = delete;

  int swaps() const { return swaps_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> swaps_{0};
  std::thread thread_;
};

}  // namespace lumenfolio::testing
