// The "status" command: the last export, the shared folder and file, the device
// identifier and whether the library can be read, from the preferences alone.
#pragma once

#include "app/headless_arguments.hpp"
#include "platform/linux/console_log.hpp"

namespace lumenfolio::headless {

int status(const HeadlessArguments& arguments, ConsoleLog& log);

}  // namespace lumenfolio::headless
