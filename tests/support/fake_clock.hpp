// A wall clock that moves only when the test moves it.
#pragma once

#include "exporter/clock.hpp"

namespace lumenfolio::testing {

class FakeClock : public Clock {
 public:
  // 2027-01-15, so "an hour ago" is a plain positive time.
  static constexpr double kDefaultStart = 1'800'000'000;

  explicit FakeClock(double start = kDefaultStart) : now_(start) {}

  double now() const override { return now_; }
  void set(double secondsSince1970) { now_ = secondsSince1970; }
  void advance(double seconds) { now_ += seconds; }

 private:
  double now_;
};

}  // namespace lumenfolio::testing
