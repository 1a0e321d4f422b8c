#include "Commands.h"

#include <QGuiApplication>
#include <cstdio>

namespace {

constexpr const char* kUsage =
    "usage: kvizor-pack page FILE -o PIECE\n"
    "       kvizor-pack render INPUT -o OUT.png [--size WxH] [--slots \"C,R ...\"]\n"
    "       kvizor-pack build FOLDER -o NAME.tst\n"
    "       kvizor-pack inspect NAME.tst [--password P]\n";

} // namespace

int main(int argc, char* argv[]) {
    // Rendering and typesetting need fonts and painting but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("page"))
        return kvz::pack::runPage(args);
    if (command == QLatin1String("render"))
        return kvz::pack::runRender(args);
    if (command == QLatin1String("build"))
        return kvz::pack::runBuild(args);
    if (command == QLatin1String("inspect"))
        return kvz::pack::runInspect(args);
    std::fputs(kUsage, stderr);
    return 2;
}
