// A window that locks the workstation the way the examinee window does, for the X11 lock-down
// check: prints "ready" once shown; on the input line "dialog" opens a message box over the locked
// window ("dialog closed" when it is answered), "confirm" asks through the program's message
// dialogs with the hidden main window as owner ("confirm 1" for Yes), "prompt" opens an ownerless
// prompt over the lock and prints what was typed into it ("prompt TEXT"), "window" shows a plain
// ownerless window over the lock ("window shown"); "lift" lifts the lock ("lifted"), "quit" ends;
// "next" hides the window and shows a second one over the whole screen, as the run window follows
// the examinee window ("next 1" when the lock took it in).

#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "shell/RunState.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray& line) {
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kvz::RunState runState;
    // Like the program's main window during a test: made, then hidden.
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("kvizor-main"));
    mainWindow.winId();
    QWidget window;
    window.setWindowTitle(QStringLiteral("kvizor-locked"));
    window.resize(320, 200);
    window.show();
    kvz::applyLockdown(runState, &window);
    QWidget next;
    next.setWindowTitle(QStringLiteral("kvizor-next"));

    QDialog prompt; // ownerless, as the password prompt is
    prompt.setWindowTitle(QStringLiteral("kvizor-prompt"));
    auto* promptEdit = new QLineEdit(&prompt);
    (new QVBoxLayout(&prompt))->addWidget(promptEdit);
    QObject::connect(promptEdit, &QLineEdit::returnPressed, &prompt, &QDialog::accept);
    QWidget plain; // an ownerless plain window, as a calculator could be
    plain.setWindowTitle(QStringLiteral("kvizor-window"));
    plain.resize(200, 100);

    QTimer::singleShot(300, &app, [] { say("ready"); });
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
            QObject::connect(box, &QMessageBox::finished, [] { say("dialog closed"); });
            box->open();
        } else if (command == "confirm") {
            kvz::Dialogs::captions().title = QStringLiteral("kvizor-confirm");
            // Runs its own loop: the answer comes from the keyboard, not from this input.
            QTimer::singleShot(0, &app, [&] {
                const bool yes = kvz::Dialogs::confirm(&mainWindow, QStringLiteral("?"));
                say(yes ? "confirm 1" : "confirm 0");
            });
        } else if (command == "prompt") {
            QTimer::singleShot(0, &app, [&] {
                promptEdit->clear();
                kvz::showOverLock(&prompt);
                prompt.exec();
                say("prompt " + promptEdit->text().toUtf8());
            });
        } else if (command == "window") {
            kvz::showOverLock(&plain);
            plain.show();
            say("window shown");
        } else if (command == "next") {
            plain.hide();
            window.hide();
            // Placed over the screen by hand, as the loader places its windows.
            next.setGeometry(window.screen()->geometry());
            next.show();
            QTimer::singleShot(200, &app,
                               [&] { say(kvz::isLockedWindow(&next) ? "next 1" : "next 0"); });
        } else if (command == "lift") {
            kvz::liftLockdown(runState);
            say(kvz::isLockedWindow(&window) || kvz::isLockedWindow(&next) ? "lifted 1"
                                                                           : "lifted 0");
        }
    });
    return QApplication::exec();
}
