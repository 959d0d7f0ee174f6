// Desktop notifications through the freedesktop notification service on the
// session bus (org.freedesktop.Notifications), which every Linux desktop runs
// or starts on demand.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include "app/desktop_notifications.hpp"

namespace lumenfolio {

class FreedesktopNotifications final : public DesktopNotifications {
 public:
  static constexpr const char* kService = "org.freedesktop.Notifications";
  static constexpr const char* kPath = "/org/freedesktop/Notifications";

  explicit FreedesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus());

  // Sends the notice without waiting for the service's answer; the answer's
  // id lets the next notice replace this one.
  bool show(const QString& summary, const QString& body) override;

 private:
  bool serviceAvailable() const;

  QDBusConnection bus_;
  quint32 shown_ = 0;
  // Holds the pending answers, so none outlives this object.
  QObject answers_;
};

}  // namespace lumenfolio
