#include "Commands.h"
#include "TestDescription.h"

#include <QSaveFile>
#include <cstdio>

namespace kvz::pack {

namespace {

int usage() {
    return printUsage("kvizor-pack build FOLDER -o NAME.tst");
}

void error(const QString& text) {
    printError(text);
}

} // namespace

int runBuild(const QStringList& args) {
    QString folder, output;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") && i + 1 < args.size())
            output = args[++i];
        else if (folder.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            folder = args[i];
        else
            return usage();
    }
    if (folder.isEmpty() || output.isEmpty())
        return usage();

    QString problem;
    std::optional<TestDescription> d = readTestDescription(folder, problem);
    if (!d) {
        error(QStringLiteral("%1: %2").arg(folder, problem));
        return 1;
    }
    std::optional<QByteArray> bytes =
        writeTestArchive(d->archive, d->password, d->catalogue, &problem);
    if (!bytes) {
        error(QStringLiteral("%1: the archive cannot be made (%2)").arg(output, problem));
        return 1;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(*bytes) != bytes->size() || !out.commit()) {
        error(QStringLiteral("%1: cannot be written (%2)").arg(output, out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
