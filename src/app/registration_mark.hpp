// The tray item's status image: two concentric circles with two opposite
// quarters of the inner disc filled. `idle` and `busy` differ only in which
// pair of quarters is filled; each is built once and shared.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <utility>
#include <vector>

namespace lumenfolio {

class RegistrationMark {
 public:
  // Start and end angles in degrees, counter-clockwise from the positive x
  // axis as seen on screen (y up).
  using Wedges = std::vector<std::pair<double, double>>;

  // The images' size in device-independent pixels (points).
  static constexpr QSize kSize{18, 18};

  static const QIcon& idle();
  static const QIcon& busy();

  // A new image whose content is drawn afresh at every size and device pixel
  // ratio asked of it, in the application's window text colour.
  static QIcon draw(const Wedges& filled);

  // The image at its own size for a display with the given pixel ratio.
  static QPixmap pixmap(const QIcon& icon, qreal devicePixelRatio);
};

}  // namespace lumenfolio
