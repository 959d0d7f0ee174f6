// Runs the real exporter binary as a user of its own: a temporary home with its
// own config, runtime and cache folders, so no test touches the real user's
// settings and tests may run in parallel.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.hpp"

namespace lumenfolio::testing {

struct CommandResult {
  int exitCode = -1;  // -1 when the process ended by a signal
  std::string out;
  std::string err;
};

// One running exporter process with its standard output and error piped back.
class ExporterProcess {
 public:
  // With `errorFile`, the process's stderr is that file (appended to) instead of a pipe.
  ExporterProcess(const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment,
                  const std::filesystem::path& errorFile = {}) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe2 failed");
    }
    std::vector<std::string> argv{LUMENFOLIO_EXPORTER_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(errorFile.empty() ? err[1] : ::open(errorFile.c_str(), O_WRONLY | O_APPEND),
             STDERR_FILENO);
      exec(argv, environment);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }

  ~ExporterProcess() {
    if (pid_ > 0 && !finished_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeIfOpen(out_);
    closeIfOpen(err_);
  }
  ExporterProcess(const ExporterProcess&) = delete;
  ExporterProcess& operator=(const ExporterProcess&) = delete;

  // Reads output until standard output holds `text`; false when the process
  // ends or `limit` passes first. The limit only guards against a hang.
  bool waitForOutput(std::string_view text, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out_text_.find(text) == std::string::npos) {
      if (!pump(deadline)) return out_text_.find(text) != std::string::npos;
    }
    return true;
  }

  void signal(int number) { ::kill(pid_, number); }

  // Reads the rest of the output and waits for the process to end.
  CommandResult finish(std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pump(deadline)) {
    }
    if (out_ >= 0 || err_ >= 0) {
      ADD_FAILURE() << "the exporter did not finish in time; output so far:\n" << out_text_;
      ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    finished_ = true;
    expectNoSanitizerReport();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out_text_, err_text_};
  }

  const std::string& outputSoFar() const { return out_text_; }

 private:
  [[noreturn]] static void exec(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment) {
    std::vector<char*> args, env;
    for (const auto& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    for (const auto& variable : environment) env.push_back(const_cast<char*>(variable.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }

  // In a sanitizer build a report ends the program with its own status, which
  // a test expecting a failure could take for the failure it expects.
  void expectNoSanitizerReport() const {
    for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                               "runtime error:", "WARNING: ThreadSanitizer"}) {
      if (err_text_.find(marker) != std::string::npos) {
        ADD_FAILURE() << "the exporter reported a sanitizer finding:\n" << err_text_;
        return;
      }
    }
  }

  static void closeIfOpen(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
  }

  // Reads what is available from either pipe; false once both are closed or
  // the deadline has passed.
  bool pump(std::chrono::steady_clock::time_point deadline) {
    if (out_ < 0 && err_ < 0) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    std::array<pollfd, 2> watched{{{out_, POLLIN, 0}, {err_, POLLIN, 0}}};
    if (::poll(watched.data(), watched.size(), static_cast<int>(left.count())) <= 0) {
      return std::chrono::steady_clock::now() < deadline;
    }
    readFrom(watched[0], out_, out_text_);
    readFrom(watched[1], err_, err_text_);
    return true;
  }

  static void readFrom(const pollfd& watched, int& descriptor, std::string& text) {
    if (descriptor < 0 || watched.revents == 0) return;
    char buffer[4096];
    const auto count = ::read(descriptor, buffer, sizeof buffer);
    if (count > 0) {
      text.append(buffer, static_cast<std::size_t>(count));
    } else {
      closeIfOpen(descriptor);
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool finished_ = false;
  std::string out_text_;
  std::string err_text_;
};

// A user of the exporter with a home of its own.
class HeadlessUser {
 public:
  HeadlessUser() {
    for (const auto& folder :
         {home(), configHome(), runtimeDir(), cacheHome(), pictures(), tmpDir()}) {
      std::filesystem::create_directories(folder);
    }
    std::filesystem::permissions(runtimeDir(), std::filesystem::perms::owner_all);
  }

  std::filesystem::path home() const { return dir_ / "home"; }
  std::filesystem::path configHome() const { return home() / ".config"; }
  std::filesystem::path cacheHome() const { return home() / ".cache"; }
  std::filesystem::path runtimeDir() const { return dir_ / "runtime"; }
  std::filesystem::path pictures() const { return home() / "Pictures"; }
  // $TMPDIR of the user's processes, so a test sees every temporary file they leave.
  std::filesystem::path tmpDir() const { return dir_ / "tmp"; }
  std::filesystem::path defaultLibrary() const {
    return pictures() / "Photos Library.photoslibrary";
  }
  std::filesystem::path preferencesFile() const {
    return configHome() / "lumenfolio" / "exporter.conf";
  }
  // A scratch folder beside the home, for shared folders and library copies.
  std::filesystem::path scratch(const std::string& name) const {
    const auto path = dir_ / name;
    std::filesystem::create_directories(path);
    return path;
  }

  // The user's own variables, and the sanitizer options the test runs with so
  // that a sanitizer build of the exporter reports as the test itself does.
  std::vector<std::string> environment() const {
    std::vector<std::string> variables{"HOME=" + home().string(),
                                       "XDG_CONFIG_HOME=" + configHome().string(),
                                       "XDG_RUNTIME_DIR=" + runtimeDir().string(),
                                       "XDG_CACHE_HOME=" + cacheHome().string(),
                                       "TMPDIR=" + tmpDir().string(),
                                       "PATH=/usr/local/bin:/usr/bin:/bin",
                                       "LANG=C.UTF-8",
                                       "TZ=UTC"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name))
        variables.push_back(std::string(name) + "=" + value);
    }
    return variables;
  }

  CommandResult run(const std::vector<std::string>& arguments) const {
    return ExporterProcess(arguments, environment()).finish();
  }
  // Runs with more environment variables and stderr appended to `errorFile`.
  CommandResult run(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& moreEnvironment,
                    const std::filesystem::path& errorFile) const {
    auto variables = environment();
    variables.insert(variables.end(), moreEnvironment.begin(), moreEnvironment.end());
    return ExporterProcess(arguments, variables, errorFile).finish();
  }
  std::unique_ptr<ExporterProcess> start(const std::vector<std::string>& arguments) const {
    return std::make_unique<ExporterProcess>(arguments, environment());
  }

 private:
  TempDir dir_;
};

inline std::string describe(const CommandResult& result) {
  return "exit " + std::to_string(result.exitCode) + "\n--- stdout\n" + result.out +
         "--- stderr\n" + result.err;
}

}  // namespace lumenfolio::testing
