// The command line as scripts use it: exit statuses by kind, one JSON object,
// quiet and verbose output, journal priorities, and a watch that waits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "headless_fixture.hpp"
#include "headless_library.hpp"

namespace lumenfolio::testing {
namespace {

using nlohmann::json;

class HeadlessScripting : public ::testing::Test {
 protected:
  static json parsed(const CommandResult& result) {
    // One object on one line, nothing else on stdout.
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << describe(result);
    return json::parse(result.out);
  }
  static std::string read(const std::filesystem::path& file) {
    std::ifstream stream(file);
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
  }
  void touchWal() const {
    const auto wal = photosDatabase(user_.defaultLibrary()).string() + "-wal";
    ASSERT_TRUE(std::filesystem::exists(wal));
    std::filesystem::last_write_time(
        wal, std::filesystem::last_write_time(wal) + std::chrono::seconds(2));
  }

  HeadlessUser user_;
  const std::filesystem::path shared_ = user_.scratch("shared");
};

TEST_F(HeadlessScripting, exportJsonTellsWhatWasWrittenAndThenThatItWasUnchanged) {
  writeSampleLibrary(user_.defaultLibrary(), 120, 5);
  const auto first = user_.run({"export", "--json", "--folder", shared_.string()});
  ASSERT_EQ(first.exitCode, 0) << describe(first);
  const auto written = parsed(first);
  const auto file = sharedFileIn(shared_);
  EXPECT_EQ(written["result"], "written");
  EXPECT_EQ(written["count"], readSharedFile(file).features.size());
  EXPECT_EQ(written["path"], file.string());
  EXPECT_EQ(written["folder"], std::filesystem::canonical(shared_).string());
  EXPECT_EQ(written["library"], user_.defaultLibrary().string());
  EXPECT_TRUE(file.filename().string().find(written["device"].get<std::string>()) !=
              std::string::npos)
      << written;
  EXPECT_TRUE(std::regex_match(written["lastExport"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
      << written;
  EXPECT_TRUE(written["status"].is_null());
  EXPECT_TRUE(written["error"].is_null());

  const auto again = user_.run({"export", "--json"});
  ASSERT_EQ(again.exitCode, 0) << describe(again);
  const auto unchanged = parsed(again);
  EXPECT_EQ(unchanged["result"], "unchanged");
  EXPECT_EQ(unchanged["count"], written["count"]);
  EXPECT_EQ(unchanged["path"], written["path"]);
}

TEST_F(HeadlessScripting, statusJsonTellsTheSameAsTheExport) {
  writeSampleLibrary(user_.defaultLibrary(), 60, 2);
  const auto exported = parsed(user_.run({"export", "--json", "--folder", shared_.string()}));
  const auto result = user_.run({"status", "--json"});
  ASSERT_EQ(result.exitCode, 0) << describe(result);
  const auto status = parsed(result);
  EXPECT_EQ(status["result"], "ready");
  for (const char* key : {"count", "path", "folder", "library", "device", "lastExport"}) {
    EXPECT_EQ(status[key], exported[key]) << key;
  }
  EXPECT_TRUE(status["error"].is_null());
}

TEST_F(HeadlessScripting, aFailureInJsonNamesItsKindAndTheStatusText) {
  const auto result = user_.run({"export", "--json", "--folder", shared_.string()});
  EXPECT_EQ(result.exitCode, 3) << describe(result);
  const auto failed = parsed(result);
  EXPECT_EQ(failed["result"], "failed");
  EXPECT_EQ(failed["error"], "noLibrary");
  EXPECT_EQ(failed["status"], "Couldn't find a Photos library in ~/Pictures.");
  // The error is on stderr too, once.
  EXPECT_NE(result.err.find("error: Couldn't find a Photos library in ~/Pictures."),
            std::string::npos);

  const auto status = user_.run({"status", "--json"});
  EXPECT_EQ(status.exitCode, 3) << describe(status);
  EXPECT_EQ(parsed(status)["error"], "noLibrary");
}

TEST_F(HeadlessScripting, aLibraryWithoutComputedDataIsAFailedExport) {
  writeSampleLibrary(user_.defaultLibrary(), 0, 1);
  const auto result = user_.run({"export", "--folder", shared_.string()});
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  EXPECT_NE(result.err.find("The library database has no computed measures yet."),
            std::string::npos)
      << describe(result);
}

TEST_F(HeadlessScripting, statusWithoutAFolderExitsFive) {
  writeSampleLibrary(user_.defaultLibrary(), 20, 1);
  const auto result = user_.run({"status"});
  EXPECT_EQ(result.exitCode, 5) << describe(result);
  EXPECT_NE(result.out.find("(readable)"), std::string::npos) << describe(result);
}

// The phases named by the "phase NAME: S s, N MB (peak N MB)" debug lines, in order.
std::vector<std::string> phasesOf(const std::string& err) {
  static const std::regex line(
      "lumenfolio-exporter: debug: phase ([a-z ]+): \\d+\\.\\d\\d s, \\d+ MB \\(peak \\d+ MB\\)\n");
  std::vector<std::string> phases;
  for (std::sregex_iterator match(err.begin(), err.end(), line), end; match != end; ++match) {
    phases.push_back((*match)[1]);
  }
  return phases;
}

TEST_F(HeadlessScripting, quietKeepsOnlyTheFinalLineAndVerboseAddsPhaseTimings) {
  writeSampleLibrary(user_.defaultLibrary(), 60, 4);
  const auto quiet = user_.run({"export", "-q", "--folder", shared_.string()});
  ASSERT_EQ(quiet.exitCode, 0) << describe(quiet);
  EXPECT_TRUE(std::regex_match(quiet.out, std::regex("Wrote \\d+ photos to [^\\n]+\\n")))
      << describe(quiet);
  EXPECT_EQ(quiet.err, "");

  // Nothing changed would end an export before it reads: a touched "-wal"
  // makes each of the next ones read the library again.
  touchWal();
  const auto normal = user_.run({"export"});
  EXPECT_NE(normal.out.find("Reading the library databases…\n"), std::string::npos);
  EXPECT_EQ(normal.err, "");

  touchWal();
  const auto verbose = user_.run({"export", "--verbose"});
  ASSERT_EQ(verbose.exitCode, 0) << describe(verbose);
  EXPECT_EQ(verbose.out, normal.out) << "debug lines stay off stdout";
  EXPECT_TRUE(std::regex_search(
      verbose.err,
      std::regex(
          "lumenfolio-exporter: debug: Reading the library databases… took \\d+\\.\\d+ s\n")))
      << describe(verbose);
  // The rows were the same: everything but the write. The photos are mapped
  // as soon as the library is known to hold data, and the panels are read
  // while the search index is read on a thread of its own.
  EXPECT_EQ(phasesOf(verbose.err),
            (std::vector<std::string>{"locate and open", "features", "measures", "fetch",
                                      "cloud identifiers", "panels", "terms", "match", "digest"}))
      << describe(verbose);

  std::filesystem::remove(sharedFileIn(shared_));
  const auto written = user_.run({"export", "-v"});
  ASSERT_EQ(written.exitCode, 0) << describe(written);
  EXPECT_EQ(phasesOf(written.err).back(), "write") << describe(written);
}

TEST_F(HeadlessScripting, quietStillPrintsErrors) {
  const auto result = user_.run({"export", "--quiet"});
  EXPECT_EQ(result.exitCode, 5) << describe(result);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "lumenfolio-exporter: error: Choose the shared folder — the same one the lumenfolio "
            "apps use.\n");
}

// systemd says in JOURNAL_STREAM which file stderr is; the same file here.
TEST_F(HeadlessScripting, stderrInTheJournalCarriesPriorityPrefixes) {
  writeSampleLibrary(user_.defaultLibrary(), 0, 3);  // read, then fails: no computed data
  const auto journal = user_.scratch("journal") / "stderr";
  std::ofstream(journal).close();
  struct stat status {};
  ASSERT_EQ(::stat(journal.c_str(), &status), 0);
  const auto stream = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);

  const auto result = user_.run({"export", "-v", "--folder", shared_.string()},
                                {"JOURNAL_STREAM=" + stream}, journal);
  EXPECT_EQ(result.exitCode, 1) << describe(result);
  const auto lines = read(journal);
  EXPECT_TRUE(std::regex_search(
      lines, std::regex("(^|\n)<7>debug: Reading the library databases… took [0-9.]+ s\n")))
      << lines;
  EXPECT_TRUE(std::regex_search(
      lines, std::regex("(^|\n)<3>error: The library database has no computed measures yet\\.\n")))
      << lines;
  EXPECT_EQ(lines.find("lumenfolio-exporter:"), std::string::npos) << lines;
  // stdout keeps its lines without prefixes: the journal gives them its default priority.
  EXPECT_NE(result.out.find("Reading the library databases…\n"), std::string::npos);
  EXPECT_EQ(result.out.find("<"), std::string::npos) << result.out;

  // Another file named in JOURNAL_STREAM is not the journal: no prefixes.
  const auto plain = user_.scratch("plain") / "stderr";
  std::ofstream(plain).close();
  user_.run({"export"}, {"JOURNAL_STREAM=" + stream}, plain);
  EXPECT_EQ(read(plain),
            "lumenfolio-exporter: error: The library database has no computed measures yet.\n");
}

TEST_F(HeadlessScripting, watchWaitsForAFolderThatIsNotMountedYet) {
  const auto folder = user_.scratch("mount") / "point";
  std::filesystem::create_directories(folder);
  // Remembers the folder without exporting (no library yet), so the watch
  // exports at its start; then the folder goes, as an unmounted disk does.
  ASSERT_EQ(user_.run({"export", "--folder", folder.string()}).exitCode, 3);
  writeSampleLibrary(user_.defaultLibrary(), 40, 6);
  std::filesystem::remove(folder);

  const auto watch = user_.start({"watch"});
  ASSERT_TRUE(watch->waitForOutput("Waiting for the shared folder " + folder.string()))
      << watch->outputSoFar();
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(watch->waitForOutput("Exported ")) << watch->outputSoFar();
  watch->signal(SIGTERM);
  const auto result = watch->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
  EXPECT_FALSE(readSharedFile(sharedFileIn(folder)).features.empty());
}

}  // namespace
}  // namespace lumenfolio::testing
