#include "app/headless_command.hpp"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/exporter_runtime.hpp"
#include "app/headless_arguments.hpp"
#include "app/stop_signals.hpp"
#include "exporter/exporter_change_observer.hpp"
#include "metadata/metadata_store.hpp"
#include "platform/headless_desktop_services.hpp"
#include "platform/pictures_folder.hpp"
#include "platform/plain_main_queue.hpp"
#include "sync/cloud_identity.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kProgram = "lumenfolio-exporter";

// Every line is flushed at once: under systemd or a pipe, stdout is fully
// buffered, and a status line that shows up minutes late is no status line.
void printLine(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

int failure(const std::string& message) {
  printLine(stderr, std::string(kProgram) + ": " + message);
  return 1;
}

// Prints each status text the controller publishes, once per appearance.
class StatusPrinter {
 public:
  explicit StatusPrinter(Exporter& exporter)
      : exporter_(exporter), id_(exporter.addObserver([this] { changed(); })) {}
  ~StatusPrinter() { exporter_.removeObserver(id_); }
  StatusPrinter(const StatusPrinter&) = delete;
  StatusPrinter& operator=(const StatusPrinter&) = delete;

 private:
  void changed() {
    const auto& status = exporter_.status();
    if (status && status != shown_) printLine(stdout, *status);
    shown_ = status;
  }

  Exporter& exporter_;
  std::optional<std::string> shown_;
  Exporter::ObserverID id_;
};

// What identifies one version of the shared file on disk, to tell a write from
// a skipped, unchanged export.
struct FileIdentity {
  ino_t inode = 0;
  timespec modified{};

  static std::optional<FileIdentity> of(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{status.st_ino, status.st_mtim};
  }
  bool operator==(const FileIdentity& other) const {
    return inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

std::string photos(std::int64_t count) {
  return std::to_string(count) + " photos";
}

// Why an export found nothing to share, told from the photo platform's side.
std::string whyNoPhotos(PhotoPlatform& platform) {
  const auto images = platform.fetchImageAssetIdentifiers();
  if (images.empty()) return "the library holds no images";
  const auto mapped = CloudIdentity::cloudIDs(images, platform).size();
  const auto count = std::to_string(images.size());
  if (mapped == 0) return "none of the library's " + count + " images has an iCloud identifier";
  return "none of the library's " + std::to_string(mapped) +
         " images with an iCloud identifier has data in the library databases";
}

// A line about an export of `count` photos, saying why when there are none.
std::string withReason(std::string line, std::int64_t count, PhotoPlatform& platform) {
  if (count == 0) line += " (" + whyNoPhotos(platform) + ")";
  return line;
}

std::optional<std::filesystem::path> rememberedFolder(const Preferences& preferences) {
  const auto stored = preferences.value(std::string(SyncFolder::kFolderBookmarkKey));
  if (!stored) return std::nullopt;
  const auto* bytes = std::get_if<Bytes>(&*stored);
  if (bytes == nullptr) return std::nullopt;
  return std::filesystem::path(std::string(bytes->begin(), bytes->end()));
}

std::optional<std::string> storedDeviceID(const Preferences& preferences) {
  const auto stored = preferences.value(std::string(SyncFolder::kDeviceIDKey));
  if (!stored) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&*stored)) return *text;
  return std::nullopt;
}

std::filesystem::path sharedFile(const std::filesystem::path& folder, const std::string& deviceID) {
  return folder / ("pixdeck-" + deviceID + "-features.pdsync");
}

// Where the last export put, or the next one puts, the shared file.
std::filesystem::path sharedFileOf(Preferences& preferences) {
  return sharedFile(rememberedFolder(preferences).value_or(""), SyncFolder::deviceID(preferences));
}

std::string localTime(double secondsSince1970) {
  const auto seconds = static_cast<std::time_t>(secondsSince1970);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &parts);
  return text;
}

// A library given on the command line must be there: the store would otherwise
// report that none was found in the Pictures folder, which misleads.
std::optional<std::string> checkLibrary(const HeadlessArguments& arguments) {
  if (arguments.library && !std::filesystem::is_directory(*arguments.library)) {
    return "no Photos library package at " + arguments.library->string();
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> existingFolder(const std::filesystem::path& folder) {
  std::error_code error;
  auto absolute = std::filesystem::canonical(folder, error);
  if (error || !std::filesystem::is_directory(absolute)) return std::nullopt;
  return absolute;
}

std::optional<std::string> rememberFolder(Preferences& preferences,
                                          const std::filesystem::path& folder) {
  try {
    SyncFolder::remember(preferences, folder);
  } catch (const std::exception& rememberError) {
    return std::string("couldn't remember the folder: ") + rememberError.what();
  }
  return std::nullopt;
}

int exportNow(const HeadlessArguments& arguments) {
  if (auto problem = checkLibrary(arguments)) return failure(*problem);
  std::optional<std::filesystem::path> folder;
  if (arguments.folder) {
    folder = existingFolder(*arguments.folder);
    if (!folder) return failure("the folder " + arguments.folder->string() + " does not exist");
  }

  PlainMainQueue queue;
  HeadlessDesktopServices desktop;
  // The folder is remembered only once the controller is built: building it
  // takes back the settings an older version left behind, which it skips as
  // soon as a folder is known.
  ExporterRuntime runtime(queue, desktop,
                          {.libraryPackage = arguments.library, .runsStartUp = false});
  if (folder) {
    if (auto problem = rememberFolder(runtime.preferences(), *folder)) return failure(*problem);
  }
  Exporter& exporter = runtime.exporter();
  const StatusPrinter printer(exporter);

  const auto file = sharedFileOf(runtime.preferences());
  const auto before = FileIdentity::of(file);
  const auto lastExportBefore = exporter.lastExport();

  exporter.runExport([&queue] { queue.quit(); });
  queue.run();

  if (exporter.status()) return failure(*exporter.status());
  if (exporter.lastExport() == lastExportBefore) return failure("the export did not run");
  const auto count = exporter.lastCount();
  const bool written = !before || !(FileIdentity::of(file) == *before);
  printLine(stdout, withReason(written ? "Wrote " + photos(count) + " to " + file.string()
                                       : "Unchanged: " + photos(count) + " in " + file.string(),
                               count, runtime.photos()));
  return 0;
}

// Reports each export that ends with a new last-export time.
class ExportReporter {
 public:
  explicit ExportReporter(ExporterRuntime& runtime)
      : runtime_(runtime),
        lastExport_(runtime.exporter().lastExport()),
        id_(runtime.exporter().addObserver([this] { changed(); })) {}
  ~ExportReporter() { runtime_.exporter().removeObserver(id_); }
  ExportReporter(const ExportReporter&) = delete;
  ExportReporter& operator=(const ExportReporter&) = delete;

 private:
  void changed() {
    const Exporter& exporter = runtime_.exporter();
    if (exporter.lastExport() == lastExport_) return;
    lastExport_ = exporter.lastExport();
    const auto file = sharedFileOf(runtime_.preferences());
    printLine(stdout,
              withReason("Exported " + photos(exporter.lastCount()) + " to " + file.string(),
                         exporter.lastCount(), runtime_.photos()));
  }

  ExporterRuntime& runtime_;
  std::optional<double> lastExport_;
  Exporter::ObserverID id_;
};

int watch(const HeadlessArguments& arguments) {
  if (auto problem = checkLibrary(arguments)) return failure(*problem);

  PlainMainQueue queue;  // starts no thread
  // Before any other thread starts, so the signals reach only the watcher.
  const StopSignals stopSignals([&queue] { queue.quit(); });
  HeadlessDesktopServices desktop;
  ExporterRuntime runtime(queue, desktop,
                          {.libraryPackage = arguments.library, .runsStartUp = true});
  const StatusPrinter printer(runtime.exporter());
  const ExportReporter reporter(runtime);
  // The controller keeps its own reaction to changes to itself; this line is
  // for whoever reads the log and wonders whether a change was seen.
  runtime.photos().registerChangeObserver(std::make_shared<ExporterChangeObserver>([&queue] {
    queue.post([] {
      printLine(stdout, "The library changed; the next export runs 300 s after the last change.");
    });
  }));

  const auto library = runtime.libraryPackage();
  printLine(stdout, "Watching " +
                        (library ? library->string()
                                 : "for a Photos library in " + runtime.picturesFolder().string()));
  queue.run();
  printLine(stdout, "Stopped.");
  return 0;
}

// Reads the library the way an export would, without building the controller:
// its construction would forget a remembered folder that has vanished.
std::string libraryLine(const HeadlessArguments& arguments) {
  const auto pictures = PicturesFolder::locate();
  const auto library = ExporterRuntime::libraryPackage(arguments.library, pictures);
  if (!library) return "not found in " + pictures.string();
  MetadataStore store(pictures, library, PicturesFolder::home());
  const auto failureText = store.currentFailure();
  return library->string() +
         (failureText ? " (not readable: " + *failureText + ")" : " (readable)");
}

int status(const HeadlessArguments& arguments) {
  if (auto problem = checkLibrary(arguments)) return failure(*problem);
  const auto preferences = ExporterRuntime::userPreferences();
  const auto lastExport = preferences->value(std::string(Exporter::kLastExportKey));
  const auto* date = lastExport ? std::get_if<PreferenceDate>(&*lastExport) : nullptr;
  const auto lastCount = preferences->value(std::string(Exporter::kLastCountKey));
  const auto* count = lastCount ? std::get_if<std::int64_t>(&*lastCount) : nullptr;
  printLine(stdout, "Last export: " + (date ? localTime(date->secondsSince1970) + ", " +
                                                  photos(count ? *count : 0)
                                            : std::string("never")));

  const auto folder = rememberedFolder(*preferences);
  const auto deviceID = storedDeviceID(*preferences);
  std::string folderLine = folder ? folder->string() : "none chosen";
  if (folder && !std::filesystem::is_directory(*folder)) folderLine += " (missing)";
  printLine(stdout, "Shared folder: " + folderLine);
  printLine(stdout, "Device identifier: " + deviceID.value_or("none yet"));
  if (folder && deviceID) {
    const auto file = sharedFile(*folder, *deviceID);
    const bool present = SyncFolder::contains(file.filename().string(), *folder);
    printLine(stdout, "Shared file: " + file.string() + (present ? "" : " (missing)"));
  }

  printLine(stdout, "Photos library: " + libraryLine(arguments));
  return 0;
}

std::vector<std::string> argumentsOf(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int index = 1; index < argc; ++index) arguments.emplace_back(argv[index]);
  return arguments;
}

}  // namespace

int HeadlessCommand::run(int argc, char** argv) {
  HeadlessArguments arguments;
  try {
    arguments = HeadlessArguments::parse(argumentsOf(argc, argv));
    // Absolute from here on, so every line the command prints names it in full.
    if (arguments.library) arguments.library = std::filesystem::absolute(*arguments.library);
  } catch (const HeadlessArguments::UsageError& error) {
    printLine(stderr, std::string(kProgram) + ": " + error.what());
    std::fputs(HeadlessArguments::usage(kProgram).c_str(), stderr);
    return 2;
  }

  try {
    switch (arguments.command) {
      case HeadlessArguments::Command::help:
        std::fputs(HeadlessArguments::usage(kProgram).c_str(), stdout);
        return 0;
      case HeadlessArguments::Command::version:
        printLine(stdout, std::string(kProgram) + " " + LUMENFOLIO_VERSION);
        return 0;
      case HeadlessArguments::Command::exportNow:
        return exportNow(arguments);
      case HeadlessArguments::Command::watch:
        return watch(arguments);
      case HeadlessArguments::Command::status:
        return status(arguments);
    }
  } catch (const std::exception& error) {
    return failure(error.what());
  }
  return 1;
}

}  // namespace lumenfolio
