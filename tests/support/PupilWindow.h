#pragma once

// Where a road leaves the pupil: a window that is on screen, can be used and holds the keyboard.
// A road that ends anywhere else leaves the pupil in front of nothing they can act on.

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

namespace kvz::testing {

// Waits (boundedly: the window system activates a window shown a moment ago a little later)
// for a visible, enabled window with the keyboard; expected, when given, must be that window.
inline ::testing::AssertionResult pupilHasAWindow(const QWidget* expected = nullptr,
                                                  int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    QWidget* w = nullptr;
    for (;;) {
        w = QApplication::activeWindow();
        const bool usable = w && w->isVisible() && w->isEnabled() && !w->isMinimized();
        if (usable && (!expected || w == expected))
            return ::testing::AssertionSuccess() << w->objectName().toStdString();
        if (clock.elapsed() > ms)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    if (!w)
        return ::testing::AssertionFailure() << "no window holds the keyboard";
    return ::testing::AssertionFailure()
           << "the keyboard is with " << w->objectName().toStdString()
           << (w->isVisible() ? "" : ", hidden") << (w->isEnabled() ? "" : ", disabled")
           << (expected ? ", not with " + expected->objectName().toStdString() : std::string());
}

} // namespace kvz::testing
