#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "base/failure.hpp"
#include "base/xdg_locations.hpp"
#include "platform/linux/headless_desktop_services.hpp"
#include "platform/linux/host_name.hpp"
#include "platform/linux/xdg_login_item.hpp"
#include "platform/qt/linux_desktop_services.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

// Sets (or, with nothing, clears) an environment variable for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

std::string kernelHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

// Every test runs with a home and configuration folder of its own.
class UserFolderTest : public ::testing::Test {
 protected:
  std::filesystem::path home() const { return temp / "home"; }
  std::filesystem::path config() const { return temp / "config"; }

  testing::TempDir temp;
  ScopedVariable homeVariable{"HOME", home().string()};
  ScopedVariable configVariable{"XDG_CONFIG_HOME", config().string()};
};

// ---- PicturesFolder

using PicturesFolderTest = UserFolderTest;

TEST_F(PicturesFolderTest, isPicturesInTheHomeFolderWithoutUserDirectories) {
  EXPECT_EQ(XdgLocations::home(), home());
  EXPECT_EQ(XdgLocations::pictures(), home() / "Pictures");
}

TEST_F(PicturesFolderTest, followsTheUserDirectoriesFileRelativeToHome) {
  writeFile(config() / "user-dirs.dirs",
            "# written by xdg-user-dirs-update\n"
            "#XDG_PICTURES_DIR=\"$HOME/Commented\"\n"
            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
            "XDG_PICTURES_DIR=\"$HOME/Bilder und Fotos\"\n");
  EXPECT_EQ(XdgLocations::pictures(), home() / "Bilder und Fotos");
}

TEST_F(PicturesFolderTest, takesAnAbsolutePathAndUnderstandsEscapes) {
  writeFile(config() / "user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/photo \\\"shots\\\"\"\n");
  EXPECT_EQ(XdgLocations::pictures(), "/srv/photo \"shots\"");
}

TEST_F(PicturesFolderTest, aPathThatIsNeitherAbsoluteNorUnderHomeFallsBack) {
  writeFile(config() / "user-dirs.dirs", "XDG_PICTURES_DIR=\"Pictures\"\n");
  EXPECT_EQ(XdgLocations::pictures(), home() / "Pictures");
  writeFile(config() / "user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOMEWARD/x\"\n");
  EXPECT_EQ(XdgLocations::pictures(), home() / "Pictures");
}

TEST_F(PicturesFolderTest, aRelativeConfigurationHomeIsIgnored) {
  const ScopedVariable relative("XDG_CONFIG_HOME", "relative/config");
  EXPECT_EQ(XdgLocations::configHome(), home() / ".config");
  writeFile(home() / ".config" / "user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Photos\"\n");
  EXPECT_EQ(XdgLocations::pictures(), home() / "Photos");
}

// ---- HostName

class HostNameTest : public ::testing::Test {
 protected:
  std::filesystem::path machineInfo(const std::string& text) {
    writeFile(temp / "machine-info", text);
    return temp / "machine-info";
  }
  testing::TempDir temp;
};

TEST_F(HostNameTest, prefersThePrettyHostName) {
  EXPECT_EQ(HostName::localizedName(machineInfo("ICON_NAME=computer-laptop\n"
                                                "PRETTY_HOSTNAME=\"Anna's Laptop\"\n"
                                                "CHASSIS=laptop\n")),
            "Anna's Laptop");
}

TEST_F(HostNameTest, unquotesShellStyle) {
  EXPECT_EQ(HostName::prettyHostName(machineInfo("PRETTY_HOSTNAME='Den \"Büro\"'\n")),
            "Den \"Büro\"");
  EXPECT_EQ(HostName::prettyHostName(machineInfo("PRETTY_HOSTNAME=Kitchen\\ Mac\n")),
            "Kitchen Mac");
  EXPECT_EQ(HostName::prettyHostName(machineInfo("PRETTY_HOSTNAME=\"say \\\"hi\\\"\"\n")),
            "say \"hi\"");
}

TEST_F(HostNameTest, fallsBackToTheHostNameWithoutAPrettyOne) {
  const std::string kernel = kernelHostName();
  ASSERT_FALSE(kernel.empty());
  EXPECT_EQ(HostName::localizedName(machineInfo("CHASSIS=desktop\n")), kernel);
  EXPECT_EQ(HostName::localizedName(machineInfo("PRETTY_HOSTNAME=\"\"\n")), kernel);
  EXPECT_EQ(HostName::localizedName(machineInfo("#PRETTY_HOSTNAME=Old\n")), kernel);
  EXPECT_EQ(HostName::localizedName(temp / "missing"), kernel);
}

// ---- XdgLoginItem

class XdgLoginItemTest : public UserFolderTest {
 protected:
  std::filesystem::path entry() const {
    return config() / "autostart" / "lumenfolio-exporter.desktop";
  }
};

TEST_F(XdgLoginItemTest, livesInTheAutostartFolderOfTheConfigurationHome) {
  EXPECT_EQ(XdgLoginItem::defaultEntryFile(), entry());
  const ScopedVariable unset("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(XdgLoginItem::defaultEntryFile(),
            home() / ".config" / "autostart" / "lumenfolio-exporter.desktop");
}

TEST_F(XdgLoginItemTest, registeringWritesAnEntryThatStartsTheRunningBinary) {
  const XdgLoginItem item;
  EXPECT_FALSE(item.enabled());
  EXPECT_NO_THROW(item.registerItem());
  EXPECT_TRUE(item.enabled());
  const std::string text = readFile(entry());
  const auto executable = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_TRUE(executable.is_absolute());
  EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"" + executable.string() + "\"\n"), std::string::npos) << text;
  // A desktop skips the entry, rather than failing at each login, once the binary is gone.
  EXPECT_NE(text.find("\nTryExec=" + executable.string() + "\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Hidden"), std::string::npos);
}

TEST_F(XdgLoginItemTest, quotesAnExecutablePathWithSpecialCharacters) {
  const XdgLoginItem item(entry(), "/opt/my apps/100%/\"odd\" $name\\bin");
  EXPECT_NO_THROW(item.registerItem());
  EXPECT_NE(
      readFile(entry()).find("Exec=\"/opt/my apps/100%%/\\\\\"odd\\\\\" \\\\$name\\\\\\\\bin\"\n"),
      std::string::npos)
      << readFile(entry());
  // TryExec is a plain path: only the desktop-entry string escapes apply.
  EXPECT_NE(readFile(entry()).find("TryExec=/opt/my apps/100%/\"odd\" $name\\\\bin\n"),
            std::string::npos)
      << readFile(entry());
}

TEST_F(XdgLoginItemTest, theEntryWrittenPassesTheDesktopEntryValidator) {
  for (const char* executable : {"/usr/bin/lumenfolio-exporter", "/opt/my apps/100%/$x\\bin"}) {
    ASSERT_NO_THROW(XdgLoginItem(entry(), executable).registerItem());
    const std::string command = "desktop-file-validate '" + entry().string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(entry());
  }
}

TEST_F(XdgLoginItemTest, unregisteringRemovesTheEntry) {
  const XdgLoginItem item;
  ASSERT_NO_THROW(item.registerItem());
  EXPECT_NO_THROW(item.unregisterItem());
  EXPECT_FALSE(std::filesystem::exists(entry()));
  EXPECT_FALSE(item.enabled());
  EXPECT_NO_THROW(item.unregisterItem()) << "nothing to remove is no failure";
}

TEST_F(XdgLoginItemTest, anEntryTheDesktopSkipsReadsAsOff) {
  const XdgLoginItem item;
  writeFile(entry(), "[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n");
  EXPECT_FALSE(item.enabled());
  writeFile(entry(), "[Desktop Entry]\nType=Application\nExec=x\nHidden = true\n");
  EXPECT_FALSE(item.enabled());
  writeFile(entry(), "[Desktop Entry]\nExec=x\nX-GNOME-Autostart-enabled=false\n");
  EXPECT_FALSE(item.enabled());
  writeFile(entry(), "[Desktop Entry]\nExec=x\nHidden=false\n");
  EXPECT_TRUE(item.enabled());
  writeFile(entry(), "[Desktop Entry]\nExec=x\n[Desktop Action quit]\nHidden=true\n");
  EXPECT_TRUE(item.enabled()) << "only the main group counts";
  ASSERT_NO_THROW(item.registerItem());
  EXPECT_TRUE(item.enabled()) << "registering again turns a hidden entry back on";
}

TEST_F(XdgLoginItemTest, anUnwritableAutostartFolderFailsWithItsCause) {
  writeFile(config() / "autostart", "a file where the folder should be");
  const XdgLoginItem item;
  try {
    item.registerItem();
    ADD_FAILURE() << "registered in a folder that is a file";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.path(), config() / "autostart");
    EXPECT_FALSE(failure.cause().empty());
    EXPECT_NE(std::string(failure.what()).find((config() / "autostart").string()),
              std::string::npos);
  }
  EXPECT_FALSE(item.enabled());
  EXPECT_EQ(readFile(config() / "autostart"), "a file where the folder should be");
}

TEST_F(XdgLoginItemTest, anEntryThatCannotBeRemovedFailsWithItsCause) {
  // A folder with something in it where the entry should be: remove() refuses.
  writeFile(entry() / "inside", "x");
  const XdgLoginItem item;
  try {
    item.unregisterItem();
    ADD_FAILURE() << "a folder with contents was removed as the entry";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.operation(), "remove");
    EXPECT_EQ(failure.path(), entry());
    EXPECT_EQ(failure.cause(), std::generic_category().message(ENOTEMPTY));
  }
  EXPECT_TRUE(std::filesystem::exists(entry() / "inside"));
}

// ---- HeadlessDesktopServices and LinuxDesktopServices

QApplication& application() {
  static int argc = 1;
  static char name[] = "desktop_services_test";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The widget dialog, so the test can find and answer it.
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  static QApplication app(argc, argv);
  return app;
}

class DesktopServicesTest : public UserFolderTest {
 protected:
  std::filesystem::path pictures() const { return home() / "Pictures"; }
  XdgLoginItem loginItem() const {
    return XdgLoginItem(config() / "autostart" / "x.desktop", "/bin/true");
  }
};

TEST_F(DesktopServicesTest, headlessServicesHaveNoDialogButRealEverythingElse) {
  HeadlessDesktopServices desktop(loginItem());
  EXPECT_EQ(desktop.chooseFolder("Choose", "Choose the shared folder."), std::nullopt);
  EXPECT_FALSE(desktop.loginItemEnabled());
  desktop.registerLoginItem();
  EXPECT_TRUE(desktop.loginItemEnabled());
  EXPECT_TRUE(std::filesystem::exists(config() / "autostart" / "x.desktop"));
  desktop.unregisterLoginItem();
  EXPECT_FALSE(desktop.loginItemEnabled());
  EXPECT_EQ(desktop.homeDirectory(), home());
  const auto name = desktop.hostName();
  ASSERT_TRUE(name);
  EXPECT_FALSE(name->empty());
  desktop.openFullDiskAccessSettings();  // nothing to open; must not fail
}

TEST_F(DesktopServicesTest, headlessServicesReadPropertyLists) {
  HeadlessDesktopServices desktop(loginItem());
  writeFile(temp / "old.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>sync.deviceID</key><string>0badcafe</string>"
            "<key>exporter.lastCount</key><integer>12</integer></dict></plist>\n");
  const auto values = desktop.readPropertyList(temp / "old.plist");
  ASSERT_TRUE(values);
  EXPECT_EQ(values->at("sync.deviceID"), PreferenceValue(std::string("0badcafe")));
  EXPECT_EQ(values->at("exporter.lastCount"), PreferenceValue(std::int64_t{12}));
  EXPECT_FALSE(desktop.readPropertyList(temp / "missing.plist"));
  writeFile(temp / "garbage.plist", "not a property list");
  EXPECT_THROW(desktop.readPropertyList(temp / "garbage.plist"), Failure);
}

TEST_F(DesktopServicesTest, permissionsAreFixedInTheFolderHoldingTheLibrary) {
  std::filesystem::create_directories(pictures());
  EXPECT_EQ(LinuxDesktopServices(pictures(), std::nullopt, loginItem()).permissionsFolder(),
            pictures());
  std::filesystem::create_directories(pictures() / "Photos Library.photoslibrary" / "database");
  EXPECT_EQ(LinuxDesktopServices(pictures(), std::nullopt, loginItem()).permissionsFolder(),
            pictures());
  const auto elsewhere = temp / "disk" / "Backup.photoslibrary";
  EXPECT_EQ(LinuxDesktopServices(pictures(), elsewhere, loginItem()).permissionsFolder(),
            temp / "disk");
  EXPECT_EQ(LinuxDesktopServices(pictures(), elsewhere / "", loginItem()).permissionsFolder(),
            temp / "disk");
}

// Answers the folder dialog once it is open: accepts `folder`, or cancels.
void answerDialog(std::optional<std::filesystem::path> folder, QString* title, QString* accept) {
  QTimer::singleShot(0, [=] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (dialog == nullptr || dialog->objectName() != "chooseFolderDialog" ||
          !dialog->isVisible()) {
        continue;
      }
      *title = dialog->windowTitle();
      *accept = dialog->labelText(QFileDialog::Accept);
      if (!folder) {
        dialog->reject();
        return;
      }
      dialog->setDirectory(QString::fromStdString(folder->parent_path().string()));
      dialog->selectFile(QString::fromStdString(folder->string()));
      QMetaObject::invokeMethod(dialog, "accept");
      return;
    }
    answerDialog(folder, title, accept);  // not shown yet: look again
  });
}

TEST_F(DesktopServicesTest, theFolderDialogAsksWithTheGivenPromptAndMessage) {
  application();
  const auto shared = temp / "Shared Folder";
  std::filesystem::create_directories(shared);
  LinuxDesktopServices desktop(pictures(), std::nullopt, loginItem());
  QString title;
  QString accept;
  answerDialog(shared, &title, &accept);
  const auto chosen =
      desktop.chooseFolder("Choose", "Choose the shared folder the lumenfolio apps use.");
  EXPECT_EQ(title, "Choose the shared folder the lumenfolio apps use.");
  EXPECT_EQ(accept, "Choose");
  ASSERT_TRUE(chosen);
  EXPECT_EQ(std::filesystem::canonical(*chosen), std::filesystem::canonical(shared));
}

TEST_F(DesktopServicesTest, aCancelledFolderDialogChoosesNothing) {
  application();
  LinuxDesktopServices desktop(pictures(), std::nullopt, loginItem());
  QString title;
  QString accept;
  answerDialog(std::nullopt, &title, &accept);
  EXPECT_EQ(desktop.chooseFolder("Choose", "Pick one."), std::nullopt);
  EXPECT_EQ(title, "Pick one.");
}

}  // namespace
}  // namespace lumenfolio
