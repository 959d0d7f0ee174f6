#include "tool_arguments/tool_arguments.hpp"

#include <iostream>

namespace lumenfolio::tools {

std::string_view ToolArguments::valueOf(std::string_view option) {
  if (done()) throw UsageError(std::string(option) + " needs a value");
  return next();
}

int ToolArguments::usageFailure(std::string_view program, const UsageError& error,
                                std::string_view usage) {
  std::cerr << program << ": " << error.what() << '\n' << usage;
  return 2;
}

}  // namespace lumenfolio::tools
