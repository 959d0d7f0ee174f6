#include "base/phase_timer.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace lumenfolio {

namespace {

// The second field of /proc/self/statm: resident pages.
std::int64_t residentKiB() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t size = 0;
  std::int64_t resident = 0;
  if (!(statm >> size >> resident)) return 0;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

std::int64_t peakResidentKiB() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return usage.ru_maxrss;
}

}  // namespace

PhaseTimer::PhaseTimer(const PhaseSink& sink)
    : sink_(sink), start_(std::chrono::steady_clock::now()) {}

void PhaseTimer::ended(std::string_view phase) {
  if (!sink_) return;
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double> took = now - start_;
  sink_(PhaseReport{phase, took.count(), residentKiB(), peakResidentKiB()});
  start_ = std::chrono::steady_clock::now();
}

}  // namespace lumenfolio
