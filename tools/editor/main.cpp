// kvizor-editor: the teacher's test editor.

#include "TEditor.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvizor-editor"));
    kvz::editor::TEditor editor(QCoreApplication::applicationDirPath());
    const QStringList args = QCoreApplication::arguments();
    editor.show();
    // A test named on the command line is opened at once.
    if (args.size() > 1 && QFileInfo(args[1]).isFile())
        editor.OpenFile(args[1]);
    return app.exec();
}
