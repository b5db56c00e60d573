// Support for tests of windows: one application object for the whole test
// program, on the offscreen platform unless the environment names another.
#pragma once

#include <cstdlib>

#include <QApplication>

namespace palisk {

inline QApplication* EnsureTestApplication() {
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "palisk-test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

}  // namespace palisk
