#include "app/status_colour.hpp"

#include <cmath>

namespace lumenfolio {
namespace {

// The orange the panel shows wherever it is readable as it is, as an HSL
// hue in degrees and a lightness in percent at full saturation.
constexpr int kHue = 32;
constexpr int kLightness = 45;

// An 8-bit sRGB channel as linear light.
double linear(int channel) {
  const double value = channel / 255.0;
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

QColor orangeWithLightness(int percent) {
  return QColor::fromHsl(kHue, 255, percent * 255 / 100);
}

}  // namespace

double StatusColour::relativeLuminance(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

double StatusColour::contrast(const QColor& first, const QColor& second) {
  const double a = relativeLuminance(first);
  const double b = relativeLuminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// Tries shades ever further from the usual orange, the darker one first. The
// far ends of the walk are black and white, one of which reads at 4.58:1 or
// more on any colour, so the walk finds a shade before it runs out.
QColor StatusColour::orangeOn(const QColor& background) {
  for (int distance = 0; distance <= 100; ++distance) {
    for (const int lightness : {kLightness - distance, kLightness + distance}) {
      if (lightness < 0 || lightness > 100) continue;
      const QColor candidate = orangeWithLightness(lightness);
      if (contrast(candidate, background) >= kMinimumTextContrast) return candidate;
    }
  }
  return contrast(Qt::black, background) >= contrast(Qt::white, background) ? QColor(Qt::black)
                                                                            : QColor(Qt::white);
}

}  // namespace lumenfolio
