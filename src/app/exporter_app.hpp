// The tray application: one Exporter for the life of the process, the status
// image in the system tray and the panel it opens. While the panel is closed
// the tray item still tells how exports go: its tooltip carries the last
// export and the status, its image an error mark while the last run failed,
// and a desktop notification says when exports stop working and when they
// work again.
#pragma once

#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <optional>

#include "app/desktop_notifications.hpp"
#include "app/exporter_menu.hpp"
#include "app/failure_notification_policy.hpp"
#include "exporter/exporter.hpp"

namespace lumenfolio {

class ExporterApp {
 public:
  // Runs the tray application until "Quit"; returns the exit status.
  static int run(int argc, char** argv);

  // Binds `tray` and the panel to `exporter`; `tray` must outlive the app.
  // Without a system tray the panel is an ordinary window, shown at once.
  ExporterApp(Exporter& exporter, QSystemTrayIcon& tray, bool hasSystemTray,
              DesktopNotifications& notifications);
  ~ExporterApp();
  ExporterApp(const ExporterApp&) = delete;
  ExporterApp& operator=(const ExporterApp&) = delete;

  // Opens the panel beside the tray item, or raises its window.
  void showPanel();
  // What a click on the tray item does: opens the popup, or closes it.
  void togglePanel();

  // What the panel shows of `exporter` at `now`.
  static ExporterMenu::State stateOf(const Exporter& exporter, double now);
  // The tray item's tooltip for that state: the title, the last export line
  // and the status.
  static QString toolTip(const ExporterMenu::State& state);

 private:
  ExporterMenu::Actions actions();
  void refresh();
  void announce(FailureNotificationPolicy::Notice notice, const ExporterMenu::State& state);
  void placePanel();
  void hidePopup();

  Exporter& exporter_;
  const bool hasSystemTray_;
  DesktopNotifications& notifications_;
  FailureNotificationPolicy policy_;
  ExporterMenu panel_;
  QSystemTrayIcon& tray_;
  QMenu trayMenu_;
  QElapsedTimer sinceHidden_;
  QTimer toolTipClock_;
  Exporter::ObserverID observer_;
};

}  // namespace lumenfolio
