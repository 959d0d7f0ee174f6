// bench_export_scale [--assets N] [--seed S] [--runs R] [--keep DIR]
//
// Writes a sample library of N assets, then times, R times each, a full export
// by the real exporter binary (a fresh home each run, so nothing is
// unchanged), an export where nothing changed, and the floor program, and
// prints their medians side by side with their ratios and the peak resident
// memory of a full export (from the child's rusage). Last, one more full
// export by the exporter's runtime tells the longest stall of its main loop.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sample_library/sample_library.hpp"

namespace {

namespace fs = std::filesystem;
using lumenfolio::sample::SampleLibrary;

const char* const kUsage =
    "usage: bench_export_scale [--assets N] [--seed S] [--runs R] [--keep DIR]\n"
    "  --assets N   assets in the sample library (default 100000)\n"
    "  --seed S     seed of the sample library (default 1)\n"
    "  --runs R     runs of each kind; the median is shown (default 3)\n"
    "  --keep DIR   work in DIR and keep it (default: a temporary folder, removed)\n";

struct Options {
  int assets = 100'000;
  std::uint64_t seed = 1;
  int runs = 3;
  std::optional<fs::path> keep;
};

template <typename Number>
Number number(std::string_view option, std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::invalid_argument(std::string(option) + " needs a number");
  }
  return value;
}

Options parsed(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) throw std::invalid_argument(std::string(option) + " needs a value");
    const std::string_view value = argv[++i];
    if (option == "--assets") {
      options.assets = number<int>(option, value);
    } else if (option == "--seed") {
      options.seed = number<std::uint64_t>(option, value);
    } else if (option == "--runs") {
      options.runs = std::max(1, number<int>(option, value));
    } else if (option == "--keep") {
      options.keep = fs::absolute(value);
    } else {
      throw std::invalid_argument("unknown option " + std::string(option));
    }
  }
  return options;
}

// One finished child: its wall time, peak resident memory and standard output.
struct Outcome {
  double seconds = 0;
  long peakKiB = 0;
  std::string out;
};

// Runs a program with the given environment and waits for it with wait4, so
// its own rusage (not that of earlier children) gives its peak memory.
Outcome run(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const fs::path& outputFile) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) throw std::runtime_error("wait4 failed");
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::ifstream output(outputFile);
  std::stringstream text;
  text << output.rdbuf();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(arguments[0] + " failed (status " + std::to_string(status) + "):\n" +
                             text.str());
  }
  return Outcome{took.count(), usage.ru_maxrss, text.str()};
}

// A user of the exporter with a home of its own, as a new user would be.
struct User {
  fs::path root;
  fs::path home() const { return root / "home"; }
  fs::path folder() const { return root / "shared"; }

  // A new user, with nothing of an earlier one left.
  static User fresh(const fs::path& where) {
    User user{where};
    fs::remove_all(where);
    for (const auto& path :
         {user.home() / ".config", user.home() / ".cache", where / "runtime", user.folder()}) {
      fs::create_directories(path);
    }
    fs::permissions(where / "runtime", fs::perms::owner_all);
    return user;
  }

  std::vector<std::string> environment() const {
    return {"HOME=" + home().string(),
            "XDG_CONFIG_HOME=" + (home() / ".config").string(),
            "XDG_CACHE_HOME=" + (home() / ".cache").string(),
            "XDG_RUNTIME_DIR=" + (root / "runtime").string(),
            "PATH=/usr/local/bin:/usr/bin:/bin",
            "LANG=C.UTF-8",
            "TZ=UTC"};
  }

  Outcome exportWith(const fs::path& library) const {
    return run({LUMENFOLIO_EXPORTER, "export", "--library", library.string(), "--folder",
                folder().string()},
               environment(), root / "stdout.txt");
  }

  fs::path sharedFile() const {
    for (const auto& entry : fs::directory_iterator(folder())) {
      if (entry.path().extension() == ".pdsync") return entry.path();
    }
    throw std::runtime_error("no shared file in " + folder().string());
  }
};

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Series {
  std::string name;
  std::vector<double> seconds;
  std::vector<double> peakMiB;
};

std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// The longest time the main loop could not run a job during a full export.
struct MainLoop {
  double stallMs = 0;
  int ticks = 0;
  double seconds = 0;
  double residentMiB = 0;  // a second after the export, the runtime kept
};

void print(const Options& options, const SampleLibrary::Summary& summary, std::size_t rows,
           const Series& full, const Series& unchanged, const Series& floor,
           const MainLoop& mainLoop) {
  const double fullTime = median(full.seconds);
  const double floorTime = median(floor.seconds);
  std::printf("library: %d assets (seed %llu), %d images, %zu photos exported\n", summary.assets,
              static_cast<unsigned long long>(options.seed), summary.images, rows);
  std::printf("%-18s", "");
  for (int i = 1; i <= options.runs; ++i) std::printf("   run %d", i);
  std::printf("   median  x floor   peak RSS (median)\n");
  for (const auto* series : {&full, &unchanged, &floor}) {
    std::printf("%-18s", series->name.c_str());
    for (const double seconds : series->seconds) std::printf(" %6.2fs", seconds);
    const double time = median(series->seconds);
    std::printf("  %6.2fs  %6.2fx   %6.0f MB\n", time, time / floorTime, median(series->peakMiB));
  }
  std::printf("unchanged / full: %.3fx\n", median(unchanged.seconds) / fullTime);
  std::printf("peak RSS of a full export: %.0f MB (median), %.0f MB (highest)\n",
              median(full.peakMiB), *std::max_element(full.peakMiB.begin(), full.peakMiB.end()));
  std::printf(
      "longest main-loop stall during a full export: %.1f ms (%d ticks of 10 ms in %.2f s)\n",
      mainLoop.stallMs, mainLoop.ticks, mainLoop.seconds);
  std::printf("resident memory a second after that export, its runtime kept: %.0f MB\n",
              mainLoop.residentMiB);
  std::printf("load average after the runs: %s (%ld cores)\n", loadAverage().c_str(),
              ::sysconf(_SC_NPROCESSORS_ONLN));
}

std::size_t featureRows(const fs::path& sharedFile) {
  sqlite3* db = nullptr;
  std::size_t rows = 0;
  if (sqlite3_open_v2(sharedFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM feature", -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      rows = static_cast<std::size_t>(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return rows;
}

double mebibytes(long kibibytes) {
  return static_cast<double>(kibibytes) / 1024.0;
}

void measure(const Options& options, const fs::path& work) {
  const auto library = work / "Library.photoslibrary";
  std::fprintf(stderr, "writing a sample library of %d assets...\n", options.assets);
  const auto summary = SampleLibrary::write(library, {.assets = options.assets,
                                                      .seed = options.seed,
                                                      .sideFiles = SampleLibrary::SideFiles::live});

  Series full{"full export", {}, {}};
  Series unchanged{"unchanged export", {}, {}};
  Series floor{"floor", {}, {}};
  for (int i = 0; i < options.runs; ++i) {
    std::fprintf(stderr, "full export %d...\n", i + 1);
    const auto user = User::fresh(work / ("full-" + std::to_string(i)));
    const auto outcome = user.exportWith(library);
    if (!contains(outcome.out, "Wrote ")) throw std::runtime_error("no write:\n" + outcome.out);
    full.seconds.push_back(outcome.seconds);
    full.peakMiB.push_back(mebibytes(outcome.peakKiB));
  }
  const User first{work / "full-0"};
  const auto reference = first.sharedFile();
  for (int i = 0; i < options.runs; ++i) {
    std::fprintf(stderr, "unchanged export %d...\n", i + 1);
    const auto outcome = first.exportWith(library);
    if (!contains(outcome.out, "Unchanged: ")) {
      throw std::runtime_error("not unchanged:\n" + outcome.out);
    }
    unchanged.seconds.push_back(outcome.seconds);
    unchanged.peakMiB.push_back(mebibytes(outcome.peakKiB));
  }
  std::size_t rows = 0;
  for (int i = 0; i < options.runs; ++i) {
    std::fprintf(stderr, "floor %d...\n", i + 1);
    const auto outcome = run({BENCH_EXPORT_FLOOR, library.string(), reference.string(),
                              (work / "floor.pdsync").string()},
                             {}, work / "floor.txt");
    std::istringstream line(outcome.out);
    double seconds = 0;
    line >> seconds >> rows;
    floor.seconds.push_back(seconds);
    floor.peakMiB.push_back(mebibytes(outcome.peakKiB));
  }
  if (rows != featureRows(reference)) throw std::runtime_error("the floor wrote other rows");

  std::fprintf(stderr, "full export watching the main loop...\n");
  const auto watcher = User::fresh(work / "main-loop");
  const auto watched = run({BENCH_MAIN_LOOP, library.string(), watcher.folder().string()},
                           watcher.environment(), work / "main-loop.txt");
  MainLoop mainLoop;
  std::istringstream(watched.out) >> mainLoop.stallMs >> mainLoop.ticks >> mainLoop.seconds >>
      mainLoop.residentMiB;
  print(options, summary, rows, full, unchanged, floor, mainLoop);
}

fs::path temporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench-export-scale-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    for (int i = 1; i < argc; ++i) {
      if (std::string_view(argv[i]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      }
    }
    options = parsed(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_export_scale: %s\n%s", error.what(), kUsage);
    return 2;
  }
  const auto work = options.keep ? *options.keep : temporaryFolder();
  int status = 0;
  try {
    if (options.keep) {
      fs::remove_all(work);
      fs::create_directories(work);
    }
    measure(options, work);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_export_scale: %s\n", error.what());
    status = 1;
  }
  if (!options.keep) fs::remove_all(work);
  return status;
}
