#include "Commands.h"

#include "platform/docview/DibDecoder.h"
#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceReader.h"
#include "platform/docview/PieceWriter.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <cstdio>

namespace kvz::pack {

namespace {

int usage() {
    return printUsage("kvizor-pack render INPUT -o OUT.png [--size WxH]");
}

} // namespace

// A piece is drawn as it is; a page file first becomes the piece the viewer would get.
int runRender(const QStringList& args) {
    const std::optional<CommandLine> line = parseCommandLine(
        args, {QStringLiteral("-o"), QStringLiteral("--size")}, {QStringLiteral("-o")});
    if (!line)
        return usage();
    const QString input = line->input;
    const QString output = line->option(QStringLiteral("-o"));
    const QString sizeText = line->option(QStringLiteral("--size"));
    QSize size;
    if (!sizeText.isEmpty()) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$")).match(sizeText);
        if (!m.hasMatch()) {
            printError(QStringLiteral("--size wants WIDTHxHEIGHT, got \"%1\"").arg(sizeText));
            return 2;
        }
        size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
        if (size.isEmpty() || size.width() > docview::kMaxImageSide ||
            size.height() > docview::kMaxImageSide) {
            printError(QStringLiteral("--size %1 is out of range").arg(sizeText));
            return 2;
        }
    }

    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("%1: cannot be read (%2)").arg(input, file.errorString()));
        return 1;
    }
    QByteArray piece = file.read(4);
    file.close();
    if (piece != QByteArrayLiteral("BDOC")) {
        const docview::PieceResult made = docview::pieceFromPageFile(input);
        if (!made.ok()) {
            printError(made.error);
            return 1;
        }
        piece = made.piece;
    } else {
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("%1: cannot be read").arg(input));
            return 1;
        }
        piece = file.readAll();
    }

    docview::PageRenderer renderer;
    QString why;
    if (!renderer.loadPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())), why)) {
        printError(QStringLiteral("%1: %2").arg(input, why));
        return 1;
    }
    if (!renderer.hasPicture())
        printError(
            QStringLiteral("%1: %2; an empty page is drawn").arg(input, renderer.pictureNote()));
    if (size.isEmpty())
        size = renderer.naturalSize(96, 96);
    const QImage& image = renderer.render(size);
    if (image.isNull()) {
        printError(QStringLiteral("%1: cannot be drawn at %2x%3")
                       .arg(input)
                       .arg(size.width())
                       .arg(size.height()));
        return 1;
    }
    if (!image.save(output, "PNG")) {
        printError(QStringLiteral("%1: cannot be written").arg(output));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
