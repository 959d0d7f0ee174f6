// One tray application per user session. The first start holds a lock file and
// listens on a local socket only its user may reach; a later start finds the
// lock taken, asks the first over the socket to bring its panel forward, and
// ends. A lock left by a process that no longer runs is taken over.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

namespace lumenfolio {

class SingleInstance {
 public:
  // Lock and socket live in `folder`, named after the user's id.
  explicit SingleInstance(const QString& folder);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // The user's runtime folder ($XDG_RUNTIME_DIR, or Qt's private fallback).
  static QString defaultFolder();

  // True when this process is now the one instance; from then on every later
  // start calls `onActivate` on this thread's event loop.
  bool acquire(std::function<void()> onActivate);

  // Asks the running instance to bring its panel forward. It may still be
  // starting, so the socket is tried again until `patience` has passed.
  bool activateRunning(std::chrono::milliseconds patience) const;

 private:
  void accept();

  QString lockPath_;
  QString serverName_;
  QLockFile lock_;
  std::unique_ptr<QLocalServer> server_;
  std::function<void()> onActivate_;
};

}  // namespace lumenfolio
