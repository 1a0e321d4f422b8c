#include "app/KvizorApp.h"
#include "shell/TBasic.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QStringList parameters = QCoreApplication::arguments();
    parameters.removeFirst();
    kvz::KvizorApp app(parameters, QCoreApplication::applicationDirPath());
    app.createWindows();
    app.basic().show();
    return QApplication::exec();
}
