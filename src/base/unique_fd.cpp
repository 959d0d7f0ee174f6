#include "base/unique_fd.hpp"

#include <unistd.h>

namespace lumenfolio {

void UniqueFd::reset(int fd) noexcept {
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried.
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace lumenfolio
