// The real wall clock.
#pragma once

#include "exporter/clock.hpp"

namespace lumenfolio {

class SystemClock final : public Clock {
 public:
  double now() const override;
};

}  // namespace lumenfolio
