// The "watch" command: the controller's start-up and change handling without a
// tray, until SIGINT or SIGTERM.
#pragma once

#include "app/headless_arguments.hpp"
#include "platform/linux/console_log.hpp"

namespace lumenfolio::headless {

int watch(const HeadlessArguments& arguments, ConsoleLog& log);

}  // namespace lumenfolio::headless
