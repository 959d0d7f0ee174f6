#include "sqlite/sqlite_database.hpp"

#include <fcntl.h>

#include <mutex>
#include <utility>

namespace lumenfolio {

namespace {

// How many virtual machine instructions run between two looks at the stop
// token: a look is one atomic load, and a thousand steps take microseconds.
constexpr int kStepsPerStopCheck = 1000;

int stopRequested(void* stop) {
  return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0;
}

// Opening a fifo for reading waits until something opens it for writing. A
// fifo put under a side file's name after the library was looked at would
// hold the reading thread there for good, past any stop request: every file
// SQLite opens is opened without waiting, and a read of such a fifo ends
// with nothing or an error. Regular files and folders ignore the flag.
using OpenCall = int (*)(const char*, int, int);
OpenCall waitingOpen = nullptr;

int openWithoutWaiting(const char* path, int flags, int mode) {
  return waitingOpen(path, flags | O_NONBLOCK, mode);
}

void neverWaitToOpen() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    auto* vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr || vfs->iVersion < 3) return;
    waitingOpen = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
    if (waitingOpen == nullptr) return;
    vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(&openWithoutWaiting));
  });
}

}  // namespace

SqliteDatabase SqliteDatabase::open(const std::string& filename, int flags, int* resultCode) {
  neverWaitToOpen();
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(filename.c_str(), &raw, flags, nullptr);
  if (resultCode != nullptr) *resultCode = rc;
  SqliteDatabase db;
  // sqlite3_open_v2 may hand out a connection even when it fails; it must be closed either way.
  db.handle_.reset(raw);
  if (rc != SQLITE_OK) {
    db.openFailure_ =
        raw != nullptr
            ? SqliteError("open", filename, rc, sqlite3_extended_errcode(raw), sqlite3_errmsg(raw))
            : SqliteError::ofCode(rc, "open", filename);
    db.handle_.reset();
  }
  return db;
}

int SqliteDatabase::exec(const std::string& sql) const noexcept {
  if (!handle_) return SQLITE_MISUSE;
  return sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, nullptr);
}

void SqliteDatabase::interruptWhen(std::stop_token stop) {
  if (!handle_) return;
  if (!stop.stop_possible()) {
    sqlite3_progress_handler(handle_.get(), 0, nullptr, nullptr);
    stop_.reset();
    return;
  }
  auto watched = std::make_unique<std::stop_token>(std::move(stop));
  sqlite3_progress_handler(handle_.get(), kStepsPerStopCheck, stopRequested, watched.get());
  stop_ = std::move(watched);
}

int SqliteDatabase::close() noexcept {
  if (!handle_) return SQLITE_OK;
  const int rc = sqlite3_close(handle_.release());
  return rc;
}

SqliteError SqliteDatabase::error(std::string operation) const {
  if (handle_) return SqliteError::of(handle_.get(), std::move(operation));
  if (openFailure_) return openFailure_->withOperation(std::move(operation));
  return SqliteError::ofCode(SQLITE_MISUSE, std::move(operation), {});
}

}  // namespace lumenfolio
