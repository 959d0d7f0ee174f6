#include "app/registration_mark.hpp"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include "app/status_colour.hpp"

namespace lumenfolio {
namespace {

constexpr double kCanvas = 18.0;
constexpr double kRingInset = 1.5;
constexpr double kRingGap = 2.2;
constexpr double kInnerLineWidth = 0.8;
constexpr double kOuterLineWidth = 1.2;
// The plate reaches just past the outer ring's stroke (radius 8.1).
constexpr double kPlateRadius = 8.8;
// The error mark: an orange disc in the lower right corner, cut out of the
// figure by a ring of the window colour, with an exclamation mark in it.
constexpr QPointF kErrorCentre{14.4, 14.4};
constexpr double kErrorRadius = 3.5;
constexpr double kErrorGap = 1.0;
constexpr QRectF kErrorBar{kErrorCentre.x() - 1.2 / 2, 12.2, 1.2, 14.9 - 12.2};
constexpr QPointF kErrorDot{kErrorCentre.x(), 16.3};
constexpr double kErrorDotRadius = 0.65;

const RegistrationMark::Wedges kIdle{{0, 90}, {180, 270}};
const RegistrationMark::Wedges kBusy{{90, 180}, {270, 360}};

QRectF around(QPointF centre, double radius) {
  return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius};
}

struct Colours {
  QColor figure;  // the window text colour
  QColor ground;  // the window colour
};

void paintDisc(QPainter& painter, const QColor& colour, QPointF centre, double radius) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawEllipse(around(centre, radius));
}

// Drawn like the mark: filled shapes on the same canvas, in the window's
// colours, with the orange the panel gives a failed status.
void paintErrorMark(QPainter& painter, const QColor& ground) {
  paintDisc(painter, ground, kErrorCentre, kErrorRadius + kErrorGap);
  paintDisc(painter, StatusColour::orangeOn(ground), kErrorCentre, kErrorRadius);
  painter.setBrush(ground);
  painter.drawRoundedRect(kErrorBar, kErrorBar.width() / 2, kErrorBar.width() / 2);
  paintDisc(painter, ground, kErrorDot, kErrorDotRadius);
}

// The figure is laid out on the 18-point canvas and scaled to whatever
// rectangle is asked for, so it stays sharp at every pixel ratio.
void paintMark(QPainter& painter, const QRectF& target, const RegistrationMark::Wedges& filled,
               RegistrationMark::Extras extras, const Colours& colours) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(target.topLeft());
  painter.scale(target.width() / kCanvas, target.height() / kCanvas);
  if (extras.plate)
    paintDisc(painter, colours.ground, QPointF(kCanvas / 2, kCanvas / 2), kPlateRadius);

  const QColor& colour = colours.figure;
  const QRectF canvas(0, 0, kCanvas, kCanvas);
  const QRectF ring = canvas.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
  const QPointF centre = canvas.center();
  const double radius = ring.width() / 2 - kRingGap;
  const QRectF inner = around(centre, radius);

  // Qt's arc angles already run counter-clockwise as seen on screen, with 90
  // degrees pointing up, so the y-up wedge angles apply unchanged.
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  for (const auto& [start, end] : filled) {
    QPainterPath wedge;
    wedge.moveTo(centre);
    wedge.arcTo(inner, start, end - start);
    wedge.closeSubpath();
    painter.drawPath(wedge);
  }

  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(colour, kInnerLineWidth));
  painter.drawEllipse(inner);
  painter.setPen(QPen(colour, kOuterLineWidth));
  painter.drawEllipse(ring);
  if (extras.errorMark) paintErrorMark(painter, colours.ground);
  painter.restore();
}

Colours windowColours(QIcon::Mode mode) {
  const QPalette palette = QGuiApplication::palette();
  const auto group = mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active;
  return {palette.color(group, QPalette::WindowText), palette.color(group, QPalette::Window)};
}

class MarkEngine final : public QIconEngine {
 public:
  MarkEngine(RegistrationMark::Wedges filled, RegistrationMark::Extras extras)
      : filled_(std::move(filled)), extras_(extras) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    paintMark(*painter, rect, filled_, extras_, windowColours(mode));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap image(size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return image;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    return {RegistrationMark::kSize};
  }

  QIconEngine* clone() const override { return new MarkEngine(filled_, extras_); }

  QString key() const override { return QStringLiteral("lumenfolio-registration-mark"); }

 private:
  const RegistrationMark::Wedges filled_;
  const RegistrationMark::Extras extras_;
};

}  // namespace

QIcon RegistrationMark::draw(const Wedges& filled) {
  return draw(filled, Extras{});
}

QIcon RegistrationMark::draw(const Wedges& filled, Extras extras) {
  return QIcon(new MarkEngine(filled, extras));
}

const QIcon& RegistrationMark::idle() {
  static const QIcon image = draw(kIdle);
  return image;
}

const QIcon& RegistrationMark::busy() {
  static const QIcon image = draw(kBusy);
  return image;
}

const QIcon& RegistrationMark::tray(bool busy, bool failed) {
  static const QIcon images[2][2] = {
      {draw(kIdle, {.plate = true}), draw(kIdle, {.plate = true, .errorMark = true})},
      {draw(kBusy, {.plate = true}), draw(kBusy, {.plate = true, .errorMark = true})},
  };
  return images[busy][failed];
}

QPixmap RegistrationMark::pixmap(const QIcon& icon, qreal devicePixelRatio) {
  return icon.pixmap(kSize, devicePixelRatio);
}

}  // namespace lumenfolio
