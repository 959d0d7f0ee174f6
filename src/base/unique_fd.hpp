// An owned file descriptor, closed when the owner goes away.
#pragma once

#include <utility>

namespace lumenfolio {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes `fd` over; a negative value owns nothing.
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  explicit operator bool() const noexcept { return fd_ >= 0; }
  int get() const noexcept { return fd_; }
  // Gives the descriptor up without closing it.
  int release() noexcept { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes `fd` over.
  void reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

}  // namespace lumenfolio
