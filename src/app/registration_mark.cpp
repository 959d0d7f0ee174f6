#include "app/registration_mark.hpp"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace lumenfolio {
namespace {

constexpr double kCanvas = 18.0;
constexpr double kRingInset = 1.5;
constexpr double kRingGap = 2.2;
constexpr double kInnerLineWidth = 0.8;
constexpr double kOuterLineWidth = 1.2;

// The figure is laid out on the 18-point canvas and scaled to whatever
// rectangle is asked for, so it stays sharp at every pixel ratio.
void paintMark(QPainter& painter, const QRectF& target, const RegistrationMark::Wedges& filled,
               const QColor& colour) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(target.topLeft());
  painter.scale(target.width() / kCanvas, target.height() / kCanvas);

  const QRectF canvas(0, 0, kCanvas, kCanvas);
  const QRectF ring = canvas.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
  const QPointF centre = canvas.center();
  const double radius = ring.width() / 2 - kRingGap;
  const QRectF inner(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);

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
  painter.restore();
}

QColor textColour(QIcon::Mode mode) {
  const QPalette palette = QGuiApplication::palette();
  const auto group = mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active;
  return palette.color(group, QPalette::WindowText);
}

class MarkEngine final : public QIconEngine {
 public:
  explicit MarkEngine(RegistrationMark::Wedges filled) : filled_(std::move(filled)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    paintMark(*painter, rect, filled_, textColour(mode));
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

  QIconEngine* clone() const override { return new MarkEngine(filled_); }

  QString key() const override { return QStringLiteral("lumenfolio-registration-mark"); }

 private:
  const RegistrationMark::Wedges filled_;
};

}  // namespace

QIcon RegistrationMark::draw(const Wedges& filled) {
  return QIcon(new MarkEngine(filled));
}

const QIcon& RegistrationMark::idle() {
  static const QIcon image = draw({{0, 90}, {180, 270}});
  return image;
}

const QIcon& RegistrationMark::busy() {
  static const QIcon image = draw({{90, 180}, {270, 360}});
  return image;
}

QPixmap RegistrationMark::pixmap(const QIcon& icon, qreal devicePixelRatio) {
  return icon.pixmap(kSize, devicePixelRatio);
}

}  // namespace lumenfolio
