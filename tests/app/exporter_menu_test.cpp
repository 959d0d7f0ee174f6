#include "app/exporter_menu.hpp"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/status_colour.hpp"
#include "qt_application.hpp"

namespace lumenfolio {
namespace {

constexpr double kNow = 1'780'000'000;  // a moment in 2026
const QColor kNormalText = QColor(Qt::black);

// The colours of a desktop's light or dark appearance.
QPalette appearance(bool dark) {
  const QColor window = dark ? QColor(0x2b, 0x2b, 0x2b) : QColor(0xf6, 0xf5, 0xf4);
  const QColor text = dark ? QColor(0xee, 0xee, 0xee) : QColor(0x2e, 0x34, 0x36);
  QPalette palette(dark ? QColor(0x3c, 0x3c, 0x3c) : QColor(0xed, 0xed, 0xed), window);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(role, text);
  }
  palette.setColor(QPalette::Base, dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white));
  return palette;
}

// A status text of `words` words, long enough to wrap over several lines.
std::string longStatus(int words) {
  static const char* const kWords[] = {"The",   "shared",    "folder", "“Photos", "Backup”",
                                       "isn't", "available", "right",  "now;",    "connect",
                                       "its",   "disk",      "or",     "choose",  "another."};
  std::string status;
  for (int word = 0; word < words; ++word) {
    if (word) status += ' ';
    status += kWords[word % std::size(kWords)];
  }
  return status;
}

class ExporterMenuTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::qtApplication();
    UErrorCode error = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), error);
    ASSERT_TRUE(U_SUCCESS(error));
  }

  void SetUp() override { buildPanel(); }

  // A new panel, in the application's font at this moment.
  void buildPanel() {
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

  // The status is orange, and it is drawn so on the panel's window colour with
  // at least the contrast WCAG AA asks of text.
  void expectReadableOrange() const {
    const QColor colour = colourOf("status");
    const QColor window = menu->palette().color(QPalette::Window);
    EXPECT_GE(colour.hslHue(), 20);
    EXPECT_LE(colour.hslHue(), 40);
    EXPECT_GT(colour.hslSaturation(), 200);
    EXPECT_GE(StatusColour::contrast(colour, window), StatusColour::kMinimumTextContrast)
        << colour.name().toStdString() << " on " << window.name().toStdString();

    auto* status = find<QLabel>("status");
    const QImage drawn = menu->grab(status->geometry()).toImage();
    double strongest = 1;
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) {
        strongest = std::max(strongest, StatusColour::contrast(drawn.pixelColor(x, y), window));
      }
    }
    EXPECT_GE(strongest, StatusColour::kMinimumTextContrast) << "as drawn";
  }

  // Every visible child lies whole inside the panel and has at least the
  // height its content needs at its width: no line of text is cut off.
  void expectNothingCut(const std::string& context) const {
    const QRect panel = menu->rect();
    for (const QWidget* child : menu->findChildren<QWidget*>()) {
      if (!child->isVisibleTo(menu.get())) continue;
      const std::string name = child->objectName().toStdString() + " (" +
                               child->metaObject()->className() + "), " + context;
      const QRect place(child->mapTo(menu.get(), QPoint(0, 0)), child->size());
      EXPECT_TRUE(panel.contains(place))
          << name << ": " << place.top() << ".." << place.bottom() << " in 0.." << panel.bottom();
      // A height fixed on purpose (the thin progress bar) is the one it needs.
      const bool fixed = child->minimumHeight() == child->maximumHeight();
      const int needed = fixed                        ? child->minimumHeight()
                         : child->hasHeightForWidth() ? child->heightForWidth(child->width())
                                                      : child->minimumSizeHint().height();
      EXPECT_GE(child->height(), needed) << name;
    }
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
  palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
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
  expectReadableOrange();
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
            QString::fromUtf8("Show the library's database folder…"));
  auto* hint = find<QLabel>("fullDiskAccessHint");
  EXPECT_EQ(hint->textFormat(), Qt::MarkdownText);
  EXPECT_TRUE(hint->wordWrap());
  QTextDocument shown;
  shown.setMarkdown(hint->text());
  EXPECT_EQ(shown.toPlainText(),
            "Make the database folder and its files readable for your user, then choose "
            "Export now.");
  EXPECT_TRUE(hint->text().contains("**database**")) << "the folder's name shows in bold";
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

// The paler secondary texts still read on the window with WCAG AA contrast,
// as drawn over it, in both appearances.
TEST_F(ExporterMenuTest, secondaryTextsReadOnLightAndDarkPanels) {
  for (const bool dark : {false, true}) {
    const QPalette palette = appearance(dark);
    menu->setPalette(palette);
    render(idleWithFolder(), dark ? "secondary-dark" : "secondary-light");
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    for (const char* name : {"lastExport", "folderName", "footnote", "fullDiskAccessHint"}) {
      const QColor colour = colourOf(name);
      EXPECT_LT(colour.alphaF(), 0.9) << name << " is paler than the text";
      EXPECT_EQ(colour.rgb(), text.rgb()) << name;
      const double opacity = colour.alphaF();
      const QColor shown =
          QColor::fromRgbF(float(opacity * text.redF() + (1 - opacity) * window.redF()),
                           float(opacity * text.greenF() + (1 - opacity) * window.greenF()),
                           float(opacity * text.blueF() + (1 - opacity) * window.blueF()));
      EXPECT_GE(StatusColour::contrast(shown, window), StatusColour::kMinimumTextContrast)
          << name << (dark ? " on dark" : " on light");
    }
  }
}

TEST_F(ExporterMenuTest, orangeStatusReadsOnLightAndDarkPanels) {
  for (const bool dark : {false, true}) {
    const std::string look = dark ? "dark" : "light";
    menu->setPalette(appearance(dark));
    ExporterMenu::State state = idleWithFolder();
    state.status = longStatus(30);
    render(state, look.c_str());
    expectReadableOrange();
    expectNothingCut(look);

    state.needsFullDiskAccess = true;
    state.status =
        "We read technique and measures straight from the Photos library databases, but this "
        "user can't open them. Check the permissions of the library's database folder.";
    render(state, ("no-access-" + look).c_str());
    expectReadableOrange();
    expectNothingCut("no access, " + look);
  }
}

// Run by itself at 1x, and again by the test below on finer displays, where
// rounding the text's lines to device pixels can ask for more height.
TEST_F(ExporterMenuTest, noChildIsCutByStatusesThatWrap) {
  const double ratio = qEnvironmentVariable("LUMENFOLIO_EXPECTED_PIXEL_RATIO", "1").toDouble();
  EXPECT_DOUBLE_EQ(menu->devicePixelRatioF(), ratio);
  const QFont original = QApplication::font();
  for (const double points : {8.0, 10.0, 13.0}) {
    QFont font = original;
    font.setPointSizeF(points);
    QApplication::setFont(font);
    buildPanel();
    for (int words = 1; words <= 90; words += 6) {
      for (const bool working : {false, true}) {
        for (const bool noAccess : {false, true}) {
          ExporterMenu::State state = idleWithFolder();
          state.isWorking = working;
          state.needsFullDiskAccess = noAccess;
          state.status = longStatus(words);
          menu->render(state);
          expectNothingCut(std::to_string(words) + " words at " + std::to_string(points) +
                           " points, ratio " + std::to_string(ratio) +
                           (working ? ", working" : "") + (noAccess ? ", no access" : ""));
        }
      }
    }
  }
  QApplication::setFont(original);
  buildPanel();
  ExporterMenu::State state = idleWithFolder();
  state.status = longStatus(60);
  render(state, QStringLiteral("long-status@%1x").arg(ratio).toUtf8().constData());
  expectNothingCut("long status");
}

// A panel drawn on one screen may open on another with a different DPI, or
// the desktop's font may change under it: its height follows, so the wrapped
// status still pushes the footnote down instead of cutting it.
TEST_F(ExporterMenuTest, growsWhenItsTextGrowsAfterDrawing) {
  ExporterMenu::State state = idleWithFolder();
  state.status = longStatus(40);
  menu->render(state);
  const int drawnHeight = menu->height();
  QFont larger = menu->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.6);
  menu->setFont(larger);
  QCoreApplication::processEvents();
  EXPECT_GT(menu->height(), drawnHeight);
  EXPECT_EQ(menu->width(), ExporterMenu::kWidth);
  expectNothingCut("after a font change");
  render(state, "larger-font");
}

TEST(ExporterMenuOnFinerDisplays, noChildIsCutByStatusesThatWrap) {
  testing::qtApplication();
  for (const char* ratio : {"1.25", "1.5", "2", "3"}) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_SCALE_FACTOR", ratio);
    environment.insert("LUMENFOLIO_EXPECTED_PIXEL_RATIO", ratio);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=ExporterMenuTest.noChildIsCutByStatusesThatWrap"});
    ASSERT_TRUE(child.waitForFinished(120'000)) << ratio;
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << "at " << ratio << "x:\n" << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
  }
}

}  // namespace
}  // namespace lumenfolio
