#pragma once

// The viewer's fuzz targets draw text (EMF, WMF), which wants a GUI application object; the
// offscreen platform needs no display.

#include <QGuiApplication>

namespace kvz::fuzz {

inline void ensureGuiApp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication* app = new QGuiApplication(argc, argv);
        (void)app;
    }
}

} // namespace kvz::fuzz
