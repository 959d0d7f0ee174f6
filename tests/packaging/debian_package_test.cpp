// CPack builds a Debian package whose dependencies dpkg-shlibdeps worked out,
// and which unpacks into the same complete installation under /usr. The
// package stays under the test output, where CI picks it up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "installed_tree.hpp"
#include "shell_command.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

TEST(DebianPackage, isBuiltWithLibraryDependenciesAndUnpacksIntoACompleteInstallation) {
  const fs::path output = fs::path(LUMENFOLIO_TEST_OUTPUT_DIR) / "deb";
  fs::remove_all(output);
  fs::create_directories(output);
  const auto built =
      runShell("cd " + quoted(output) + " && " + quoted(std::string(LUMENFOLIO_CPACK_COMMAND)) +
               " -G DEB --config " + quoted(fs::path(LUMENFOLIO_BUILD_DIR) / "CPackConfig.cmake") +
               " -B " + quoted(output));
  ASSERT_EQ(built.exitCode, 0) << built.output;
  const auto package =
      output / ("lumenfolio-exporter_" LUMENFOLIO_VERSION "_" +
                runShell("dpkg --print-architecture | tr -d '\\n'").output + ".deb");
  ASSERT_TRUE(fs::exists(package)) << built.output;

  const auto depends = runShell("dpkg-deb -f " + quoted(package) + " Depends");
  ASSERT_EQ(depends.exitCode, 0) << depends.output;
  for (const char* library : {"libc6", "libsqlite3-0", "libicu", "libssl3", "libplist",
                              "libqt6core6", "libqt6gui6", "libqt6widgets6"}) {
    EXPECT_NE(depends.output.find(library), std::string::npos) << depends.output;
  }
  const auto section = runShell("dpkg-deb -f " + quoted(package) + " Package Section");
  EXPECT_EQ(section.output, "Package: lumenfolio-exporter\nSection: graphics\n");

  const auto listed = runShell("dpkg-deb -c " + quoted(package));
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_NE(listed.output.find(" root/root "), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("./usr/bin/lumenfolio-exporter\n"), std::string::npos)
      << listed.output;

  const TempDir unpacked;
  const auto extracted = runShell("dpkg -x " + quoted(package) + " " + quoted(unpacked.path()));
  ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
  InstalledTree(unpacked.path(), "/usr", systemdUserUnitDir()).expectComplete();
  const auto stripped = runShell("file -b " + quoted(unpacked / "usr/bin/lumenfolio-exporter"));
  EXPECT_NE(stripped.output.find(", stripped"), std::string::npos) << stripped.output;
}

}  // namespace
}  // namespace lumenfolio::testing
