#include "app/registration_mark.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <numbers>

#include "app/status_colour.hpp"
#include "qt_application.hpp"

namespace lumenfolio {
namespace {

constexpr double kCentre = 9.0;
constexpr double kQuarterRadius = 2.6;  // well inside the filled wedges
constexpr double kBandRadius = 6.3;     // the clear band between the rings

// The tray's error mark sits in the lower right corner: an orange disc with an
// exclamation mark of the window colour, away from the mark's quarters.
constexpr QPointF kErrorDisc{12.3, 14.4};    // orange, beside the exclamation mark
constexpr QPointF kExclamation{14.4, 13.4};  // the exclamation mark's bar

QColor colourAt(const QImage& image, QPointF point) {
  const double ratio = image.devicePixelRatio();
  return image.pixelColor(int(point.x() * ratio), int(point.y() * ratio));
}

class RegistrationMarkTest : public ::testing::TestWithParam<qreal> {
 protected:
  void SetUp() override { testing::qtApplication(); }

  static QImage render(const QIcon& icon, qreal ratio) {
    return RegistrationMark::pixmap(icon, ratio).toImage();
  }

  // Opacity at the point `radius` from the centre in direction `degrees`,
  // counter-clockwise from 3 o'clock as seen on screen.
  static int opacityAt(const QImage& image, double radius, double degrees) {
    const double ratio = image.devicePixelRatio();
    const double angle = degrees * std::numbers::pi / 180;
    const double x = kCentre + radius * std::cos(angle);
    const double y = kCentre - radius * std::sin(angle);
    return image.pixelColor(int(x * ratio), int(y * ratio)).alpha();
  }

  // On the tray's plate the empty quarters show the window colour instead of
  // nothing: they differ from the filled ones by colour, not by opacity.
  static void expectQuarters(const QImage& image, bool upperRightAndLowerLeft,
                             const QColor& plate) {
    const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
    for (int quarter = 0; quarter < 4; ++quarter) {
      const double degrees = 45 + 90 * quarter;
      const bool filled = (quarter % 2 == 0) == upperRightAndLowerLeft;
      const double angle = degrees * std::numbers::pi / 180;
      const QColor seen = colourAt(image, QPointF(kCentre + kQuarterRadius * std::cos(angle),
                                                  kCentre - kQuarterRadius * std::sin(angle)));
      EXPECT_EQ(seen.rgb(), (filled ? text : plate).rgb()) << "quarter at " << degrees;
      EXPECT_EQ(seen.alpha(), 255) << "quarter at " << degrees;
    }
  }

  static void expectQuarters(const QImage& image, bool upperRightAndLowerLeft) {
    const bool filled[] = {upperRightAndLowerLeft, !upperRightAndLowerLeft, upperRightAndLowerLeft,
                           !upperRightAndLowerLeft};
    for (int quarter = 0; quarter < 4; ++quarter) {
      const double degrees = 45 + 90 * quarter;
      if (filled[quarter]) {
        EXPECT_GT(opacityAt(image, kQuarterRadius, degrees), 230) << "quarter at " << degrees;
      } else {
        EXPECT_LT(opacityAt(image, kQuarterRadius, degrees), 25) << "quarter at " << degrees;
      }
      EXPECT_LT(opacityAt(image, kBandRadius, degrees), 110) << "band at " << degrees;
    }
  }

  static void save(const QImage& image, const QString& name) {
    const QString folder = QStringLiteral(LUMENFOLIO_TEST_OUTPUT_DIR);
    QDir().mkpath(folder);
    image.save(folder + "/" + name);
  }
};

TEST_P(RegistrationMarkTest, idleFillsUpperRightAndLowerLeftQuarters) {
  const QImage image = render(RegistrationMark::idle(), GetParam());
  save(image, QStringLiteral("registration-mark-idle@%1x.png").arg(GetParam()));
  expectQuarters(image, true);
}

TEST_P(RegistrationMarkTest, busyFillsUpperLeftAndLowerRightQuarters) {
  const QImage image = render(RegistrationMark::busy(), GetParam());
  save(image, QStringLiteral("registration-mark-busy@%1x.png").arg(GetParam()));
  expectQuarters(image, false);
}

TEST_P(RegistrationMarkTest, bothImagesAreEighteenPointsAtEveryRatio) {
  for (const QIcon* icon : {&RegistrationMark::idle(), &RegistrationMark::busy()}) {
    const QPixmap image = RegistrationMark::pixmap(*icon, GetParam());
    EXPECT_EQ(image.deviceIndependentSize().toSize(), QSize(18, 18));
    EXPECT_EQ(image.size(), QSize(18, 18) * GetParam());
  }
}

TEST_P(RegistrationMarkTest, outerRingIsDrawnAtItsRadius) {
  const QImage image = render(RegistrationMark::idle(), GetParam());
  for (const double degrees : {0.0, 45.0, 90.0, 135.0, 180.0, 225.0, 270.0, 315.0}) {
    // Half a pixel inside the outer ring's middle at 7.5 keeps the sample on the stroke.
    EXPECT_GT(opacityAt(image, 7.5 - 0.25 / GetParam(), degrees), 60) << degrees;
  }
}

TEST_P(RegistrationMarkTest, trayImageCarriesTheErrorMarkOnlyWhileFailing) {
  const QPalette palette = QGuiApplication::palette();
  const QColor window = palette.color(QPalette::Window);
  const QColor orange = StatusColour::orangeOn(window);
  for (const bool busy : {false, true}) {
    const QImage failing = render(RegistrationMark::tray(busy, true), GetParam());
    const QImage working = render(RegistrationMark::tray(busy, false), GetParam());
    const QString state = busy ? QStringLiteral("busy") : QStringLiteral("idle");
    save(failing, QStringLiteral("tray-%1-failed@%2x.png").arg(state).arg(GetParam()));
    save(working, QStringLiteral("tray-%1@%2x.png").arg(state).arg(GetParam()));

    EXPECT_EQ(colourAt(failing, kErrorDisc).rgb(), orange.rgb()) << busy;
    EXPECT_EQ(colourAt(failing, kExclamation).rgb(), window.rgb()) << busy;
    EXPECT_NE(colourAt(working, kErrorDisc).rgb(), orange.rgb()) << busy;
    // The mark's own quarters are whole beside it.
    expectQuarters(failing, !busy, window);
    expectQuarters(working, !busy, window);
  }
}

INSTANTIATE_TEST_SUITE_P(PixelRatios, RegistrationMarkTest, ::testing::Values(1.0, 2.0, 3.0));

// Light and dark desktop panels under light and dark applications: the tray
// image stands out from the panel over a good part of its area, by the mark
// or by its plate, with at least the 3:1 contrast asked of graphics.
TEST(RegistrationMark, trayImageStaysVisibleOnDarkAndLightPanels) {
  auto& application = testing::qtApplication();
  const QPalette original = application.palette();
  for (const bool darkApplication : {false, true}) {
    QPalette palette = original;
    palette.setColor(QPalette::Window,
                     darkApplication ? QColor(0x2b, 0x2b, 0x2b) : QColor(0xf6, 0xf5, 0xf4));
    palette.setColor(QPalette::WindowText,
                     darkApplication ? QColor(0xee, 0xee, 0xee) : QColor(0x2e, 0x34, 0x36));
    application.setPalette(palette);
    for (const QColor panel :
         {QColor(Qt::black), QColor(0x30, 0x30, 0x30), QColor(0x80, 0x80, 0x80),
          QColor(0xe0, 0xe0, 0xe0), QColor(Qt::white)}) {
      for (const bool failed : {false, true}) {
        QImage shown(QSize(18, 18) * 2, QImage::Format_ARGB32);
        shown.setDevicePixelRatio(2);
        shown.fill(panel);
        QPainter painter(&shown);
        painter.drawPixmap(0, 0,
                           RegistrationMark::pixmap(RegistrationMark::tray(false, failed), 2));
        painter.end();
        int standingOut = 0;
        for (int y = 0; y < shown.height(); ++y) {
          for (int x = 0; x < shown.width(); ++x) {
            standingOut += StatusColour::contrast(shown.pixelColor(x, y), panel) >= 3.0;
          }
        }
        EXPECT_GT(standingOut, shown.width() * shown.height() / 4)
            << "on " << panel.name().toStdString() << (darkApplication ? ", dark" : ", light")
            << (failed ? ", failed" : "");
      }
    }
  }
  application.setPalette(original);
}

TEST(RegistrationMark, eachImageIsOneSharedObject) {
  testing::qtApplication();
  EXPECT_EQ(&RegistrationMark::idle(), &RegistrationMark::idle());
  EXPECT_EQ(&RegistrationMark::busy(), &RegistrationMark::busy());
  EXPECT_EQ(RegistrationMark::idle().cacheKey(), RegistrationMark::idle().cacheKey());
  EXPECT_NE(RegistrationMark::idle().cacheKey(), RegistrationMark::busy().cacheKey());
  EXPECT_EQ(&RegistrationMark::tray(false, true), &RegistrationMark::tray(false, true));
  EXPECT_NE(RegistrationMark::tray(false, true).cacheKey(),
            RegistrationMark::tray(false, false).cacheKey());
  EXPECT_NE(RegistrationMark::tray(true, true).cacheKey(),
            RegistrationMark::tray(false, true).cacheKey());
}

TEST(RegistrationMark, isDrawnInTheWindowTextColour) {
  auto& application = testing::qtApplication();
  const QPalette original = application.palette();
  QPalette red = original;
  red.setColor(QPalette::WindowText, QColor(200, 20, 20));
  application.setPalette(red);
  const QImage image = RegistrationMark::pixmap(RegistrationMark::idle(), 2).toImage();
  application.setPalette(original);

  const QColor filled = image.pixelColor(int((kCentre + 1.8) * 2), int((kCentre - 1.8) * 2));
  EXPECT_EQ(filled.red(), 200);
  EXPECT_EQ(filled.green(), 20);
  EXPECT_EQ(filled.blue(), 20);
}

}  // namespace
}  // namespace lumenfolio
