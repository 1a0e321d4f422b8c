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

void error(const QString& text) {
    printError(text);
}

} // namespace

int runPage(const QStringList& args) {
    QString input, output;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") && i + 1 < args.size())
            output = args[++i];
        else if (input.isEmpty() && !args[i].startsWith(QLatin1Char('-')))
            input = args[i];
        else
            return usage();
    }
    if (input.isEmpty() || output.isEmpty())
        return usage();
    const docview::PieceResult piece = docview::pieceFromPageFile(input);
    if (!piece.ok()) {
        error(piece.error);
        return 1;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(piece.piece) != piece.piece.size() ||
        !out.commit()) {
        error(QStringLiteral("%1: cannot be written (%2)").arg(output, out.errorString()));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
