#include "Commands.h"

#include "platform/docview/PieceWriter.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace kvz::pack {

namespace {

int usage() {
    return printUsage("kvizor-pack page FILE -o PIECE");
}

} // namespace

int runPage(const QStringList& args) {
    const std::optional<CommandLine> line =
        parseCommandLine(args, {QStringLiteral("-o")}, {QStringLiteral("-o")});
    if (!line)
        return usage();
    const QString input = line->input;
    const QString output = line->option(QStringLiteral("-o"));
    const docview::PieceResult piece = docview::pieceFromPageFile(input);
    if (!piece.ok()) {
        printError(piece.error);
        return 1;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(piece.piece) != piece.piece.size() ||
        !out.commit()) {
        printError(QStringLiteral("%1: cannot be written (%2)").arg(output, out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
