#include "app/status_colour.hpp"

#include <gtest/gtest.h>

#include <QColor>
#include <string>

namespace lumenfolio {
namespace {

std::string name(const QColor& colour) {
  return colour.name().toStdString();
}

TEST(StatusColour, relativeLuminanceFollowsTheSrgbCurve) {
  EXPECT_DOUBLE_EQ(StatusColour::relativeLuminance(Qt::black), 0.0);
  EXPECT_DOUBLE_EQ(StatusColour::relativeLuminance(Qt::white), 1.0);
  // Green weighs most, blue least.
  EXPECT_NEAR(StatusColour::relativeLuminance(QColor(255, 0, 0)), 0.2126, 1e-9);
  EXPECT_NEAR(StatusColour::relativeLuminance(QColor(0, 255, 0)), 0.7152, 1e-9);
  EXPECT_NEAR(StatusColour::relativeLuminance(QColor(0, 0, 255)), 0.0722, 1e-9);
  // Mid grey is far darker than half: the curve is not linear.
  EXPECT_NEAR(StatusColour::relativeLuminance(QColor(128, 128, 128)), 0.2158605, 1e-6);
  // The linear toe below 0.04045.
  EXPECT_NEAR(StatusColour::relativeLuminance(QColor(10, 10, 10)), 10 / 255.0 / 12.92, 1e-12);
}

TEST(StatusColour, contrastIsTheWcagRatioWhicheverComesFirst) {
  EXPECT_DOUBLE_EQ(StatusColour::contrast(Qt::black, Qt::white), 21.0);
  EXPECT_DOUBLE_EQ(StatusColour::contrast(Qt::white, Qt::black), 21.0);
  EXPECT_DOUBLE_EQ(StatusColour::contrast(QColor(90, 90, 90), QColor(90, 90, 90)), 1.0);
  // The well-known grey that just misses AA on white, and the one that meets it.
  EXPECT_NEAR(StatusColour::contrast(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
  EXPECT_NEAR(StatusColour::contrast(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
}

// The plain orange reads on no light window: it is darkened there.
TEST(StatusColour, orangeIsDarkenedOnLightWindows) {
  EXPECT_LT(StatusColour::contrast(QColor(230, 126, 0), Qt::white), 4.5);
  for (const QColor window : {QColor(Qt::white), QColor(0xef, 0xef, 0xef), QColor(0xf6, 0xf5, 0xf4),
                              QColor(0xd6, 0xd2, 0xd0)}) {
    const QColor orange = StatusColour::orangeOn(window);
    EXPECT_GE(StatusColour::contrast(orange, window), StatusColour::kMinimumTextContrast)
        << name(orange) << " on " << name(window);
    EXPECT_EQ(orange.hslHue(), 32) << name(orange);
    EXPECT_LT(StatusColour::relativeLuminance(orange), StatusColour::relativeLuminance(window));
  }
}

TEST(StatusColour, orangeKeepsItsBrightnessOnDarkWindows) {
  for (const QColor window : {QColor(Qt::black), QColor(0x2b, 0x2b, 0x2b), QColor(0x35, 0x35, 0x35),
                              QColor(0x24, 0x1f, 0x31)}) {
    const QColor orange = StatusColour::orangeOn(window);
    EXPECT_GE(StatusColour::contrast(orange, window), StatusColour::kMinimumTextContrast)
        << name(orange) << " on " << name(window);
    EXPECT_EQ(orange.hslHue(), 32) << name(orange);
    EXPECT_GT(orange.hslSaturation(), 250);
    EXPECT_GT(orange.value(), 200) << name(orange);
  }
}

// Every grey and a sweep of tinted windows get a readable status colour.
TEST(StatusColour, everyWindowGetsAReadableStatus) {
  for (int level = 0; level < 256; ++level) {
    const QColor grey(level, level, level);
    EXPECT_GE(StatusColour::contrast(StatusColour::orangeOn(grey), grey),
              StatusColour::kMinimumTextContrast)
        << name(grey);
  }
  for (int hue = 0; hue < 360; hue += 15) {
    for (const int lightness : {30, 128, 220}) {
      const QColor window = QColor::fromHsl(hue, 120, lightness);
      EXPECT_GE(StatusColour::contrast(StatusColour::orangeOn(window), window),
                StatusColour::kMinimumTextContrast)
          << name(window);
    }
  }
}

}  // namespace
}  // namespace lumenfolio
