#include "app/freedesktop_notifications.hpp"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <vector>

#include "qt_application.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

using namespace std::chrono_literals;

bool spinUntil(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(5);
  QTimer::singleShot(10s, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

// A notification service as a desktop runs it: takes each Notify call and
// answers with a new notification id.
class RecordingService final : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != FreedesktopNotifications::kService || message.member() != "Notify") {
      return false;
    }
    calls.push_back(message.arguments());
    connection.send(message.createReply(QVariant::fromValue(quint32(40 + calls.size()))));
    return true;
  }

  std::vector<QVariantList> calls;
};

// A session bus of the test's own, so no notification reaches the desktop.
class FreedesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::qtApplication();
    daemon_.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
         QStringLiteral("--address=unix:path=%1/bus")
             .arg(QString::fromStdString(dir_.path().string()))});
    if (!daemon_.waitForStarted()) GTEST_SKIP() << "dbus-daemon is not installed (package dbus)";
    ASSERT_TRUE(spinUntil([&] { return daemon_.canReadLine(); }));
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }

  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    daemon_.terminate();
    daemon_.waitForFinished();
  }

  QDBusConnection bus(const QString& name) const {
    return QDBusConnection::connectToBus(address_, name);
  }

  void runService() {
    QDBusConnection service = bus(QStringLiteral("service"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerVirtualObject(FreedesktopNotifications::kPath, &service_));
    ASSERT_TRUE(service.registerService(FreedesktopNotifications::kService));
  }

  testing::TempDir dir_;
  QProcess daemon_;
  QString address_;
  RecordingService service_;
};

TEST_F(FreedesktopNotificationsTest, sendsANoticeAndReplacesItWithTheNextOne) {
  runService();
  FreedesktopNotifications notifications(bus(QStringLiteral("client")));
  ASSERT_TRUE(notifications.show("Export failed", "Couldn't write the shared file."));
  ASSERT_TRUE(spinUntil([&] { return service_.calls.size() == 1; }));
  const QVariantList first = service_.calls[0];
  ASSERT_EQ(first.size(), 8);
  EXPECT_EQ(first[0].toString(), "lumenfolio exporter");
  EXPECT_EQ(first[1].toUInt(), 0u) << "a new notice";
  EXPECT_EQ(first[2].toString(), "lumenfolio-exporter");
  EXPECT_EQ(first[3].toString(), "Export failed");
  EXPECT_EQ(first[4].toString(), "Couldn't write the shared file.");
  EXPECT_TRUE(first[5].toStringList().isEmpty());
  EXPECT_EQ(first[7].toInt(), -1);

  // The answer (id 41) arrives; the next notice takes the place of that one.
  QEventLoop answer;
  QTimer::singleShot(1s, &answer, &QEventLoop::quit);
  answer.exec();
  ASSERT_TRUE(notifications.show("Exports work again", "Last export now · 3 photos"));
  ASSERT_TRUE(spinUntil([&] { return service_.calls.size() == 2; }));
  EXPECT_EQ(service_.calls[1][1].toUInt(), 41u);
  EXPECT_EQ(service_.calls[1][3].toString(), "Exports work again");
}

TEST_F(FreedesktopNotificationsTest, tellsWhenNoServiceCanShowIt) {
  FreedesktopNotifications notifications(bus(QStringLiteral("client")));
  EXPECT_FALSE(notifications.show("Export failed", "Couldn't write the shared file."));
  FreedesktopNotifications withoutBus(QDBusConnection(QStringLiteral("not connected")));
  EXPECT_FALSE(withoutBus.show("Export failed", "Couldn't write the shared file."));
}

}  // namespace
}  // namespace lumenfolio
