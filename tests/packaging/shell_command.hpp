// Runs a shell command line for the packaging tests and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace lumenfolio::testing {

struct ShellResult {
  int exitCode = -1;   // -1 when the command ended by a signal
  std::string output;  // standard output and standard error, interleaved
};

// `text` as one shell word, in single quotes.
inline std::string quoted(const std::string& text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

inline std::string quoted(const std::filesystem::path& path) {
  return quoted(path.string());
}

inline ShellResult runShell(const std::string& commandLine) {
  const std::string command = "{ " + commandLine + "\n} 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed for: " + commandLine);
  ShellResult result;
  char buffer[4096];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, count);
  }
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace lumenfolio::testing
