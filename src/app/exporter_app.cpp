#include "app/exporter_app.hpp"

#include <cstdio>

namespace lumenfolio {

// Replaced by the tray application.
int ExporterApp::run(int, char**) {
  std::fputs("lumenfolio-exporter: the tray application is not built yet\n", stderr);
  return 1;
}

}  // namespace lumenfolio
