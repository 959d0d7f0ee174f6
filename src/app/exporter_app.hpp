// The tray application: one Exporter for the life of the process, the status
// image in the system tray and the panel it opens.
#pragma once

namespace lumenfolio {

class ExporterApp {
 public:
  // Runs the tray application until "Quit"; returns the exit status.
  static int run(int argc, char** argv);
};

}  // namespace lumenfolio
