#include "app/KvizorApp.h"
#include "shell/RunState.h"
#include "shell/StartUp.h"
#include "shell/TBasic.h"
#include "shell/TStart.h"
#include "shell/UserFolder.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QStandardPaths>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    // Closing the main window is the only way out; hiding every window (a profile run between
    // two windows) must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList parameters = QCoreApplication::arguments();
    parameters.removeFirst();
    // An installed copy works in the user's own folder, where it may write settings and results.
    const QString executableFolder = kvz::workingProgramFolder(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QApplication::setWindowIcon(
        QIcon(QCoreApplication::applicationDirPath() + QStringLiteral("/kvizor.svg")));

    const QString folder = kvz::resolveProgramFolder(parameters, executableFolder);
    const kvz::StartLanguage language = kvz::prepareStartLanguage(folder, kvz::systemTempFolder());
    if (!language.ok) {
        // No window of ours exists yet, nor a message table: the plain system box.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                        QStringLiteral("Language file not find!"), QMessageBox::Ok);
        box.exec();
        return 1;
    }

    auto* splash = new kvz::TStart(folder, language.path);
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();

    kvz::KvizorApp app(parameters, executableFolder);
    app.setSplash(splash);
    app.createWindows();
    // The show step runs once before anything is shown: it brings back an unfinished run, or
    // starts the profile-driven run (the main window then stays hidden).
    app.basic().FormShow();
    // The end may have come already, inside an event loop of a window shown on the way (whose
    // exit does not reach a main loop that has not started): the main loop is not entered then.
    if (const std::optional<int> code = app.endRequested()) {
        delete app.splash();
        return *code;
    }
    if (!parameters.isEmpty() && !app.basic().resumedRun()) {
        // A profile of another type makes the run interactive, from the main window.
        if (app.runState().interactive)
            app.basic().show();
    } else if (!app.basic().resumedRun()) {
        app.basic().show();
    }
    const int code = QApplication::exec();
    delete app.splash();
    return code;
}
