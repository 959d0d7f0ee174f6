// The tray item's status image: two concentric circles with two opposite
// quarters of the inner disc filled. `idle` and `busy` differ only in which
// pair of quarters is filled; each is built once and shared.
//
// The tray item itself shows the mark on a disc of the window colour, since
// the desktop's panel may be dark under a light application or the other way
// round, and beside it a small error mark while the last export failed.
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

  // What the tray item adds to the mark.
  struct Extras {
    bool plate = false;      // a disc of the window colour behind the mark
    bool errorMark = false;  // the error mark in its lower right corner
  };

  static const QIcon& idle();
  static const QIcon& busy();
  // The tray item's image: idle or busy, with or without the error mark.
  static const QIcon& tray(bool busy, bool failed);

  // A new image whose content is drawn afresh at every size and device pixel
  // ratio asked of it, in the application's window colours.
  static QIcon draw(const Wedges& filled);
  static QIcon draw(const Wedges& filled, Extras extras);

  // The image at its own size for a display with the given pixel ratio.
  static QPixmap pixmap(const QIcon& icon, qreal devicePixelRatio);
};

}  // namespace lumenfolio
