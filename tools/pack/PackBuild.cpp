#include "Commands.h"
#include "test/TestDescription.h"

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
    // The pages go through a temporary file into the archive: a large test is never held whole.
    std::optional<TestDescription> d = readTestDescription(folder, problem, true);
    if (!d) {
        printError(QStringLiteral("%1: %2").arg(folder, problem));
        return 1;
    }
    for (const QString& note : d->notes)
        printError(QStringLiteral("%1: %2").arg(folder, note));
    if (const std::optional<QString> why = writeTestArchiveFile(
            output, d->archive, d->archivePages(), d->password, d->catalogue)) {
        printError(QStringLiteral("%1: %2").arg(output, *why));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
