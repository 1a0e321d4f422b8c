// A window that locks the workstation the way the examinee window does, for the X11 lock-down
// check: prints "ready" once shown; on the input line "dialog" opens a message box over the locked
// window ("dialog closed" when it is answered), on "lift" lifts the lock ("lifted"), on "quit"
// ends; "next" hides the window and shows a second one over the whole screen, as the run window
// follows the examinee window ("next 1" when the lock took it in).

#include "platform/Lockdown.h"
#include "shell/RunState.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kvz::RunState runState;
    QWidget window;
    window.setWindowTitle(QStringLiteral("kvizor-locked"));
    window.resize(320, 200);
    window.show();
    kvz::applyLockdown(runState, &window);
    QWidget next;
    next.setWindowTitle(QStringLiteral("kvizor-next"));

    QTimer::singleShot(300, &app, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        const QByteArray command = QByteArray(line, n > 0 ? int(n) : 0).trimmed();
        if (n <= 0 || command == "quit") {
            input.setEnabled(false);
            app.quit();
        } else if (command == "dialog") {
            auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("kvizor-dialog"),
                                        QStringLiteral("?"), QMessageBox::Ok, &window);
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QMessageBox::finished, [] {
                std::printf("dialog closed\n");
                std::fflush(stdout);
            });
            box->open();
        } else if (command == "next") {
            window.hide();
            // Placed over the screen by hand, as the loader places its windows.
            next.setGeometry(window.screen()->geometry());
            next.show();
            QTimer::singleShot(200, &app, [&] {
                std::printf("next %d\n", kvz::isLockedWindow(&next) ? 1 : 0);
                std::fflush(stdout);
            });
        } else if (command == "lift") {
            kvz::liftLockdown(runState);
            std::printf("lifted %d\n",
                        kvz::isLockedWindow(&window) || kvz::isLockedWindow(&next) ? 1 : 0);
            std::fflush(stdout);
        }
    });
    return QApplication::exec();
}
