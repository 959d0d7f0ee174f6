// What an installation of the exporter must hold under its prefix, checked the
// same way for `cmake --install` and for the unpacked Debian package.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "shell_command.hpp"

namespace lumenfolio::testing {

// systemd's own folder for user units under /usr, as its pkg-config file tells it.
inline std::filesystem::path systemdUserUnitDir() {
  const auto result = runShell("pkg-config --variable=systemduserunitdir systemd");
  std::string text = result.output;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return result.exitCode == 0 && !text.empty() ? text : "/usr/lib/systemd/user";
}

// Every regular file below `root`, as paths relative to it.
inline std::set<std::string> filesBelow(const std::filesystem::path& root) {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.insert(entry.path().lexically_relative(root).string());
  }
  return files;
}

class InstalledTree {
 public:
  // `root` is what stands for "/" (a DESTDIR or an unpacked package); `prefix`
  // is the installation prefix as the installed files see it, `unitDir` where
  // the user unit belongs.
  InstalledTree(std::filesystem::path root, std::filesystem::path prefix,
                std::filesystem::path unitDir)
      : root_(std::move(root)), prefix_(std::move(prefix)), unitDir_(std::move(unitDir)) {}

  std::filesystem::path onDisk(const std::filesystem::path& installed) const {
    return root_ / installed.relative_path();
  }
  std::filesystem::path binary() const { return prefix_ / "bin" / "lumenfolio-exporter"; }
  std::filesystem::path share(const std::string& relative) const {
    return prefix_ / "share" / relative;
  }
  std::filesystem::path unit() const { return unitDir_ / "lumenfolio-exporter-watch.service"; }

  std::set<std::string> expectedFiles() const {
    std::set<std::string> files;
    for (const auto& file : {binary(), unit(), share("applications/lumenfolio-exporter.desktop"),
                             share("icons/hicolor/scalable/apps/lumenfolio-exporter.svg"),
                             share("metainfo/io.quillmere.lumenfolio.exporter.metainfo.xml"),
                             share("man/man1/lumenfolio-exporter.1.gz"),
                             share("bash-completion/completions/lumenfolio-exporter"),
                             share("doc/lumenfolio-exporter/copyright"),
                             share("doc/lumenfolio-exporter/changelog.gz")}) {
      files.insert(file.relative_path().string());
    }
    return files;
  }

  // Every expected file is there (where the root holds more than the installation).
  void expectPresent() const {
    for (const auto& file : expectedFiles())
      EXPECT_TRUE(std::filesystem::exists(root_ / file)) << file;
  }

  void expectComplete() const {
    EXPECT_EQ(filesBelow(root_), expectedFiles());
    expectRunnableBinary();
    expectValidDesktopEntry();
    expectValidMetainfo();
    expectManPage();
    expectCompletion();
    expectUnitStartingTheBinary();
  }

  void expectRunnableBinary() const {
    struct stat info {};
    ASSERT_EQ(::stat(onDisk(binary()).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0755, 0755u);
    const auto version = runShell(quoted(onDisk(binary())) + " --version");
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_NE(version.output.find(LUMENFOLIO_VERSION), std::string::npos) << version.output;
  }

  void expectValidDesktopEntry() const {
    const auto entry = onDisk(share("applications/lumenfolio-exporter.desktop"));
    const auto validated = runShell("desktop-file-validate " + quoted(entry));
    EXPECT_EQ(validated.exitCode, 0) << validated.output;
    const auto text = readText(entry);
    EXPECT_NE(text.find("\nCategories=Graphics;Photography;\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=lumenfolio-exporter\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=lumenfolio-exporter\n"), std::string::npos) << text;
  }

  void expectValidMetainfo() const {
    const auto metainfo = onDisk(share("metainfo/io.quillmere.lumenfolio.exporter.metainfo.xml"));
    const auto validated = runShell("appstreamcli validate --no-net " + quoted(metainfo));
    EXPECT_EQ(validated.exitCode, 0) << validated.output;
    const auto text = readText(metainfo);
    EXPECT_NE(text.find("<launchable type=\"desktop-id\">lumenfolio-exporter.desktop</launchable>"),
              std::string::npos);
    EXPECT_NE(text.find("<release version=\"" LUMENFOLIO_VERSION "\""), std::string::npos);
  }

  void expectManPage() const {
    const auto page = quoted(onDisk(share("man/man1/lumenfolio-exporter.1.gz")));
    const auto warnings = runShell("zcat " + page + " | groff -man -ww -z");
    EXPECT_EQ(warnings.exitCode, 0) << warnings.output;
    EXPECT_EQ(warnings.output, "");
    const auto rendered =
        runShell("zcat " + page + " | groff -man -Tascii -rLL=500n -rHY=0 -P-cbou");
    ASSERT_EQ(rendered.exitCode, 0) << rendered.output;
    for (const char* part : {"lumenfolio-exporter - write photo measures",
                             "SYNOPSIS",
                             "COMMANDS",
                             "OPTIONS",
                             "EXIT STATUS",
                             "FILES",
                             "ENVIRONMENT",
                             "--library",
                             "--folder",
                             "--json",
                             "--verbose",
                             "--quiet",
                             "--help",
                             "--version",
                             "export",
                             "watch",
                             "status",
                             "The shared file was written, or was already up to date.",
                             "The export failed.",
                             "Bad usage",
                             "No Photos library was found.",
                             "none of its databases can be read",
                             "No shared folder is chosen, or the chosen folder is not available",
                             "The shared file could not be written.",
                             "exporter.conf",
                             "JOURNAL_STREAM"}) {
      EXPECT_NE(rendered.output.find(part), std::string::npos) << part;
    }
  }

  void expectCompletion() const {
    const auto script = onDisk(share("bash-completion/completions/lumenfolio-exporter"));
    // Completes the words after "lumenfolio-exporter" as bash would, one line per case.
    const auto completed = runShell(
        "bash -c 'source \"$0\"; complete -p lumenfolio-exporter; "
        "for line in \"\" \"st\" \"export --\" \"watch --\" \"status --j\" \"-\"; do "
        "read -ra COMP_WORDS <<< \"lumenfolio-exporter $line\"; "
        "[[ -z $line || $line == *\" \" ]] && COMP_WORDS+=(\"\"); "
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _lumenfolio_exporter; "
        "echo \"[$line] ${COMPREPLY[*]}\"; done' " +
        quoted(script));
    ASSERT_EQ(completed.exitCode, 0) << completed.output;
    EXPECT_EQ(completed.output,
              "complete -F _lumenfolio_exporter lumenfolio-exporter\n"
              "[] export watch status\n"
              "[st] status\n"
              "[export --] --library --folder --json --verbose --quiet --help\n"
              "[watch --] --library --verbose --quiet --help\n"
              "[status --j] --json\n"
              "[-] --help --version -v --verbose -q --quiet\n");
  }

  void expectUnitStartingTheBinary() const {
    const auto text = readText(onDisk(unit()));
    EXPECT_NE(text.find("\nExecStart=" + binary().string() + " watch\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nWantedBy=default.target\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('@'), std::string::npos) << "a placeholder was left\n" << text;
  }

 private:
  std::filesystem::path root_;
  std::filesystem::path prefix_;
  std::filesystem::path unitDir_;
};

}  // namespace lumenfolio::testing
