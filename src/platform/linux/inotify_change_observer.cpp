#include "platform/linux/inotify_change_observer.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "platform/linux/boottime_clock.hpp"

namespace lumenfolio {

namespace {

constexpr std::uint32_t kEventMask = IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO |
                                     IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watched folder itself went away or was moved; IN_IGNORED follows when
// its watch is gone for any other reason (its file system unmounted).
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

std::vector<std::string> withWriteAheadLogs(std::initializer_list<const char*> databases) {
  std::vector<std::string> names;
  for (const char* database : databases) {
    names.emplace_back(database);
    names.emplace_back(std::string(database) + "-wal");
  }
  return names;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

int millisecondsUntil(BoottimeClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - BoottimeClock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

InotifyChangeObserver::InotifyChangeObserver(std::filesystem::path folder, Locator locate,
                                             std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds longest)
    : InotifyChangeObserver(std::move(folder), std::move(locate), true, quiet, longest) {}

InotifyChangeObserver::InotifyChangeObserver(const std::filesystem::path& package,
                                             std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds longest)
    : InotifyChangeObserver(
          package.has_parent_path() ? package.parent_path() : std::filesystem::path("."),
          [package] { return std::optional(package); }, false, quiet, longest) {}

InotifyChangeObserver::InotifyChangeObserver(std::filesystem::path folder, Locator locate,
                                             bool anyPackage, std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds longest)
    : folder_(std::move(folder)),
      locate_(std::move(locate)),
      anyPackage_(anyPackage),
      quiet_(quiet),
      longest_(longest) {
  arm();
  if (!inotifyFd_) return;
  stopFd_.reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!stopFd_) return;
  thread_ = std::thread([this] { loop(); });
}

InotifyChangeObserver::~InotifyChangeObserver() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = write(stopFd_.get(), &one, sizeof one);
    thread_.join();
  }
  // Closing the inotify descriptor, as its owner goes, drops the watches.
}

void InotifyChangeObserver::add(std::shared_ptr<ChangeObserver> observer) {
  const std::lock_guard lock(mutex_);
  observers_.push_back(std::move(observer));
}

// Starts over with a new inotify instance: the old one's watches and queued
// events go with it, so nothing left from the folders watched before counts.
void InotifyChangeObserver::arm() {
  watches_.clear();
  inotifyFd_.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!inotifyFd_) return;
  const auto package = locate_();
  watchFolder(folder_, {.descriptor = -1,
                        .changes = {},
                        .reshapes = {package ? package->filename().string() : std::string()},
                        .anyPackage = anyPackage_});
  if (!package) return;
  watchFolder(*package,
              {.descriptor = -1, .changes = {}, .reshapes = {"database"}, .anyPackage = false});
  watchFolder(*package / "database", {.descriptor = -1,
                                      .changes = withWriteAheadLogs({"Photos.sqlite"}),
                                      .reshapes = {"search"},
                                      .anyPackage = false});
  watchFolder(*package / "database" / "search",
              {.descriptor = -1,
               .changes = withWriteAheadLogs({"psi.sqlite", "leo.sqlite"}),
               .reshapes = {},
               .anyPackage = false});
}

void InotifyChangeObserver::watchFolder(const std::filesystem::path& folder, Watch watch) {
  watch.descriptor = inotify_add_watch(inotifyFd_.get(), folder.c_str(), kEventMask);
  if (watch.descriptor < 0) return;  // a folder that is not there yet: its parent is watched
  watches_.push_back(std::move(watch));
}

// Waits for the first event of a burst, then for the burst's end, reports, and
// starts over, until the stop descriptor is written.
void InotifyChangeObserver::loop() {
  std::optional<BoottimeClock::time_point> burstStart;
  BoottimeClock::time_point burstEnd;
  for (;;) {
    pollfd descriptors[] = {{stopFd_.get(), POLLIN, 0}, {inotifyFd_.get(), POLLIN, 0}};
    const int ready = poll(descriptors, 2, burstStart ? millisecondsUntil(burstEnd) : -1);
    if (descriptors[0].revents & POLLIN) return;
    if (ready > 0 && (descriptors[1].revents & POLLIN)) {
      const auto outcome = readEvents();
      if (outcome == Outcome::reshaped) arm();
      if (outcome != Outcome::nothing) {
        const auto now = BoottimeClock::now();
        if (!burstStart) burstStart = now;
        burstEnd = std::min(now + quiet_, *burstStart + longest_);
      }
    }
    if (burstStart && BoottimeClock::now() >= burstEnd) {
      report();
      burstStart.reset();
    }
  }
}

// Drains the queued events and tells what the strongest of them means.
InotifyChangeObserver::Outcome InotifyChangeObserver::readEvents() {
  alignas(inotify_event) char buffer[16 * 1024];
  Outcome strongest = Outcome::nothing;
  for (;;) {
    const ssize_t length = read(inotifyFd_.get(), buffer, sizeof buffer);
    if (length <= 0) return strongest;
    for (ssize_t offset = 0; offset < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      strongest = std::max(strongest, outcomeOf(*event));
    }
  }
}

InotifyChangeObserver::Outcome InotifyChangeObserver::outcomeOf(
    const ::inotify_event& event) const {
  // Events were lost: one of them may have moved a folder.
  if (event.mask & IN_Q_OVERFLOW) return Outcome::reshaped;
  const auto watch = std::find_if(watches_.begin(), watches_.end(),
                                  [&](const Watch& w) { return w.descriptor == event.wd; });
  if (watch == watches_.end()) return Outcome::nothing;
  if (event.mask & kFolderGone) return Outcome::reshaped;
  if (event.len == 0) return Outcome::nothing;
  const std::string name(event.name);
  if (contains(watch->reshapes, name)) return Outcome::reshaped;
  if (watch->anyPackage && std::filesystem::path(name).extension() == ".photoslibrary") {
    return Outcome::reshaped;
  }
  return contains(watch->changes, name) ? Outcome::changed : Outcome::nothing;
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
