#pragma once
// Window tests share one application object per test process. It runs on the
// offscreen platform unless the caller chose one (a screenshot run under Xvfb
// sets QT_QPA_PLATFORM=xcb itself).

#include <QApplication>

#include <cstdlib>

// Fontconfig (and, under a real display, the desktop bus library) keeps a few
// of its caches until the process ends; the leak checker of the sanitizer
// build would report them in every window test. They are not ours to free.
extern "C" __attribute__((used)) inline const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace qvtest {

inline QApplication& EnsureApplication() {
    static int argc = 1;
    static char name[] = "quendravine-test";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace qvtest
