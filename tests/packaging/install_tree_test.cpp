// `cmake --install` into a clean root gives a complete, valid installation,
// with the systemd user unit where the user manager of that prefix looks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "installed_tree.hpp"
#include "shell_command.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

class InstallTree : public ::testing::Test {
 protected:
  // Installs the build's exporter under `prefix`; `environment` is put before
  // the command as variable assignments (for DESTDIR, HOME, XDG_DATA_HOME).
  void install(const fs::path& prefix, const std::string& environment,
               const fs::path& workingFolder = "/") {
    const auto result = runShell("cd " + quoted(workingFolder) + " && env " + environment + " " +
                                 quoted(std::string(LUMENFOLIO_CMAKE_COMMAND)) + " --install " +
                                 quoted(std::string(LUMENFOLIO_BUILD_DIR)) +
                                 " --component exporter --prefix " + quoted(prefix));
    ASSERT_EQ(result.exitCode, 0) << result.output;
  }

  fs::path home() const { return temp / "home"; }
  // Run with a home of the test's own, so no prefix below is inside it by chance.
  std::string withHome() const { return "-u XDG_DATA_HOME HOME=" + quoted(home()); }

  TempDir temp;
};

TEST_F(InstallTree, aSystemPrefixGetsEveryPieceAndTheUnitInSystemdsOwnFolder) {
  const auto root = temp / "root";
  install("/usr", withHome() + " DESTDIR=" + quoted(root));
  InstalledTree(root, "/usr", systemdUserUnitDir()).expectComplete();
}

TEST_F(InstallTree, anotherSystemPrefixGetsItsOwnUnitFolder) {
  const auto root = temp / "root";
  install("/usr/local", withHome() + " DESTDIR=" + quoted(root));
  const auto unitDir = fs::path("/usr/local") / systemdUserUnitDir().lexically_relative("/usr");
  const InstalledTree tree(root, "/usr/local", unitDir);
  EXPECT_EQ(filesBelow(root), tree.expectedFiles());
  tree.expectUnitStartingTheBinary();
}

TEST_F(InstallTree, aPrefixInTheHomeFolderPutsTheUnitWhereTheUserManagerReadsIt) {
  const auto prefix = home() / ".local";
  install(prefix, withHome());
  const InstalledTree tree("/", prefix, home() / ".local/share/systemd/user");
  tree.expectPresent();
  EXPECT_EQ(filesBelow(home()).size(), tree.expectedFiles().size());
  tree.expectUnitStartingTheBinary();

  // A data home of the user's own choice is where systemd looks then.
  const auto dataHome = temp / "data";
  const auto elsewhere = home() / "apps";
  install(elsewhere, withHome() + " XDG_DATA_HOME=" + quoted(dataHome));
  const InstalledTree moved("/", elsewhere, dataHome / "systemd/user");
  moved.expectUnitStartingTheBinary();
  EXPECT_FALSE(fs::exists(elsewhere / "lib/systemd"));
}

TEST_F(InstallTree, aRelativePrefixCountsFromWhereTheInstallationRuns) {
  fs::create_directories(home());
  install(".local", withHome(), home());
  const InstalledTree tree("/", home() / ".local", home() / ".local/share/systemd/user");
  tree.expectPresent();
  tree.expectUnitStartingTheBinary();
}

TEST_F(InstallTree, theUnitNamesTheInstalledBinaryEvenUnderAnOddPrefix) {
  const auto prefix = temp / "my apps 100%$HOME";
  install(prefix, withHome());
  const auto unit = prefix / systemdUserUnitDir().lexically_relative("/usr") /
                    "lumenfolio-exporter-watch.service";
  const auto text = readText(unit);
  std::string escaped = (prefix / "bin/lumenfolio-exporter").string();
  escaped.replace(escaped.find('%'), 1, "%%");
  EXPECT_NE(text.find("\nExecStart=\"" + escaped + "\" watch\n"), std::string::npos) << text;
  // systemd itself reads the unit and finds the command it names executable.
  const auto verified = runShell("systemd-analyze verify " + quoted(unit));
  EXPECT_EQ(verified.exitCode, 0) << verified.output << text;
}

}  // namespace
}  // namespace lumenfolio::testing
