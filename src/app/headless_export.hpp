// The "export" command: one export now, each step printed, then where the
// shared file went or why nothing was exported.
#pragma once

#include "app/headless_arguments.hpp"
#include "platform/linux/console_log.hpp"

namespace lumenfolio::headless {

int exportNow(const HeadlessArguments& arguments, ConsoleLog& log);

}  // namespace lumenfolio::headless
