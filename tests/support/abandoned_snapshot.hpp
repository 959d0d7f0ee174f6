// A private snapshot folder as a run killed mid-way leaves it: made by a child
// process that then ends without removing it.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "metadata/snapshot_folder.hpp"

namespace lumenfolio::testing {

inline std::filesystem::path abandonedSnapshotFolder() {
  int link[2];
  if (pipe(link) != 0) throw std::runtime_error("pipe failed");
  const pid_t child = fork();
  if (child == 0) {
    try {
      auto folder = SnapshotFolder::create();
      const std::string path = folder.path().string();
      [[maybe_unused]] auto written = write(link[1], path.data(), path.size());
      _exit(0);  // no destructors: the folder stays
    } catch (...) {
      _exit(1);
    }
  }
  close(link[1]);
  char buffer[4096];
  const auto length = read(link[0], buffer, sizeof buffer);
  close(link[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || length <= 0) {
    throw std::runtime_error("the child could not make a snapshot folder");
  }
  return std::filesystem::path(std::string(buffer, static_cast<std::size_t>(length)));
}

}  // namespace lumenfolio::testing
