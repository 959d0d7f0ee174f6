#include "app/exporter_app.hpp"
#include "app/headless_command.hpp"

int main(int argc, char** argv) {
  if (argc > 1) return lumenfolio::HeadlessCommand::run(argc, argv);
  return lumenfolio::ExporterApp::run(argc, argv);
}
