// The one QApplication the widget tests of this folder need, made on first use
// and deleted when the tests end, before the program's static objects go away
// (Qt does not survive its application being destroyed during exit).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace lumenfolio::testing {

inline QApplication& qtApplication() {
  class Owner final : public ::testing::Environment {
   public:
    Owner() {
      static int argc = 1;
      static char name[] = "lumenfolio-tests";
      static char* argv[] = {name, nullptr};
      application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application.reset(); }
    std::unique_ptr<QApplication> application;
  };
  static Owner* const owner = static_cast<Owner*>(::testing::AddGlobalTestEnvironment(new Owner));
  return *owner->application;
}

}  // namespace lumenfolio::testing
