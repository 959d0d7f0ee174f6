// The "watch" command: the controller's start-up and change handling without a
// tray, until SIGINT or SIGTERM.
#pragma once

#include "app/headless_arguments.hpp"

namespace lumenfolio::headless {

int watch(const HeadlessArguments& arguments);

}  // namespace lumenfolio::headless
