// The command line: export, watch, status, --help and --version, on the same
// controller and preferences as the tray application, without a display.
#pragma once

namespace lumenfolio {

class HeadlessCommand {
 public:
  // Runs the command named by the arguments; returns the exit status.
  static int run(int argc, char** argv);
};

}  // namespace lumenfolio
