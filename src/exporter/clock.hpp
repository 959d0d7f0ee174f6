// The wall clock, as seconds since 1970-01-01 00:00:00 UTC.
#pragma once

namespace lumenfolio {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() const = 0;
};

}  // namespace lumenfolio
