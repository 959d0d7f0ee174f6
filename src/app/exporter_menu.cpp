#include "app/exporter_menu.hpp"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>
#include <memory>
#include <tuple>
#include <utility>

#include "app/status_colour.hpp"

namespace lumenfolio {
namespace {

constexpr double kSecondaryOpacity = 0.6;
constexpr double kOpacityStep = 0.05;
constexpr double kCaptionScale = 0.85;
constexpr int kActivitySpacing = 6;
constexpr QSize kSpinnerSize(48, 6);

// The secondary colour is the text colour made paler, as pale as it may be
// while it still reads on the window colour with WCAG AA contrast; a pale
// grey on a light window would not at the usual opacity.
QColor secondaryColour(const QColor& text, const QColor& window) {
  for (double opacity = kSecondaryOpacity; opacity < 1; opacity += kOpacityStep) {
    const auto blend = [&](float ink, float ground) {
      return float(opacity * ink + (1 - opacity) * ground);
    };
    const QColor shown =
        QColor::fromRgbF(blend(text.redF(), window.redF()), blend(text.greenF(), window.greenF()),
                         blend(text.blueF(), window.blueF()));
    if (StatusColour::contrast(shown, window) >= StatusColour::kMinimumTextContrast) {
      QColor colour = text;
      colour.setAlphaF(float(opacity));
      return colour;
    }
  }
  return text;
}

QString fromUnicode(const icu::UnicodeString& text) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text.getBuffer()), text.length());
}

// Like the platform's relative formatters, the largest calendar unit in which
// the two moments differ names the distance, in words where the language has
// them ("yesterday") and in numbers otherwise ("2 hours ago").
QString relativeDate(double then, double now) {
  UErrorCode error = U_ZERO_ERROR;
  const icu::Locale locale = icu::Locale::getDefault();
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(locale, error));
  icu::RelativeDateTimeFormatter formatter(locale, nullptr, UDAT_STYLE_LONG,
                                           UDISPCTX_CAPITALIZATION_NONE, error);
  if (U_FAILURE(error)) {
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(qint64(then * 1000)),
                              QLocale::ShortFormat);
  }
  static constexpr std::array<std::pair<UCalendarDateFields, URelativeDateTimeUnit>, 7> kUnits{{
      {UCAL_YEAR, UDAT_REL_UNIT_YEAR},
      {UCAL_MONTH, UDAT_REL_UNIT_MONTH},
      {UCAL_WEEK_OF_YEAR, UDAT_REL_UNIT_WEEK},
      {UCAL_DATE, UDAT_REL_UNIT_DAY},
      {UCAL_HOUR_OF_DAY, UDAT_REL_UNIT_HOUR},
      {UCAL_MINUTE, UDAT_REL_UNIT_MINUTE},
      {UCAL_SECOND, UDAT_REL_UNIT_SECOND},
  }};
  calendar->setTime(then * 1000, error);
  int amount = 0;
  URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
  for (const auto& [field, candidate] : kUnits) {
    amount = calendar->fieldDifference(now * 1000, field, error);
    unit = candidate;
    if (amount != 0) break;
  }
  icu::UnicodeString text;
  formatter.format(-double(amount), unit, text, error);
  return fromUnicode(text);
}

void setForeground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

void makeCaption(QLabel* label) {
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * kCaptionScale);
  label->setFont(font);
  label->setWordWrap(true);
}

// Texts from the exporter are shown exactly as they are.
QLabel* plainLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// The panel's fixed wording, which a translation may replace.
QString ui(const char* source) {
  return QCoreApplication::translate("lumenfolio::ExporterMenu", source);
}

// A named child that lays out a part of the panel without margins of its own.
template <typename Layout>
std::pair<QWidget*, Layout*> part(const QString& name, QWidget* parent) {
  auto* holder = new QWidget(parent);
  holder->setObjectName(name);
  auto* layout = new Layout(holder);
  layout->setContentsMargins(0, 0, 0, 0);
  return {holder, layout};
}

QString text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

void call(const std::function<void()>& action) {
  if (action) action();
}

}  // namespace

ExporterMenu::ExporterMenu(Actions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
  setObjectName(QStringLiteral("exporterMenu"));
  setWindowTitle(ui("lumenfolio exporter"));
  setAutoFillBackground(true);
  build();
  render(State{});
}

void ExporterMenu::build() {
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout_->setSpacing(kSpacing);

  auto* title = new QLabel(ui("lumenfolio exporter"), this);
  title->setObjectName(QStringLiteral("title"));
  QFont headline = title->font();
  headline.setBold(true);
  title->setFont(headline);
  layout_->addWidget(title);

  lastExport_ = secondary(plainLabel(QStringLiteral("lastExport"), this));
  layout_->addWidget(lastExport_);

  layout_->addWidget(buildActivityLine());

  status_ = plainLabel(QStringLiteral("status"), this);
  status_->setWordWrap(true);
  layout_->addWidget(status_);

  layout_->addWidget(buildFullDiskAccessBlock());
  layout_->addWidget(divider(QStringLiteral("topDivider")));
  layout_->addWidget(buildFolderLine());
  layout_->addWidget(buildCommandRow());

  openAtLogin_ = new QCheckBox(ui("Open at login"), this);
  openAtLogin_->setObjectName(QStringLiteral("openAtLogin"));
  connect(openAtLogin_, &QCheckBox::toggled, this, [this](bool enabled) {
    if (actions_.setOpensAtLogin) actions_.setOpensAtLogin(enabled);
  });
  layout_->addWidget(openAtLogin_);

  layout_->addWidget(divider(QStringLiteral("bottomDivider")));

  auto* footnote = new QLabel(ui("Reads the Photos library databases and writes photo measures "
                                 "for the lumenfolio apps. It never changes your library."),
                              this);
  footnote->setObjectName(QStringLiteral("footnote"));
  makeCaption(secondary(footnote));
  layout_->addWidget(footnote);

  auto* quit = new QPushButton(ui("Quit"), this);
  quit->setObjectName(QStringLiteral("quit"));
  connect(quit, &QPushButton::clicked, this, [this] { call(actions_.quit); });
  layout_->addWidget(quit, 0, Qt::AlignLeft);
  paintForPalette();
}

QWidget* ExporterMenu::buildActivityLine() {
  QHBoxLayout* row = nullptr;
  std::tie(working_, row) = part<QHBoxLayout>(QStringLiteral("working"), this);
  row->setSpacing(kActivitySpacing);

  auto* spinner = new QProgressBar(working_);
  spinner->setObjectName(QStringLiteral("spinner"));
  spinner->setRange(0, 0);
  spinner->setTextVisible(false);
  spinner->setFixedSize(kSpinnerSize);
  row->addWidget(spinner, 0, Qt::AlignVCenter);

  workingText_ = plainLabel(QStringLiteral("workingText"), working_);
  workingText_->setWordWrap(true);
  row->addWidget(workingText_, 1, Qt::AlignVCenter);
  return working_;
}

QWidget* ExporterMenu::buildFullDiskAccessBlock() {
  QVBoxLayout* block = nullptr;
  std::tie(fullDiskAccess_, block) = part<QVBoxLayout>(QStringLiteral("fullDiskAccess"), this);
  block->setSpacing(kSpacing);

  auto* open = new QPushButton(ui("Show the library's database folder…"), fullDiskAccess_);
  open->setObjectName(QStringLiteral("openFullDiskAccess"));
  connect(open, &QPushButton::clicked, this, [this] { call(actions_.openFullDiskAccessSettings); });
  block->addWidget(open, 0, Qt::AlignLeft);

  auto* hint = new QLabel(fullDiskAccess_);
  hint->setObjectName(QStringLiteral("fullDiskAccessHint"));
  hint->setTextFormat(Qt::MarkdownText);
  hint->setText(
      ui("Make the **database** folder and its files readable for your user, then choose "
         "Export now."));
  makeCaption(secondary(hint));
  block->addWidget(hint);
  return fullDiskAccess_;
}

QWidget* ExporterMenu::buildFolderLine() {
  const auto [line, row] = part<QHBoxLayout>(QStringLiteral("folderLine"), this);
  row->setSpacing(kSpacing);
  folderLabel_ = new QLabel(ui("Shared folder"), line);
  folderLabel_->setObjectName(QStringLiteral("folderLabel"));
  row->addWidget(folderLabel_);
  row->addStretch(1);
  folderName_ = secondary(plainLabel(QStringLiteral("folderName"), line));
  row->addWidget(folderName_);
  return line;
}

QWidget* ExporterMenu::buildCommandRow() {
  const auto [commands, row] = part<QHBoxLayout>(QStringLiteral("commands"), this);

  chooseFolder_ = new QPushButton(commands);
  chooseFolder_->setObjectName(QStringLiteral("chooseFolder"));
  connect(chooseFolder_, &QPushButton::clicked, this, [this] { call(actions_.chooseFolder); });
  row->addWidget(chooseFolder_, 0, Qt::AlignVCenter);
  row->addStretch(1);

  exportNow_ = new QPushButton(ui("Export now"), commands);
  exportNow_->setObjectName(QStringLiteral("exportNow"));
  connect(exportNow_, &QPushButton::clicked, this, [this] { call(actions_.exportNow); });
  row->addWidget(exportNow_, 0, Qt::AlignVCenter);
  return commands;
}

QWidget* ExporterMenu::divider(const QString& name) {
  auto* line = new QFrame(this);
  line->setObjectName(name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QString ExporterMenu::lastExportLine(const State& state) {
  if (!state.lastExport) return ui("Not exported yet");
  return ui("Last export %1 · %2 photos")
      .arg(relativeDate(*state.lastExport, state.now), QString::number(state.lastCount));
}

void ExporterMenu::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (onHidden_) onHidden_();
}

void ExporterMenu::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (onResized_) onResized_();
}

// A label whose colour is a paler shade of the panel's text colour.
QLabel* ExporterMenu::secondary(QLabel* label) {
  secondary_.push_back(label);
  return label;
}

// The secondary labels and the status carry colours of their own, which no
// longer follow the panel's palette, so a new palette (light or dark
// appearance) is passed on. The orange is picked for the window colour, so the
// status stays readable on both.
void ExporterMenu::paintForPalette() {
  const QColor window = palette().color(QPalette::Window);
  const QColor colour = secondaryColour(palette().color(QPalette::WindowText), window);
  for (QLabel* label : secondary_) setForeground(label, colour);
  setForeground(status_, StatusColour::orangeOn(window));
}

void ExporterMenu::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) paintForPalette();
}

void ExporterMenu::render(const State& state) {
  lastExport_->setText(lastExportLine(state));
  renderActivity(state);
  fullDiskAccess_->setVisible(state.needsFullDiskAccess);
  renderFolder(state);
  {
    const QSignalBlocker quiet(openAtLogin_);
    openAtLogin_->setChecked(state.opensAtLogin);
  }
  layout_->activate();
  fitHeight();
}

// The width is fixed and the height is whatever the content needs at that
// width, so a wrapped status pushes the lines below it down.
void ExporterMenu::fitHeight() {
  const int height = heightForWidth(kWidth);
  setFixedSize(kWidth, height > 0 ? height : sizeHint().height());
}

// Text can grow after it was drawn: another screen's DPI, a new desktop font
// or style. Each such change asks the layout to run again, and the panel's
// height follows it then, so nothing below a wrapped line is cut off.
bool ExporterMenu::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (event->type() == QEvent::LayoutRequest) fitHeight();
  return handled;
}

void ExporterMenu::renderActivity(const State& state) {
  working_->setVisible(state.isWorking);
  workingText_->setText(state.status ? text(*state.status) : QString::fromUtf8("Working…"));
  status_->setVisible(!state.isWorking && state.status.has_value());
  status_->setText(state.status ? text(*state.status) : QString());
}

void ExporterMenu::renderFolder(const State& state) {
  const QString name = state.folderName ? text(*state.folderName) : QStringLiteral("not chosen");
  // A long folder name must not widen the panel: it is shortened in the middle.
  const int room = kWidth - 2 * kMargin - folderLabel_->sizeHint().width() - kSpacing;
  folderName_->setText(folderName_->fontMetrics().elidedText(name, Qt::ElideMiddle, room));
  folderName_->setToolTip(name);
  chooseFolder_->setText(state.folderName ? ui("Change folder…") : ui("Choose folder…"));
  exportNow_->setEnabled(!state.isWorking && state.folderName.has_value());
}

}  // namespace lumenfolio
