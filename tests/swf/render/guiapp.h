#pragma once

#include <QGuiApplication>

// Device fonts need a QGuiApplication; tests that draw edit texts make one on the offscreen
// platform, once per process.
inline void ensureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "render_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}
