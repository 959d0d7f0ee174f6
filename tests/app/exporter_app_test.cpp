#include "app/exporter_app.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop_notifications.hpp"
#include "app/exporter_runtime.hpp"
#include "app/registration_mark.hpp"
#include "app/single_instance.hpp"
#include "headless_fixture.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/qt/qt_main_queue.hpp"
#include "qt_application.hpp"
#include "sample_library/sample_library.hpp"
#include "support/temp_dir.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until `done` holds; the limit only guards against a hang.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(10);
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

QString outputFolder() {
  const QString folder = QStringLiteral(LUMENFOLIO_TEST_OUTPUT_DIR);
  QDir().mkpath(folder);
  return folder;
}

// ---------------------------------------------------------------------------
// One instance per user.

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::qtApplication(); }
  QString folder() const { return QString::fromStdString(dir_.path().string()); }
  // The lock file and the socket of an instance in folder(), named after the user.
  QString inFolder(const QString& suffix) const {
    return QDir(folder()).filePath("lumenfolio-exporter-" + QString::number(::getuid()) + suffix);
  }
  QString lockFile() const { return inFolder(".lock"); }
  QString socketFile() const { return inFolder(".socket"); }

  // A later start in this folder, turned away, asks the running one to come
  // forward; true once that one has been activated `expected` times in all.
  bool laterStartActivates(const int& activations, int expected) {
    SingleInstance later(folder());
    return !later.acquire({}) && later.activateRunning(2s) &&
           spinUntil([&] { return activations == expected; }, 10s);
  }

  testing::TempDir dir_;
};

TEST_F(SingleInstanceTest, firstStartIsTheInstanceAndLaterStartsAreTurnedAway) {
  SingleInstance first(folder());
  SingleInstance second(folder());
  EXPECT_TRUE(first.acquire({}));
  EXPECT_FALSE(second.acquire({}));
}

TEST_F(SingleInstanceTest, lockAndSocketAreNamedAfterTheUser) {
  SingleInstance instance(folder());
  ASSERT_TRUE(instance.acquire({}));
  EXPECT_TRUE(QFileInfo::exists(lockFile()));
  EXPECT_TRUE(QFileInfo::exists(socketFile()));
  EXPECT_EQ(QDir(folder()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
            2);
}

TEST_F(SingleInstanceTest, laterStartBringsTheFirstForward) {
  SingleInstance first(folder());
  int activations = 0;
  ASSERT_TRUE(first.acquire([&] { ++activations; }));
  EXPECT_TRUE(laterStartActivates(activations, 1));
  EXPECT_TRUE(laterStartActivates(activations, 2));
}

TEST_F(SingleInstanceTest, socketIsOpenToItsUserOnly) {
  SingleInstance instance(folder());
  ASSERT_TRUE(instance.acquire({}));
  const QFileInfo socket(socketFile());
  ASSERT_TRUE(socket.exists());
  EXPECT_FALSE(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
}

TEST_F(SingleInstanceTest, nobodyToActivateWhenNoInstanceRuns) {
  SingleInstance lonely(folder());
  EXPECT_FALSE(lonely.activateRunning(0ms));
}

TEST_F(SingleInstanceTest, endedInstanceLeavesTheWayFree) {
  {
    SingleInstance first(folder());
    ASSERT_TRUE(first.acquire({}));
  }
  SingleInstance next(folder());
  EXPECT_TRUE(next.acquire({}));
}

TEST_F(SingleInstanceTest, lockOfACrashedProcessIsTakenOver) {
  QProcess gone;
  gone.start(QStringLiteral("/bin/true"), {});
  ASSERT_TRUE(gone.waitForStarted());
  const qint64 deadPid = gone.processId();
  ASSERT_TRUE(gone.waitForFinished());

  SingleInstance instance(folder());
  QFile lock(lockFile());
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.write(QByteArray::number(deadPid) + "\nlumenfolio-exporter\n" +
             QSysInfo::machineHostName().toLocal8Bit() + "\n");
  lock.close();
  QFile leftSocket(socketFile());  // a crashed owner leaves its socket file too
  ASSERT_TRUE(leftSocket.open(QIODevice::WriteOnly));
  leftSocket.close();

  int activations = 0;
  ASSERT_TRUE(instance.acquire([&] { ++activations; }));
  EXPECT_TRUE(laterStartActivates(activations, 1));
}

// ---------------------------------------------------------------------------
// The tray application on a real exporter, in this process.

// The desktop's notices, as the tray application sends them.
class RecordedNotifications final : public DesktopNotifications {
 public:
  bool show(const QString& summary, const QString& body) override {
    shown.push_back(summary + ": " + body);
    return true;
  }
  std::vector<QString> shown;
};

// A user with a home of its own, a sample library in its Pictures folder and a
// chosen shared folder, steered through the environment as the program reads it.
class ExporterAppTest : public ::testing::Test {
 protected:
  // The main queue below needs the application before the fixture is built.
  static void SetUpTestSuite() { testing::qtApplication(); }

  void SetUp() override {
    for (const auto& [name, path] : {std::pair{"HOME", user_.home()},
                                     {"XDG_CONFIG_HOME", user_.configHome()},
                                     {"XDG_CACHE_HOME", user_.cacheHome()},
                                     {"XDG_RUNTIME_DIR", user_.runtimeDir()}}) {
      ::setenv(name, path.c_str(), 1);
    }
    sample::SampleLibrary::write(user_.defaultLibrary(), {.assets = 120, .seed = 8});
    shared_ = user_.scratch("Shared Photos");
    SyncFolder::remember(*ExporterRuntime::userPreferences(), shared_);
    // Built after the environment is set: the login item takes its place from it.
    desktop_ = std::make_unique<HeadlessDesktopServices>();
    runtime_ = std::make_unique<ExporterRuntime>(queue_, *desktop_, ExporterRuntime::Options{});
  }

  void TearDown() override { runtime_.reset(); }

  Exporter& exporter() { return runtime_->exporter(); }

  bool exportEnds() {
    return spinUntil([&] { return !exporter().isWorking() && exporter().lastExport(); });
  }

  // The app's panel, found among the application's windows as a user finds it.
  ExporterMenu& panel() {
    ExporterMenu* found = nullptr;
    for (auto* window : QApplication::topLevelWidgets()) {
      if (auto* menu = dynamic_cast<ExporterMenu*>(window)) {
        EXPECT_EQ(found, nullptr) << "one panel at a time";
        found = menu;
      }
    }
    EXPECT_NE(found, nullptr);
    return *found;
  }

  template <typename Widget>
  Widget* find(const char* name) {
    auto* widget = panel().findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  // Runs one export and waits for its end.
  void exportNow() {
    bool ended = false;
    exporter().runExport([&] { ended = true; });
    ASSERT_TRUE(spinUntil([&] { return ended; }));
  }

  testing::HeadlessUser user_;
  RecordedNotifications notifications_;
  QSystemTrayIcon tray_;
  std::filesystem::path shared_;
  QtMainQueue queue_;
  std::unique_ptr<HeadlessDesktopServices> desktop_;
  std::unique_ptr<ExporterRuntime> runtime_;
};

TEST_F(ExporterAppTest, withoutTrayThePanelIsAnOrdinaryWindowShownAtOnce) {
  ExporterApp app(exporter(), tray_, false, notifications_);
  EXPECT_TRUE(panel().isVisible());
  EXPECT_FALSE(panel().windowFlags().testFlag(Qt::Popup));
  EXPECT_FALSE(panel().windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(panel().windowTitle(), "lumenfolio exporter");
  EXPECT_EQ(panel().width(), ExporterMenu::kWidth);
}

TEST_F(ExporterAppTest, withTrayThePanelIsAPopupOpenedByTheTrayItem) {
  ExporterApp app(exporter(), tray_, true, notifications_);
  EXPECT_FALSE(panel().isVisible());
  EXPECT_TRUE(panel().windowFlags().testFlag(Qt::Popup));
  emit tray_.activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(panel().isVisible());
  emit tray_.activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(panel().isVisible());
  // The click that closed the popup arrives as an activation as well.
  emit tray_.activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(panel().isVisible());
  // A later start of the program still brings it forward, whole on the screen.
  app.showPanel();
  EXPECT_TRUE(panel().isVisible());
  const QScreen* screen = QGuiApplication::screenAt(panel().geometry().center());
  ASSERT_NE(screen, nullptr);
  EXPECT_TRUE(screen->availableGeometry().contains(panel().geometry()));
  emit tray_.activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(panel().isVisible()) << "the item's menu leaves the panel alone";
  ASSERT_NE(tray_.contextMenu(), nullptr);
  EXPECT_EQ(tray_.contextMenu()->actions().size(), 2);
}

// A tray item at the bottom of the screen: the panel opens above it, and when
// its text grows while it is open (a larger font, another screen's DPI) it
// grows upwards, still whole on the screen and still ending above the item.
TEST_F(ExporterAppTest, aPanelThatGrowsWhileOpenIsPlacedAnew) {
  ExporterApp app(exporter(), tray_, true, notifications_);
  // Only the panel's own growth moves it below, not a redraw for the exporter.
  ASSERT_TRUE(exportEnds());
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint item(room.center().x(), room.bottom() - 2);
  QCursor::setPos(item);
  app.showPanel();
  const QRect opened = panel().geometry();
  ASSERT_TRUE(room.contains(opened));
  ASSERT_LT(opened.bottom(), item.y());

  QFont larger = panel().font();
  larger.setPointSizeF(larger.pointSizeF() * 1.4);
  panel().setFont(larger);
  QCoreApplication::processEvents();
  const QRect grown = panel().geometry();
  EXPECT_GT(grown.height(), opened.height());
  EXPECT_TRUE(room.contains(grown));
  EXPECT_LT(grown.bottom(), item.y());
  EXPECT_NEAR(grown.bottom(), opened.bottom(), 4);
}

TEST_F(ExporterAppTest, panelAndTrayImageFollowTheExporter) {
  ExporterApp app(exporter(), tray_, false, notifications_);
  bool sawBusyImage = false;
  const auto watcher = exporter().addObserver([&] {
    if (exporter().isWorking()) {
      sawBusyImage |= tray_.icon().cacheKey() == RegistrationMark::tray(true, false).cacheKey();
    }
  });

  // The first start has never exported, so an export runs at once.
  ASSERT_TRUE(exportEnds()) << exporter().status().value_or("");
  EXPECT_TRUE(sawBusyImage);
  EXPECT_EQ(tray_.icon().cacheKey(), RegistrationMark::tray(false, false).cacheKey());
  ASSERT_GT(exporter().lastCount(), 0);
  const QString line = find<QLabel>("lastExport")->text();
  EXPECT_TRUE(line.startsWith("Last export ")) << line.toStdString();
  EXPECT_TRUE(line.endsWith(QString::fromUtf8(" · %1 photos").arg(exporter().lastCount())))
      << line.toStdString();
  EXPECT_EQ(find<QLabel>("folderName")->text(), "Shared Photos");
  EXPECT_EQ(find<QPushButton>("chooseFolder")->text(), QString::fromUtf8("Change folder…"));
  EXPECT_FALSE(find<QWidget>("status")->isVisibleTo(&panel()));

  // "Export now" starts a run at once and returns; the panel shows it running.
  auto* exportNow = find<QPushButton>("exportNow");
  ASSERT_TRUE(exportNow->isEnabled());
  exportNow->click();
  EXPECT_TRUE(exporter().isWorking());
  EXPECT_FALSE(exportNow->isEnabled());
  EXPECT_TRUE(find<QWidget>("spinner")->isVisibleTo(&panel()));
  EXPECT_EQ(tray_.icon().cacheKey(), RegistrationMark::tray(true, false).cacheKey());
  ASSERT_TRUE(exportEnds());
  EXPECT_TRUE(exportNow->isEnabled());
  exporter().removeObserver(watcher);
}

// The shared folder goes away (a disk unplugged) after exports worked, and
// is there again later: one notice for each change, none for a failure that goes
// on; the tray item marks the failure and its tooltip tells it.
TEST_F(ExporterAppTest, trayItemTellsWhenExportsStopAndWorkAgain) {
  ExporterApp app(exporter(), tray_, true, notifications_);
  ASSERT_TRUE(exportEnds()) << exporter().status().value_or("");
  EXPECT_TRUE(notifications_.shown.empty()) << "the first export is no news";
  EXPECT_EQ(tray_.icon().cacheKey(), RegistrationMark::tray(false, false).cacheKey());
  const QStringList working = tray_.toolTip().split('\n');
  ASSERT_EQ(working.size(), 2) << tray_.toolTip().toStdString();
  EXPECT_EQ(working[0], "lumenfolio exporter");
  EXPECT_TRUE(working[1].startsWith("Last export ")) << working[1].toStdString();

  std::filesystem::remove_all(shared_);
  exportNow();
  ASSERT_TRUE(exporter().status().has_value());
  const QString failure = QString::fromStdString(*exporter().status());
  EXPECT_EQ(notifications_.shown, std::vector<QString>{"Export failed: " + failure});
  EXPECT_EQ(tray_.icon().cacheKey(), RegistrationMark::tray(false, true).cacheKey());
  const QStringList failing = tray_.toolTip().split('\n');
  ASSERT_EQ(failing.size(), 3) << tray_.toolTip().toStdString();
  EXPECT_EQ(failing[1], working[1]);
  EXPECT_EQ(failing[2], failure);

  exportNow();
  exportNow();
  EXPECT_EQ(notifications_.shown.size(), 1u) << "the same failure is told once";

  // Back, and chosen again should the exporter have let go of it.
  std::filesystem::create_directories(shared_);
  SyncFolder::remember(runtime_->preferences(), shared_);
  exportNow();
  EXPECT_FALSE(exporter().status().has_value()) << exporter().status().value_or("");
  ASSERT_EQ(notifications_.shown.size(), 2u);
  EXPECT_TRUE(notifications_.shown[1].startsWith("Exports work again: Last export "))
      << notifications_.shown[1].toStdString();
  EXPECT_EQ(tray_.icon().cacheKey(), RegistrationMark::tray(false, false).cacheKey());
  EXPECT_EQ(tray_.toolTip().split('\n').size(), 2);
}

TEST_F(ExporterAppTest, openAtLoginWritesTheAutostartEntry) {
  ExporterApp app(exporter(), tray_, false, notifications_);
  auto* toggle = find<QCheckBox>("openAtLogin");
  EXPECT_FALSE(toggle->isChecked());
  toggle->click();
  EXPECT_TRUE(exporter().opensAtLogin());
  EXPECT_TRUE(
      std::filesystem::exists(user_.configHome() / "autostart" / "lumenfolio-exporter.desktop"));
  EXPECT_TRUE(toggle->isChecked());
  toggle->click();
  EXPECT_FALSE(exporter().opensAtLogin());
  EXPECT_FALSE(toggle->isChecked());
}

TEST_F(ExporterAppTest, quitEndsTheEventLoopCleanly) {
  ExporterApp app(exporter(), tray_, false, notifications_);
  QTimer::singleShot(0, [&] { find<QPushButton>("quit")->click(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

// ---------------------------------------------------------------------------
// The real program on an X server of its own.

// Xvfb on the first free display, ended with the test.
class VirtualDisplay {
 public:
  static std::optional<std::string> xvfb() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (found.isEmpty()) return std::nullopt;
    return found.toStdString();
  }

  explicit VirtualDisplay(const std::string& program) {
    int announce[2];
    if (::pipe(announce) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(announce[0]);
      const std::string fd = std::to_string(announce[1]);
      ::execl(program.c_str(), program.c_str(), "-displayfd", fd.c_str(), "-screen", "0",
              "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(announce[1]);
    std::string number;
    char c;
    while (::read(announce[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(announce[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    name_ = ":" + number;
  }

  ~VirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// What the test does on the display as a client of its own: find, stack,
// capture and click windows.
class DisplayClient {
 public:
  explicit DisplayClient(const std::string& display) {
    connection_ = ::xcb_connect(display.c_str(), nullptr);
    if (::xcb_connection_has_error(connection_)) throw std::runtime_error("no X connection");
    root_ = ::xcb_setup_roots_iterator(::xcb_get_setup(connection_)).data;
  }
  ~DisplayClient() { ::xcb_disconnect(connection_); }
  DisplayClient(const DisplayClient&) = delete;
  DisplayClient& operator=(const DisplayClient&) = delete;

  // The root's children, bottom of the stack first.
  std::vector<xcb_window_t> stack() {
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        ::xcb_query_tree_reply(connection_, ::xcb_query_tree(connection_, root_->root), nullptr),
        &std::free);
    if (!tree) return {};
    const xcb_window_t* children = ::xcb_query_tree_children(tree.get());
    return {children, children + ::xcb_query_tree_children_length(tree.get())};
  }

  std::optional<xcb_window_t> viewableWindow(const std::string& title) {
    for (const xcb_window_t window : stack()) {
      if (isViewable(window) && this->title(window) == title) return window;
    }
    return std::nullopt;
  }

  QRect geometry(xcb_window_t window) {
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(
        ::xcb_get_geometry_reply(connection_, ::xcb_get_geometry(connection_, window), nullptr),
        &std::free);
    if (!reply) return {};
    return QRect(reply->x, reply->y, reply->width, reply->height);
  }

  xcb_window_t coverScreen() {
    const xcb_window_t window = ::xcb_generate_id(connection_);
    const uint32_t black = root_->black_pixel;
    ::xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_->root, 0, 0,
                        root_->width_in_pixels, root_->height_in_pixels, 0,
                        XCB_WINDOW_CLASS_INPUT_OUTPUT, root_->root_visual, XCB_CW_BACK_PIXEL,
                        &black);
    ::xcb_map_window(connection_, window);
    ::xcb_flush(connection_);
    return window;
  }

  void destroy(xcb_window_t window) {
    ::xcb_destroy_window(connection_, window);
    ::xcb_flush(connection_);
  }

  QImage capture(xcb_window_t window) {
    const QRect place = geometry(window);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        ::xcb_get_image_reply(
            connection_,
            ::xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                            uint16_t(place.width()), uint16_t(place.height()), ~0u),
            nullptr),
        &std::free);
    if (!reply || reply->depth != 24) return {};
    return QImage(::xcb_get_image_data(reply.get()), place.width(), place.height(),
                  QImage::Format_RGB32)
        .copy();
  }

  // Takes the system tray's selection, as a tray host does, so the program
  // finds a tray; the host shows nothing.
  void becomeSystemTray() {
    trayHost_ = ::xcb_generate_id(connection_);
    ::xcb_create_window(connection_, XCB_COPY_FROM_PARENT, trayHost_, root_->root, 0, 0, 1, 1, 0,
                        XCB_WINDOW_CLASS_INPUT_ONLY, root_->root_visual, 0, nullptr);
    ::xcb_set_selection_owner(connection_, trayHost_, atom("_NET_SYSTEM_TRAY_S0"),
                              XCB_CURRENT_TIME);
    ::xcb_flush(connection_);
  }

  // Whether some program has asked the tray host to dock its item.
  bool trayItemRequested() {
    const xcb_atom_t opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    constexpr uint32_t kRequestDock = 0;
    while (xcb_generic_event_t* event = ::xcb_poll_for_event(connection_)) {
      const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
      dockRequested_ |= (event->response_type & ~0x80) == XCB_CLIENT_MESSAGE &&
                        message->type == opcode && message->data.data32[1] == kRequestDock;
      std::free(event);
    }
    return dockRequested_;
  }

  bool overridesRedirect(xcb_window_t window) { return attributes(window)->override_redirect; }

  // A press and a release of the first button at `point` within `window`.
  void click(xcb_window_t window, const QPoint& point) {
    const QPoint onScreen = geometry(window).topLeft() + point;
    for (const bool press : {true, false}) {
      xcb_button_press_event_t event{};
      event.response_type = press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE;
      event.detail = 1;
      event.time = XCB_CURRENT_TIME;
      event.root = root_->root;
      event.event = window;
      event.child = XCB_NONE;
      event.root_x = int16_t(onScreen.x());
      event.root_y = int16_t(onScreen.y());
      event.event_x = int16_t(point.x());
      event.event_y = int16_t(point.y());
      event.state = press ? 0 : XCB_BUTTON_MASK_1;
      event.same_screen = 1;
      // No event mask: the event goes to the client that made the window.
      ::xcb_send_event(connection_, false, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
    }
    ::xcb_flush(connection_);
  }

 private:
  using Attributes = std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)>;

  Attributes attributes(xcb_window_t window) {
    Attributes reply(::xcb_get_window_attributes_reply(
                         connection_, ::xcb_get_window_attributes(connection_, window), nullptr),
                     &std::free);
    if (!reply) throw std::runtime_error("no such window");
    return reply;
  }

  bool isViewable(xcb_window_t window) {
    try {
      return attributes(window)->map_state == XCB_MAP_STATE_VIEWABLE;
    } catch (const std::runtime_error&) {
      return false;  // gone between listing and asking
    }
  }

  xcb_atom_t atom(const std::string& name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        ::xcb_intern_atom_reply(
            connection_, ::xcb_intern_atom(connection_, false, uint16_t(name.size()), name.data()),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  }

  std::string title(xcb_window_t window) {
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        ::xcb_get_property_reply(connection_,
                                 ::xcb_get_property(connection_, false, window, XCB_ATOM_WM_NAME,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                 nullptr),
        &std::free);
    if (!reply) return {};
    const auto* text = static_cast<const char*>(::xcb_get_property_value(reply.get()));
    return std::string(text, std::size_t(::xcb_get_property_value_length(reply.get())));
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* root_ = nullptr;
  xcb_window_t trayHost_ = XCB_NONE;
  bool dockRequested_ = false;
};

// Polls an outside process's effect; the limit only guards against a hang.
bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 30s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QThread::msleep(50);
  }
  return true;
}

// Enough dark text on a light panel (or the reverse) to be a drawn panel.
bool looksDrawn(const QImage& image) {
  int dark = 0, light = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int grey = qGray(image.pixel(x, y));
      dark += grey < 80;
      light += grey > 180;
    }
  }
  return dark > 200 && light > 200;
}

TEST(ExporterAppWithoutDisplay, pointsToTheCommandThatNeedsNone) {
  testing::HeadlessUser user;
  const auto result = user.run({});
  EXPECT_EQ(result.exitCode, 1) << testing::describe(result);
  EXPECT_NE(result.err.find("lumenfolio-exporter watch"), std::string::npos) << result.err;
}

// The real program for a user of its own, on an X server of its own.
class ExporterAppOnXServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::qtApplication(); }

  void SetUp() override {
    const auto xvfb = VirtualDisplay::xvfb();
    if (!xvfb) GTEST_SKIP() << "Xvfb is not installed (package xvfb); the X server test cannot run";
    display_ = std::make_unique<VirtualDisplay>(*xvfb);
    client_ = std::make_unique<DisplayClient>(display_->name());
    sample::SampleLibrary::write(user_.defaultLibrary(), {.assets = 150, .seed = 3});
    environment_ = user_.environment();
    environment_.push_back("DISPLAY=" + display_->name());
    environment_.push_back("QT_QPA_PLATFORM=xcb");
  }

  DisplayClient& client() { return *client_; }

  std::unique_ptr<testing::ExporterProcess> start() {
    return std::make_unique<testing::ExporterProcess>(std::vector<std::string>{}, environment_);
  }

  // Once the first start answers on its socket, a later start hands over to it.
  bool listening() const {
    const auto socket =
        user_.runtimeDir() / ("lumenfolio-exporter-" + std::to_string(::getuid()) + ".socket");
    return eventually([&] { return std::filesystem::exists(socket); });
  }

  testing::CommandResult startAgain() {
    return testing::ExporterProcess({}, environment_).finish(60s);
  }

  std::optional<xcb_window_t> panel() {
    std::optional<xcb_window_t> found;
    eventually(
        [&] { return (found = client().viewableWindow("lumenfolio exporter")).has_value(); });
    return found;
  }

  void expectDrawn(xcb_window_t panel, const char* snapshot) {
    QImage image;
    EXPECT_TRUE(eventually([&] { return looksDrawn(image = client().capture(panel)); }));
    image.save(outputFolder() + "/" + snapshot + ".png");
  }

  // "Quit" is the last line, at the panel's lower left corner.
  void clickQuit(xcb_window_t panel) {
    const QRect place = client().geometry(panel);
    client().click(panel,
                   QPoint(ExporterMenu::kMargin + 10, place.height() - ExporterMenu::kMargin - 8));
  }

  testing::HeadlessUser user_;
  std::unique_ptr<VirtualDisplay> display_;
  std::unique_ptr<DisplayClient> client_;
  std::vector<std::string> environment_;
};

TEST_F(ExporterAppOnXServer, withoutTrayOpensItsWindowComesForwardAndQuitsThroughQuit) {
  const auto shared = user_.scratch("Shared");
  const auto exported = user_.run({"export", "--folder", shared.string()});
  ASSERT_EQ(exported.exitCode, 0) << testing::describe(exported);
  const auto app = start();

  // A bare X server has no system tray, so the panel opens as a window at start.
  const auto panel = this->panel();
  ASSERT_TRUE(panel) << "no panel window appeared";
  EXPECT_EQ(client().geometry(*panel).width(), ExporterMenu::kWidth);
  EXPECT_FALSE(client().overridesRedirect(*panel)) << "an ordinary window";

  // A second start hands over to the first and ends; the panel comes to the top.
  const xcb_window_t cover = client().coverScreen();
  ASSERT_TRUE(eventually([&] { return client().stack().back() == cover; }));
  ASSERT_TRUE(listening());
  const auto second = startAgain();
  EXPECT_EQ(second.exitCode, 0) << testing::describe(second);
  EXPECT_TRUE(eventually([&] { return client().stack().back() == *panel; }))
      << "the panel was not brought forward";
  client().destroy(cover);
  expectDrawn(*panel, "exporter-app-window");

  clickQuit(*panel);
  const auto result = app->finish(30s);
  EXPECT_EQ(result.exitCode, 0) << testing::describe(result);
}

TEST_F(ExporterAppOnXServer, withTrayPutsItsItemThereAndOpensThePopupPanelWhenAskedAgain) {
  client().becomeSystemTray();
  const auto app = start();
  ASSERT_TRUE(eventually([&] { return client().trayItemRequested(); }))
      << "no tray item was docked";
  ASSERT_TRUE(listening());
  EXPECT_FALSE(client().viewableWindow("lumenfolio exporter")) << "the panel waits for a click";

  const auto second = startAgain();
  EXPECT_EQ(second.exitCode, 0) << testing::describe(second);
  const auto panel = this->panel();
  ASSERT_TRUE(panel) << "no panel popup appeared";
  EXPECT_TRUE(client().overridesRedirect(*panel)) << "a frameless popup";
  EXPECT_EQ(client().geometry(*panel).width(), ExporterMenu::kWidth);
  expectDrawn(*panel, "exporter-app-tray-popup");

  clickQuit(*panel);
  const auto result = app->finish(30s);
  EXPECT_EQ(result.exitCode, 0) << testing::describe(result);
}

}  // namespace
}  // namespace lumenfolio
