#include "app/exporter_app.hpp"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QScreen>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/exporter_runtime.hpp"
#include "app/freedesktop_notifications.hpp"
#include "app/registration_mark.hpp"
#include "app/single_instance.hpp"
#include "app/stop_signals.hpp"
#include "base/xdg_locations.hpp"
#include "platform/linux/console_log.hpp"
#include "platform/qt/linux_desktop_services.hpp"
#include "platform/qt/qt_main_queue.hpp"

namespace lumenfolio {
namespace {

constexpr std::chrono::seconds kActivationPatience(5);
constexpr int kPanelOffset = 4;
constexpr qint64 kReopenGuardMs = 300;
// The tooltip tells the last export relative to now, so it is redone while
// the panel, which is redrawn each time it opens, stays closed.
constexpr std::chrono::minutes kToolTipRefresh(1);

double secondsNow() {
  return double(QDateTime::currentMSecsSinceEpoch()) / 1000;
}

QString ui(const char* source) {
  return QCoreApplication::translate("lumenfolio::ExporterApp", source);
}

// Keeps `panel` whole on the screen that holds `anchor`.
QPoint clampToScreen(QRect panel, const QPoint& anchor) {
  const QScreen* screen = QGuiApplication::screenAt(anchor);
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return panel.topLeft();
  const QRect room = screen->availableGeometry();
  panel.moveRight(std::min(panel.right(), room.right()));
  panel.moveLeft(std::max(panel.left(), room.left()));
  panel.moveBottom(std::min(panel.bottom(), room.bottom()));
  panel.moveTop(std::max(panel.top(), room.top()));
  return panel.topLeft();
}

// Qt ends the process when it finds no display, so the tray application
// steps aside first and points to the command that needs none.
bool hasDisplay() {
  return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

}  // namespace

int ExporterApp::run(int argc, char** argv) {
  if (!hasDisplay()) {
    std::fputs(
        "lumenfolio-exporter: no display to show the tray item on; "
        "run \"lumenfolio-exporter watch\" to export without one\n",
        stderr);
    return 1;
  }
  // Before Qt starts any thread, so the signals reach only the watcher. A stop
  // (logout, systemd) quits the way "Quit" does, through the destructors, so
  // a write in progress is stopped cleanly and its ".part" removed.
  std::atomic<bool> stopped = false;
  const StopSignals stopSignals([&stopped](int) {
    stopped = true;
    if (auto* application = QCoreApplication::instance()) {
      QMetaObject::invokeMethod(application, &QCoreApplication::quit, Qt::QueuedConnection);
    }
  });
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("lumenfolio-exporter"));
  QApplication::setDesktopFileName(QStringLiteral("lumenfolio-exporter"));
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("lumenfolio-exporter"), RegistrationMark::idle()));

  ExporterApp* front = nullptr;
  SingleInstance instance(SingleInstance::defaultFolder());
  if (!instance.acquire([&front] {
        if (front) front->showPanel();
      })) {
    if (instance.activateRunning(kActivationPatience)) return 0;
    std::fputs("lumenfolio-exporter: already running, but it does not answer\n", stderr);
    return 1;
  }

  const bool hasSystemTray = QSystemTrayIcon::isSystemTrayAvailable();
  // Without a tray the panel window is the whole program: closing it quits.
  QApplication::setQuitOnLastWindowClosed(!hasSystemTray);

  QtMainQueue mainQueue;
  LinuxDesktopServices desktop(XdgLocations::pictures());
  // A failure shows in the panel only while it is open; the log keeps it for
  // whoever reads stderr or the journal later.
  ConsoleLog log("lumenfolio-exporter", ConsoleLog::Verbosity::normal);
  ExporterRuntime runtime(mainQueue, desktop,
                          {.libraryPackage = {}, .runsStartUp = true, .stop = {}, .log = log});
  FreedesktopNotifications notifications;
  QSystemTrayIcon tray;
  ExporterApp app(runtime.exporter(), tray, hasSystemTray, notifications);
  front = &app;
  // A stop before the event loop ran would otherwise be lost.
  const int status = stopped ? 0 : QApplication::exec();
  front = nullptr;
  return status;
}

ExporterApp::ExporterApp(Exporter& exporter, QSystemTrayIcon& tray, bool hasSystemTray,
                         DesktopNotifications& notifications)
    : exporter_(exporter),
      hasSystemTray_(hasSystemTray),
      notifications_(notifications),
      policy_(exporter.lastExport().has_value()),
      panel_(actions()),
      tray_(tray) {
  panel_.setWindowFlags(hasSystemTray_ ? Qt::Popup : Qt::Window);
  panel_.setWindowTitle(ui("lumenfolio exporter"));

  QObject::connect(&toolTipClock_, &QTimer::timeout, &panel_,
                   [this] { tray_.setToolTip(toolTip(stateOf(exporter_, secondsNow()))); });
  toolTipClock_.start(kToolTipRefresh);
  QObject::connect(&tray_, &QSystemTrayIcon::activated, &panel_,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Context) return;
                     togglePanel();
                   });
  // Some trays never report a click and only offer the item's menu.
  QObject::connect(trayMenu_.addAction(ui("Open lumenfolio exporter")), &QAction::triggered,
                   &panel_, [this] { showPanel(); });
  QObject::connect(trayMenu_.addAction(ui("Quit")), &QAction::triggered, &panel_,
                   [] { QCoreApplication::quit(); });
  tray_.setContextMenu(&trayMenu_);

  panel_.setOnHidden([this] { sinceHidden_.start(); });
  // A panel that grows while open, as its text grows, is placed anew so it
  // still hangs from the tray item and stays whole on the screen.
  panel_.setOnResized([this] {
    if (panel_.isVisible() && hasSystemTray_) placePanel();
  });
  observer_ = exporter_.addObserver([this] { refresh(); });
  refresh();
  // Shown even without a tray now, so a tray that appears later still gets the item.
  tray_.show();
  if (!hasSystemTray_) showPanel();
}

ExporterApp::~ExporterApp() {
  exporter_.removeObserver(observer_);
  tray_.setContextMenu(nullptr);  // the menu goes with the app, the item may stay
}

ExporterMenu::Actions ExporterApp::actions() {
  return {
      .openFullDiskAccessSettings = [this] { exporter_.openFullDiskAccessSettings(); },
      .chooseFolder =
          [this] {
            // A popup holds the pointer, so it makes way for the folder dialog.
            hidePopup();
            exporter_.chooseFolder();
          },
      .exportNow = [this] { exporter_.runExport(); },
      .setOpensAtLogin = [this](bool enabled) { exporter_.setOpensAtLogin(enabled); },
      .quit = [] { QCoreApplication::quit(); },
  };
}

ExporterMenu::State ExporterApp::stateOf(const Exporter& exporter, double now) {
  return {
      .isWorking = exporter.isWorking(),
      .status = exporter.status(),
      .needsFullDiskAccess = exporter.needsFullDiskAccess(),
      .lastExport = exporter.lastExport(),
      .lastCount = exporter.lastCount(),
      .folderName = exporter.folderName(),
      .opensAtLogin = exporter.opensAtLogin(),
      .now = now,
  };
}

QString ExporterApp::toolTip(const ExporterMenu::State& state) {
  QStringList lines{ui("lumenfolio exporter"), ExporterMenu::lastExportLine(state)};
  if (state.status) {
    lines << QString::fromStdString(*state.status);
  } else if (state.isWorking) {
    lines << QString::fromUtf8("Working…");
  }
  return lines.join(QLatin1Char('\n'));
}

void ExporterApp::refresh() {
  const ExporterMenu::State state = stateOf(exporter_, secondsNow());
  panel_.render(state);
  if (const auto notice = policy_.observe({state.isWorking, state.status})) {
    announce(*notice, state);
  }
  tray_.setIcon(RegistrationMark::tray(state.isWorking, policy_.lastRunFailed()));
  tray_.setToolTip(toolTip(state));
  if (panel_.isVisible() && hasSystemTray_) placePanel();
}

// The desktop's notification service shows the notice; a tray without one
// (an XEmbed tray outside a desktop session) gets Qt's own balloon instead.
void ExporterApp::announce(FailureNotificationPolicy::Notice notice,
                           const ExporterMenu::State& state) {
  const bool failed = notice == FailureNotificationPolicy::Notice::failed;
  const QString summary = failed ? ui("Export failed") : ui("Exports work again");
  const QString body = failed ? QString::fromStdString(state.status.value_or(std::string()))
                              : ExporterMenu::lastExportLine(state);
  if (notifications_.show(summary, body)) return;
  if (tray_.isVisible() && QSystemTrayIcon::supportsMessages()) {
    tray_.showMessage(summary, body,
                      failed ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
  }
}

void ExporterApp::togglePanel() {
  if (!hasSystemTray_) return showPanel();
  // A click on the tray item first closes the open popup as a click outside
  // it; that same click must not open it again.
  const bool justClosed = sinceHidden_.isValid() && sinceHidden_.elapsed() < kReopenGuardMs;
  if (panel_.isVisible()) {
    panel_.hide();
  } else if (!justClosed) {
    showPanel();
  }
}

void ExporterApp::showPanel() {
  // The last export is told relative to the moment the panel opens.
  panel_.render(stateOf(exporter_, secondsNow()));
  if (hasSystemTray_) placePanel();
  panel_.show();
  panel_.raise();
  panel_.activateWindow();
}

// Beside the tray item: below it on a top panel, above it on a bottom one.
// Trays that do not tell where the item is get the panel at the pointer.
void ExporterApp::placePanel() {
  const QRect item = tray_.geometry();
  const QPoint anchor = item.isValid() ? item.center() : QCursor::pos();
  const QScreen* screen = QGuiApplication::screenAt(anchor);
  const bool itemAtTop = !screen || anchor.y() < screen->geometry().center().y();
  const QSize size = panel_.size();
  const QRect spot = item.isValid() ? item : QRect(anchor, QSize(1, 1));
  const int top =
      itemAtTop ? spot.bottom() + kPanelOffset : spot.top() - kPanelOffset - size.height();
  panel_.move(clampToScreen(QRect(QPoint(spot.left(), top), size), anchor));
}

void ExporterApp::hidePopup() {
  if (hasSystemTray_) panel_.hide();
}

}  // namespace lumenfolio
