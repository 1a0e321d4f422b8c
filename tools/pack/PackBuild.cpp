#include "Commands.h"
#include "test/TestDescription.h"

#include <QSaveFile>
#include <cstdio>

namespace kvz::pack {

namespace {

int usage() {
    return printUsage("kvizor-pack build FOLDER -o NAME.tst");
}

} // namespace

int runBuild(const QStringList& args) {
    const std::optional<CommandLine> line =
        parseCommandLine(args, {QStringLiteral("-o")}, {QStringLiteral("-o")});
    if (!line)
        return usage();
    const QString folder = line->input;
    const QString output = line->option(QStringLiteral("-o"));

    QString problem;
    std::optional<TestDescription> d = readTestDescription(folder, problem);
    if (!d) {
        printError(QStringLiteral("%1: %2").arg(folder, problem));
        return 1;
    }
    for (const QString& note : d->notes)
        printError(QStringLiteral("%1: %2").arg(folder, note));
    std::optional<QByteArray> bytes =
        writeTestArchive(d->archive, d->password, d->catalogue, &problem);
    if (!bytes) {
        printError(QStringLiteral("%1: the archive cannot be made (%2)").arg(output, problem));
        return 1;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(*bytes) != bytes->size() || !out.commit()) {
        printError(QStringLiteral("%1: cannot be written (%2)").arg(output, out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
