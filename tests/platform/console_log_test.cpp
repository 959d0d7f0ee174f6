#include "platform/linux/console_log.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "support/temp_dir.hpp"

namespace {

using lumenfolio::ConsoleLog;
using lumenfolio::LogLevel;
using lumenfolio::testing::TempDir;
using Verbosity = ConsoleLog::Verbosity;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A log on two files of a temporary folder, read back after each test step.
class ConsoleLogTest : public ::testing::Test {
 protected:
  std::unique_ptr<ConsoleLog> log(Verbosity verbosity, const char* journalStream = nullptr) {
    return std::make_unique<ConsoleLog>("lumenfolio-exporter", verbosity,
                                        ConsoleLog::Streams{out.get(), err.get()}, journalStream);
  }
  // "DEVICE:INODE" of the file the log writes its stderr lines to.
  std::string errIdentity() const {
    struct stat status {};
    ::stat((temp / "err").c_str(), &status);
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }
  std::string read(const char* name) const {
    std::ifstream file(temp / name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // Whether `log` writes its error lines in the journal's form ("<3>error: …")
  // rather than the terminal's.
  bool writesJournalLines(ConsoleLog& log) {
    log.write(LogLevel::error, "probe");
    const auto text = read("err");
    return text.ends_with("\n<3>error: probe\n") || text == "<3>error: probe\n";
  }
  void writeEveryLevel(ConsoleLog& log) {
    log.write(LogLevel::error, "Couldn't write the shared file. (rename /s/f: No space)");
    log.write(LogLevel::warning, "a warning");
    log.write(LogLevel::info, "Reading the library databases…");
    log.write(LogLevel::debug, "features: 12 ms");
    log.result("Wrote 2 photos to /s/f");
  }

  TempDir temp;
  File out{std::fopen((temp / "out").c_str(), "w")};
  File err{std::fopen((temp / "err").c_str(), "w")};
};

TEST_F(ConsoleLogTest, progressGoesToStdoutAndFailuresToStderrWithTheirLevel) {
  writeEveryLevel(*log(Verbosity::normal));
  EXPECT_EQ(read("out"), "Reading the library databases…\nWrote 2 photos to /s/f\n");
  EXPECT_EQ(read("err"),
            "lumenfolio-exporter: error: Couldn't write the shared file. (rename /s/f: No space)\n"
            "lumenfolio-exporter: warning: a warning\n");
}

TEST_F(ConsoleLogTest, quietKeepsOnlyErrorsAndTheResult) {
  writeEveryLevel(*log(Verbosity::quiet));
  EXPECT_EQ(read("out"), "Wrote 2 photos to /s/f\n");
  EXPECT_EQ(
      read("err"),
      "lumenfolio-exporter: error: Couldn't write the shared file. (rename /s/f: No space)\n");
}

TEST_F(ConsoleLogTest, verboseAddsDebugLinesOnStderr) {
  writeEveryLevel(*log(Verbosity::verbose));
  EXPECT_EQ(read("out"), "Reading the library databases…\nWrote 2 photos to /s/f\n");
  EXPECT_EQ(read("err"),
            "lumenfolio-exporter: error: Couldn't write the shared file. (rename /s/f: No space)\n"
            "lumenfolio-exporter: warning: a warning\n"
            "lumenfolio-exporter: debug: features: 12 ms\n");
}

TEST_F(ConsoleLogTest, stderrInTheJournalCarriesPriorityPrefixes) {
  const auto identity = errIdentity();
  const auto journalLog = log(Verbosity::verbose, identity.c_str());
  writeEveryLevel(*journalLog);
  EXPECT_EQ(read("err"),
            "<3>error: Couldn't write the shared file. (rename /s/f: No space)\n"
            "<4>warning: a warning\n"
            "<7>debug: features: 12 ms\n");
  // stdout keeps its shape: the journal gives its lines the stream's priority.
  EXPECT_EQ(read("out"), "Reading the library databases…\nWrote 2 photos to /s/f\n");
}

TEST_F(ConsoleLogTest, aJournalStreamNamingAnotherFileIsNotTheJournal) {
  struct stat status {};
  ::stat((temp / "out").c_str(), &status);
  const auto other = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  for (const std::string& value : {other, std::string(""), std::string("12"), std::string("x:y"),
                                   errIdentity() + "0", std::string(":")}) {
    EXPECT_FALSE(writesJournalLines(*log(Verbosity::normal, value.c_str()))) << value;
  }
  EXPECT_FALSE(writesJournalLines(*log(Verbosity::normal)));
  EXPECT_TRUE(writesJournalLines(*log(Verbosity::normal, errIdentity().c_str())));
}

TEST(ConsoleLogJournal, matchesOnlyTheDescriptorsOwnDeviceAndInode) {
  TempDir temp;
  const File file{std::fopen((temp / "f").c_str(), "w")};
  struct stat status {};
  ASSERT_EQ(::fstat(::fileno(file.get()), &status), 0);
  const auto device = std::to_string(status.st_dev);
  const auto inode = std::to_string(status.st_ino);
  EXPECT_TRUE(ConsoleLog::isJournal(::fileno(file.get()), (device + ":" + inode).c_str()));
  EXPECT_FALSE(ConsoleLog::isJournal(-1, (device + ":" + inode).c_str()));
}

}  // namespace
