// The time and memory of the phases of an export, for whoever wants to know
// where a slow export spends its time (the headless command's --verbose).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

namespace lumenfolio {

// One phase, reported when it has ended: how long it took, and the process's
// resident memory then and at its highest so far.
struct PhaseReport {
  std::string_view phase;
  double seconds = 0;
  std::int64_t residentKiB = 0;
  std::int64_t peakResidentKiB = 0;
};

// Told of each phase on the thread that ran it, so it must be safe to call
// from any thread. Empty: nobody is told, and nothing is measured.
using PhaseSink = std::function<void(const PhaseReport&)>;

// Times consecutive phases: each report covers the time since the previous
// one (or since the timer was made).
class PhaseTimer {
 public:
  explicit PhaseTimer(const PhaseSink& sink);

  void ended(std::string_view phase);

 private:
  const PhaseSink& sink_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace lumenfolio
