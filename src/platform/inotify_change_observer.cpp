#include "platform/inotify_change_observer.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "platform/boottime_clock.hpp"

namespace lumenfolio {

namespace {

constexpr std::uint32_t kEventMask = IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM;

std::vector<std::string> withWriteAheadLogs(std::initializer_list<const char*> databases) {
  std::vector<std::string> names;
  for (const char* database : databases) {
    names.emplace_back(database);
    names.emplace_back(std::string(database) + "-wal");
  }
  return names;
}

int millisecondsUntil(BoottimeClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - BoottimeClock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

InotifyChangeObserver::InotifyChangeObserver(const std::filesystem::path& package,
                                             std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds longest)
    : quiet_(quiet), longest_(longest) {
  inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd_ < 0) return;
  watchFolder(package / "database", withWriteAheadLogs({"Photos.sqlite"}));
  watchFolder(package / "database" / "search", withWriteAheadLogs({"psi.sqlite", "leo.sqlite"}));
  if (watches_.empty()) return;
  stopFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (stopFd_ < 0) return;
  thread_ = std::thread([this] { loop(); });
}

InotifyChangeObserver::~InotifyChangeObserver() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = write(stopFd_, &one, sizeof one);
    thread_.join();
  }
  if (stopFd_ >= 0) close(stopFd_);
  if (inotifyFd_ >= 0) close(inotifyFd_);  // closing drops the watches
}

void InotifyChangeObserver::add(std::shared_ptr<ChangeObserver> observer) {
  const std::lock_guard lock(mutex_);
  observers_.push_back(std::move(observer));
}

void InotifyChangeObserver::watchFolder(const std::filesystem::path& folder,
                                        std::vector<std::string> names) {
  const int descriptor = inotify_add_watch(inotifyFd_, folder.c_str(), kEventMask | IN_ONLYDIR);
  if (descriptor >= 0) watches_.push_back({descriptor, std::move(names)});
}

// Waits for the first event of a burst, then for the burst's end, reports, and
// starts over, until the stop descriptor is written.
void InotifyChangeObserver::loop() {
  std::optional<BoottimeClock::time_point> burstStart;
  BoottimeClock::time_point burstEnd;
  for (;;) {
    pollfd descriptors[] = {{stopFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
    const int ready = poll(descriptors, 2, burstStart ? millisecondsUntil(burstEnd) : -1);
    if (descriptors[0].revents & POLLIN) return;
    if (ready > 0 && (descriptors[1].revents & POLLIN) && readEvents()) {
      const auto now = BoottimeClock::now();
      if (!burstStart) burstStart = now;
      burstEnd = std::min(now + quiet_, *burstStart + longest_);
    }
    if (burstStart && BoottimeClock::now() >= burstEnd) {
      report();
      burstStart.reset();
    }
  }
}

// Drains the queued events; true when one of them touched a database or its log.
bool InotifyChangeObserver::readEvents() {
  alignas(inotify_event) char buffer[16 * 1024];
  bool relevant = false;
  for (;;) {
    const ssize_t length = read(inotifyFd_, buffer, sizeof buffer);
    if (length <= 0) return relevant;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      // Events were lost: one of them may have been a change.
      if (event->mask & IN_Q_OVERFLOW) relevant = true;
      if (event->len == 0) continue;
      const std::string name(event->name);
      for (const Watch& watch : watches_) {
        if (watch.descriptor == event->wd &&
            std::find(watch.names.begin(), watch.names.end(), name) != watch.names.end()) {
          relevant = true;
        }
      }
    }
  }
}

void InotifyChangeObserver::report() {
  std::vector<std::shared_ptr<ChangeObserver>> observers;
  {
    const std::lock_guard lock(mutex_);
    observers = observers_;
  }
  for (const auto& observer : observers) observer->photoLibraryDidChange();
}

}  // namespace lumenfolio
