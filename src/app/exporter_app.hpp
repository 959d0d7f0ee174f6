// The tray application: one Exporter for the life of the process, the status
// image in the system tray and the panel it opens.
#pragma once

#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/exporter_menu.hpp"
#include "exporter/exporter.hpp"

namespace lumenfolio {

class ExporterApp {
 public:
  // Runs the tray application until "Quit"; returns the exit status.
  static int run(int argc, char** argv);

  // Binds the tray item and the panel to `exporter`. Without a system tray the
  // panel is an ordinary window, shown at once.
  ExporterApp(Exporter& exporter, bool hasSystemTray);
  ~ExporterApp();
  ExporterApp(const ExporterApp&) = delete;
  ExporterApp& operator=(const ExporterApp&) = delete;

  // Opens the panel beside the tray item, or raises its window.
  void showPanel();
  // What a click on the tray item does: opens the popup, or closes it.
  void togglePanel();

  ExporterMenu& panel() { return panel_; }
  QSystemTrayIcon& trayIcon() { return tray_; }

  // What the panel shows of `exporter` at `now`.
  static ExporterMenu::State stateOf(const Exporter& exporter, double now);

 private:
  ExporterMenu::Actions actions();
  void refresh();
  void placePanel();
  void hidePopup();

  Exporter& exporter_;
  const bool hasSystemTray_;
  ExporterMenu panel_;
  QSystemTrayIcon tray_;
  QMenu trayMenu_;
  QElapsedTimer sinceHidden_;
  Exporter::ObserverID observer_;
};

}  // namespace lumenfolio
