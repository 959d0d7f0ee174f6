// The colours the panel and the tray item pick for a failure, and the WCAG
// contrast arithmetic behind them: a status in orange must stay readable on
// whatever window colour the desktop's light or dark appearance gives.
#pragma once

#include <QColor>

namespace lumenfolio {

class StatusColour {
 public:
  // The contrast WCAG AA asks of normal-size text.
  static constexpr double kMinimumTextContrast = 4.5;

  // WCAG relative luminance of an opaque sRGB colour, 0 (black) to 1 (white).
  static double relativeLuminance(const QColor& colour);
  // WCAG contrast ratio of two opaque colours, 1 (equal) to 21 (black on white).
  static double contrast(const QColor& first, const QColor& second);

  // The orange closest to the panel's usual orange that reads with at least
  // the minimum text contrast on `background`: darker on light windows,
  // brighter on dark ones.
  static QColor orangeOn(const QColor& background);
};

}  // namespace lumenfolio
