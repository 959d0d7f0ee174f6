#include "library_fuzz/exporter_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
namespace {

// No export of a small library writes near this much; a run that does (a
// database read from /dev/zero) gets an error instead of filling the disk.
constexpr rlim_t kFileSizeLimit = 512u << 20;

std::vector<std::string> environmentFor(const fs::path& home) {
  std::vector<std::string> variables{"HOME=" + home.string(),
                                     "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                     "XDG_CACHE_HOME=" + (home / ".cache").string(),
                                     "XDG_DATA_HOME=" + (home / ".local/share").string(),
                                     "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
                                     "TMPDIR=" + (home / "tmp").string(),
                                     "PATH=/usr/local/bin:/usr/bin:/bin",
                                     "LANG=C.UTF-8",
                                     "TZ=UTC"};
  // A sanitizer build of the exporter reports as the driver was asked to.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) variables.push_back(std::string(name) + "=" + value);
  }
  return variables;
}

void makeHome(const fs::path& home) {
  for (const char* folder : {".config", ".cache", ".local/share", "runtime", "tmp"}) {
    fs::create_directories(home / folder);
  }
  fs::permissions(home / "runtime", fs::perms::owner_all);
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void execInChild(char* const* argv, char* const* envp, int out, int err) {
  ::setpgid(0, 0);
  const rlimit limit{kFileSizeLimit, kFileSizeLimit};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, SIG_IGN);
  const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::dup2(nothing, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int openOutput(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + file.string());
  return fd;
}

}  // namespace

bool ExporterRun::Outcome::hasSanitizerReport() const {
  if (end == End::exited && status == kSanitizerExitCode) return true;
  for (const char* banner : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "runtime error:", "WARNING: ThreadSanitizer"}) {
    if (err.find(banner) != std::string::npos) return true;
  }
  return false;
}

std::string ExporterRun::Outcome::describe() const {
  switch (end) {
    case End::exited:
      return "exit " + std::to_string(status);
    case End::signalled:
      return "killed by signal " + std::to_string(status);
    case End::hung:
      return "hung";
  }
  return {};
}

fs::path ExporterRun::settingsFile(const fs::path& home) {
  return home / ".config" / "lumenfolio" / "exporter.conf";
}

ExporterRun::Outcome ExporterRun::exportLibrary(const fs::path& package, const fs::path& folder,
                                                const fs::path& home) const {
  makeHome(home);
  fs::create_directories(folder);
  std::vector<std::string> arguments{binary_.string(), "export",   "--library",
                                     package.string(), "--folder", folder.string()};
  auto environment = environmentFor(home);
  auto argv = pointersTo(arguments);
  auto envp = pointersTo(environment);
  const auto outFile = home / "stdout.txt";
  const auto errFile = home / "stderr.txt";
  const int out = openOutput(outFile);
  const int err = openOutput(errFile);
  const pid_t child = ::fork();
  if (child == 0) execInChild(argv.data(), envp.data(), out, err);
  ::close(out);
  ::close(err);
  if (child < 0) throw std::runtime_error("fork failed");

  Outcome outcome;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(-child, SIGKILL);
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      outcome.end = End::hung;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (outcome.end != End::hung) {
    outcome.end = WIFEXITED(status) ? End::exited : End::signalled;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
  }
  outcome.out = contentOf(outFile);
  outcome.err = contentOf(errFile);
  return outcome;
}

}  // namespace lumenfolio::fuzz
