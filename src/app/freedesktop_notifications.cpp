#include "app/freedesktop_notifications.hpp"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace lumenfolio {
namespace {

constexpr int kServerDecidesTimeout = -1;

}  // namespace

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus) : bus_(std::move(bus)) {}

// A notification service that is not running yet is started by the bus when
// it is called, so a service the bus can start counts as there.
bool FreedesktopNotifications::serviceAvailable() const {
  if (!bus_.isConnected()) return false;
  QDBusConnectionInterface* bus = bus_.interface();
  if (!bus) return false;
  const QString service = QString::fromLatin1(kService);
  if (bus->isServiceRegistered(service)) return true;
  const QDBusReply<QStringList> startable = bus->activatableServiceNames();
  return startable.isValid() && startable.value().contains(service);
}

bool FreedesktopNotifications::show(const QString& summary, const QString& body) {
  if (!serviceAvailable()) return false;
  QDBusMessage notify =
      QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                     QString::fromLatin1(kService), QStringLiteral("Notify"));
  const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("lumenfolio-exporter")}};
  notify << QStringLiteral("lumenfolio exporter") << shown_ << QStringLiteral("lumenfolio-exporter")
         << summary << body << QStringList() << hints << qint32(kServerDecidesTimeout);
  auto* answer = new QDBusPendingCallWatcher(bus_.asyncCall(notify), &answers_);
  QObject::connect(answer, &QDBusPendingCallWatcher::finished, &answers_,
                   [this](QDBusPendingCallWatcher* call) {
                     const QDBusPendingReply<quint32> reply = *call;
                     if (reply.isValid()) shown_ = reply.value();
                     call->deleteLater();
                   });
  return true;
}

}  // namespace lumenfolio
