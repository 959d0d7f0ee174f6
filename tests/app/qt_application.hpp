// The one QApplication the widget tests of this folder need, made on first use.
#pragma once

#include <QApplication>

namespace lumenfolio::testing {

inline QApplication& qtApplication() {
  static int argc = 1;
  static char name[] = "lumenfolio-tests";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

}  // namespace lumenfolio::testing
