#include "app/headless_command.hpp"

#include <cstdio>

namespace lumenfolio {

// Replaced by the command line.
int HeadlessCommand::run(int, char**) {
  std::fputs("lumenfolio-exporter: the command line is not built yet\n", stderr);
  return 1;
}

}  // namespace lumenfolio
