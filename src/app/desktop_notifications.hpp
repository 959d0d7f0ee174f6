// Where the tray application tells the user about a change the panel alone
// would keep quiet while it is closed: exports that stopped working, and
// exports that work again.
#pragma once

#include <QString>

namespace lumenfolio {

class DesktopNotifications {
 public:
  virtual ~DesktopNotifications() = default;

  // Shows a notice, in place of the one shown before if that is still up.
  // False when the desktop has nobody to show it.
  virtual bool show(const QString& summary, const QString& body) = 0;
};

}  // namespace lumenfolio
