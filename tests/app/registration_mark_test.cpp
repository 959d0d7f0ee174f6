#include "app/registration_mark.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPalette>
#include <cmath>
#include <numbers>

#include "qt_application.hpp"

namespace lumenfolio {
namespace {

constexpr double kCentre = 9.0;
constexpr double kQuarterRadius = 2.6;  // well inside the filled wedges
constexpr double kBandRadius = 6.3;     // the clear band between the rings

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

INSTANTIATE_TEST_SUITE_P(PixelRatios, RegistrationMarkTest, ::testing::Values(1.0, 2.0, 3.0));

TEST(RegistrationMark, eachImageIsOneSharedObject) {
  testing::qtApplication();
  EXPECT_EQ(&RegistrationMark::idle(), &RegistrationMark::idle());
  EXPECT_EQ(&RegistrationMark::busy(), &RegistrationMark::busy());
  EXPECT_EQ(RegistrationMark::idle().cacheKey(), RegistrationMark::idle().cacheKey());
  EXPECT_NE(RegistrationMark::idle().cacheKey(), RegistrationMark::busy().cacheKey());
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
