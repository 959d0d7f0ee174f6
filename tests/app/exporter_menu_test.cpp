#include "app/exporter_menu.hpp"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <memory>
#include <string>
#include <vector>

#include "qt_application.hpp"

namespace lumenfolio {
namespace {

constexpr double kNow = 1'780'000'000;  // a moment in 2026
const QColor kNormalText = QColor(Qt::black);

class ExporterMenuTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::qtApplication();
    UErrorCode error = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), error);
    ASSERT_TRUE(U_SUCCESS(error));
  }

  void SetUp() override {
    ExporterMenu::Actions actions;
    actions.openFullDiskAccessSettings = [this] { calls.push_back("openFullDiskAccessSettings"); };
    actions.chooseFolder = [this] { calls.push_back("chooseFolder"); };
    actions.exportNow = [this] { calls.push_back("exportNow"); };
    actions.setOpensAtLogin = [this](bool on) {
      calls.push_back(on ? "setOpensAtLogin(true)" : "setOpensAtLogin(false)");
    };
    actions.quit = [this] { calls.push_back("quit"); };
    menu = std::make_unique<ExporterMenu>(std::move(actions));
    QPalette palette = menu->palette();
    palette.setColor(QPalette::WindowText, kNormalText);
    menu->setPalette(palette);
    menu->show();
  }

  static ExporterMenu::State idleWithFolder() {
    ExporterMenu::State state;
    state.now = kNow;
    state.lastExport = kNow - 3600;
    state.lastCount = 1234;
    state.folderName = "Shared";
    return state;
  }

  void render(const ExporterMenu::State& state, const char* snapshot) {
    menu->render(state);
    const QString folder = QStringLiteral(LUMENFOLIO_TEST_OUTPUT_DIR);
    QDir().mkpath(folder);
    menu->grab().save(folder + "/exporter-menu-" + snapshot + ".png");
  }

  template <typename Widget>
  Widget* find(const char* name) const {
    auto* widget = menu->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  QString textOf(const char* name) const { return find<QLabel>(name)->text(); }
  bool shows(const char* name) const { return find<QWidget>(name)->isVisibleTo(menu.get()); }
  QColor colourOf(const char* name) const {
    return find<QWidget>(name)->palette().color(QPalette::WindowText);
  }

  std::unique_ptr<ExporterMenu> menu;
  std::vector<std::string> calls;
};

TEST_F(ExporterMenuTest, showsNotExportedYetWhateverTheCount) {
  ExporterMenu::State state = idleWithFolder();
  state.lastExport.reset();
  state.lastCount = 77;
  render(state, "not-exported-yet");
  EXPECT_EQ(textOf("title"), "lumenfolio exporter");
  EXPECT_TRUE(find<QLabel>("title")->font().bold());
  EXPECT_EQ(textOf("lastExport"), "Not exported yet");
}

TEST_F(ExporterMenuTest, tellsTheLastExportRelativeToNowWithAnUngroupedCount) {
  render(idleWithFolder(), "one-hour-ago");
  EXPECT_EQ(textOf("lastExport"), QString::fromUtf8("Last export 1 hour ago · 1234 photos"));

  ExporterMenu::State state = idleWithFolder();
  state.lastExport = kNow - 26 * 3600;
  state.lastCount = 12345678;
  render(state, "yesterday");
  EXPECT_EQ(textOf("lastExport"), QString::fromUtf8("Last export yesterday · 12345678 photos"));

  state.lastExport = kNow - 3 * 3600 - 1200;
  state.lastCount = 1;
  menu->render(state);
  EXPECT_EQ(textOf("lastExport"), QString::fromUtf8("Last export 3 hours ago · 1 photos"));
}

TEST_F(ExporterMenuTest, lastExportLineIsInTheSecondaryColour) {
  render(idleWithFolder(), "secondary");
  const QColor colour = colourOf("lastExport");
  EXPECT_LT(colour.alphaF(), 0.9);
  EXPECT_EQ(colour.rgb(), kNormalText.rgb());
}

// A switch between light and dark appearance changes the palette under a
// panel that is already built; the secondary texts follow the new text colour.
TEST_F(ExporterMenuTest, secondaryTextsFollowAChangedTextColour) {
  const QColor light(Qt::white);
  QPalette palette = menu->palette();
  palette.setColor(QPalette::WindowText, light);
  menu->setPalette(palette);
  ExporterMenu::State state = idleWithFolder();
  state.needsFullDiskAccess = true;
  render(state, "changed-text-colour");
  for (const char* name : {"lastExport", "folderName", "footnote", "fullDiskAccessHint"}) {
    const QColor colour = colourOf(name);
    EXPECT_EQ(colour.rgb(), light.rgb()) << name;
    EXPECT_LT(colour.alphaF(), 0.9) << name;
  }
}

TEST_F(ExporterMenuTest, workingWithoutStatusShowsSpinnerAndWorking) {
  ExporterMenu::State state = idleWithFolder();
  state.isWorking = true;
  render(state, "working");
  EXPECT_TRUE(shows("working"));
  EXPECT_TRUE(shows("spinner"));
  EXPECT_EQ(find<QProgressBar>("spinner")->maximum(), 0) << "indeterminate";
  EXPECT_EQ(textOf("workingText"), QString::fromUtf8("Working…"));
  EXPECT_FALSE(shows("status"));
}

TEST_F(ExporterMenuTest, workingWithStatusShowsItInTheNormalColour) {
  ExporterMenu::State state = idleWithFolder();
  state.isWorking = true;
  state.status = "Reading the library…";
  render(state, "working-with-status");
  EXPECT_TRUE(shows("spinner"));
  EXPECT_EQ(textOf("workingText"), QString::fromUtf8("Reading the library…"));
  EXPECT_EQ(colourOf("workingText"), kNormalText);
  EXPECT_FALSE(shows("status"));
}

TEST_F(ExporterMenuTest, statusAfterWorkShowsInOrangeWithoutSpinner) {
  ExporterMenu::State state = idleWithFolder();
  state.isWorking = true;
  state.status = "Choose a shared folder first.";
  menu->render(state);
  state.isWorking = false;
  render(state, "orange-status");
  EXPECT_FALSE(shows("working"));
  EXPECT_TRUE(shows("status"));
  EXPECT_EQ(textOf("status"), "Choose a shared folder first.");
  const QColor colour = colourOf("status");
  EXPECT_GE(colour.hue(), 20);
  EXPECT_LE(colour.hue(), 40);
  EXPECT_GT(colour.saturation(), 200);
  EXPECT_GT(colour.value(), 180);
}

TEST_F(ExporterMenuTest, idleWithoutStatusHasNoActivityLine) {
  render(idleWithFolder(), "idle");
  EXPECT_FALSE(shows("working"));
  EXPECT_FALSE(shows("status"));
  EXPECT_FALSE(shows("fullDiskAccess"));
  // The divider follows the last export line directly.
  const int gap = find<QWidget>("topDivider")->geometry().top() -
                  find<QWidget>("lastExport")->geometry().bottom();
  EXPECT_LE(gap, ExporterMenu::kSpacing + 1);
}

TEST_F(ExporterMenuTest, exporterTextsAreShownAsPlainText) {
  ExporterMenu::State state = idleWithFolder();
  state.status = "<b>bold</b> **not bold**";
  state.folderName = "<i>folder</i>";
  render(state, "plain-text");
  EXPECT_EQ(find<QLabel>("status")->textFormat(), Qt::PlainText);
  EXPECT_EQ(textOf("status"), "<b>bold</b> **not bold**");
  EXPECT_EQ(find<QLabel>("folderName")->textFormat(), Qt::PlainText);
  EXPECT_EQ(textOf("folderName"), "<i>folder</i>");
}

TEST_F(ExporterMenuTest, withoutFolderExportIsDisabledAndTheFolderIsToBeChosen) {
  ExporterMenu::State state = idleWithFolder();
  state.folderName.reset();
  render(state, "no-folder");
  EXPECT_EQ(textOf("folderLabel"), "Shared folder");
  EXPECT_EQ(textOf("folderName"), "not chosen");
  EXPECT_EQ(find<QPushButton>("chooseFolder")->text(), QString::fromUtf8("Choose folder…"));
  EXPECT_TRUE(find<QPushButton>("chooseFolder")->isEnabled());
  EXPECT_FALSE(find<QPushButton>("exportNow")->isEnabled());
  find<QPushButton>("exportNow")->click();
  find<QPushButton>("chooseFolder")->click();
  EXPECT_EQ(calls, std::vector<std::string>{"chooseFolder"});
}

TEST_F(ExporterMenuTest, whileWorkingTheFolderCanChangeButExportWaits) {
  ExporterMenu::State state = idleWithFolder();
  state.isWorking = true;
  render(state, "folder-while-working");
  EXPECT_EQ(textOf("folderName"), "Shared");
  EXPECT_EQ(find<QPushButton>("chooseFolder")->text(), QString::fromUtf8("Change folder…"));
  EXPECT_TRUE(find<QPushButton>("chooseFolder")->isEnabled());
  EXPECT_FALSE(find<QPushButton>("exportNow")->isEnabled());
}

TEST_F(ExporterMenuTest, exportNowWithFolderWhileIdleStartsAnExport) {
  render(idleWithFolder(), "ready");
  ASSERT_TRUE(find<QPushButton>("exportNow")->isEnabled());
  find<QPushButton>("exportNow")->click();
  EXPECT_EQ(calls, std::vector<std::string>{"exportNow"});
}

TEST_F(ExporterMenuTest, fullDiskAccessBlockFollowsTheFlag) {
  ExporterMenu::State state = idleWithFolder();
  state.needsFullDiskAccess = true;
  state.status = "The Photos library could not be read.";
  render(state, "full-disk-access");
  EXPECT_TRUE(shows("fullDiskAccess"));
  EXPECT_TRUE(shows("openFullDiskAccess"));
  EXPECT_EQ(find<QPushButton>("openFullDiskAccess")->text(),
            QString::fromUtf8("Open Full Disk Access settings…"));
  auto* hint = find<QLabel>("fullDiskAccessHint");
  EXPECT_EQ(hint->textFormat(), Qt::MarkdownText);
  EXPECT_TRUE(hint->wordWrap());
  QTextDocument shown;
  shown.setMarkdown(hint->text());
  EXPECT_EQ(shown.toPlainText(),
            QString::fromUtf8("Add the exporter with the + button, then quit and open it again — "
                              "the permission only takes effect at startup."));
  find<QPushButton>("openFullDiskAccess")->click();
  EXPECT_EQ(calls, std::vector<std::string>{"openFullDiskAccessSettings"});
  // The block sits between the status and the divider.
  EXPECT_LT(find<QWidget>("status")->geometry().top(),
            find<QWidget>("fullDiskAccess")->geometry().top());
  EXPECT_LT(find<QWidget>("fullDiskAccess")->geometry().bottom(),
            find<QWidget>("topDivider")->geometry().top());

  state.needsFullDiskAccess = false;
  render(state, "full-disk-access-hidden");
  EXPECT_FALSE(shows("fullDiskAccess"));
  EXPECT_FALSE(shows("openFullDiskAccess"));
  EXPECT_FALSE(shows("fullDiskAccessHint"));
}

TEST_F(ExporterMenuTest, longStatusWrapsWithinTheWidthAndPushesTheRestDown) {
  ExporterMenu::State state = idleWithFolder();
  state.status = "Short.";
  menu->render(state);
  const int shortHeight = menu->height();
  const int shortQuitTop = find<QWidget>("quit")->geometry().top();

  state.status = std::string(
      "The shared file could not be written because the folder is on a disk that is full; "
      "free some space on it or choose another folder, then export again. ");
  state.status->append(*state.status);
  render(state, "long-status");
  EXPECT_EQ(menu->width(), ExporterMenu::kWidth);
  EXPECT_GT(menu->height(), shortHeight + 40);
  auto* status = find<QLabel>("status");
  EXPECT_TRUE(status->wordWrap());
  EXPECT_LE(status->geometry().right(), ExporterMenu::kWidth - ExporterMenu::kMargin);
  EXPECT_GE(status->height(), status->heightForWidth(status->width()));
  EXPECT_GT(find<QWidget>("quit")->geometry().top(), shortQuitTop + 40);
}

TEST_F(ExporterMenuTest, longFolderNameDoesNotWidenThePanel) {
  ExporterMenu::State state = idleWithFolder();
  state.folderName = std::string(200, 'x');
  render(state, "long-folder");
  EXPECT_EQ(menu->width(), ExporterMenu::kWidth);
  EXPECT_LE(find<QWidget>("folderName")->geometry().right(),
            ExporterMenu::kWidth - ExporterMenu::kMargin);
  EXPECT_EQ(find<QLabel>("folderName")->toolTip(), QString(200, 'x'));
}

TEST_F(ExporterMenuTest, openAtLoginFollowsTheStateAndReportsToggles) {
  ExporterMenu::State state = idleWithFolder();
  state.opensAtLogin = true;
  render(state, "opens-at-login");
  auto* toggle = find<QCheckBox>("openAtLogin");
  EXPECT_EQ(toggle->text(), "Open at login");
  EXPECT_TRUE(toggle->isChecked());
  EXPECT_TRUE(calls.empty()) << "drawing the state is not a toggle";
  toggle->click();
  EXPECT_EQ(calls, std::vector<std::string>{"setOpensAtLogin(false)"});
}

TEST_F(ExporterMenuTest, footnoteAndQuitCloseThePanel) {
  render(idleWithFolder(), "footnote");
  EXPECT_EQ(textOf("footnote"),
            "Reads the Photos library databases and writes photo measures for the lumenfolio "
            "apps. It never changes your library.");
  EXPECT_TRUE(find<QLabel>("footnote")->wordWrap());
  EXPECT_LT(colourOf("footnote").alphaF(), 0.9);
  find<QPushButton>("quit")->click();
  EXPECT_EQ(calls, std::vector<std::string>{"quit"});
}

TEST_F(ExporterMenuTest, linesFollowEachOtherInOrderWithinTheMargins) {
  ExporterMenu::State state = idleWithFolder();
  state.isWorking = true;
  state.needsFullDiskAccess = true;
  render(state, "everything");
  const char* order[] = {"title",         "lastExport", "working",  "fullDiskAccess",
                         "topDivider",    "folderLine", "commands", "openAtLogin",
                         "bottomDivider", "footnote",   "quit"};
  int previousBottom = ExporterMenu::kMargin - ExporterMenu::kSpacing - 1;
  for (const char* name : order) {
    const QRect place = find<QWidget>(name)->geometry();
    EXPECT_EQ(place.top(), previousBottom + 1 + ExporterMenu::kSpacing) << name;
    EXPECT_GE(place.left(), ExporterMenu::kMargin) << name;
    previousBottom = place.bottom();
  }
  EXPECT_EQ(menu->height() - 1 - previousBottom, ExporterMenu::kMargin);
  EXPECT_EQ(menu->width(), ExporterMenu::kWidth);
  // Export now sits at the trailing edge of its row.
  EXPECT_EQ(find<QWidget>("exportNow")->geometry().right(), find<QWidget>("commands")->width() - 1);
}

}  // namespace
}  // namespace lumenfolio
