#include "platform/linux/host_name.hpp"

#include <limits.h>
#include <unistd.h>

#include <string_view>

#include "base/key_value_file.hpp"

namespace lumenfolio {

namespace {

// machine-info is a shell-compatible assignment file: the value may be single-
// or double-quoted, and backslashes escape outside single quotes.
std::string unquoted(std::string_view value) {
  std::string text;
  char quote = '\0';
  for (std::size_t at = 0; at < value.size(); ++at) {
    const char c = value[at];
    if (quote == '\'') {
      if (c == '\'')
        quote = '\0';
      else
        text += c;
    } else if (c == '\\' && at + 1 < value.size()) {
      text += value[++at];
    } else if (c == '"' || (c == '\'' && quote == '\0')) {
      quote = quote == c ? '\0' : c;
    } else if (quote == '\0' && (c == ' ' || c == '\t' || c == '\r')) {
      break;
    } else {
      text += c;
    }
  }
  return text;
}

std::optional<std::string> kernelHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
  return std::string(name);
}

}  // namespace

std::optional<std::string> HostName::localizedName(const std::filesystem::path& machineInfo) {
  if (auto pretty = prettyHostName(machineInfo)) return pretty;
  return kernelHostName();
}

std::optional<std::string> HostName::prettyHostName(const std::filesystem::path& machineInfo) {
  const auto stored = KeyValueFile::lastValue(machineInfo, "PRETTY_HOSTNAME");
  if (!stored) return std::nullopt;
  auto value = unquoted(*stored);
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace lumenfolio
