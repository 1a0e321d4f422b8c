#include "Commands.h"

#include "platform/docview/DibDecoder.h"
#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceReader.h"
#include "platform/docview/PieceWriter.h"
#include "run/MarkerBoard.h"
#include "shell/NamedFile.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <cstdio>

namespace kvz::pack {

namespace {

// A piece or a page picture to draw: no page is larger.
constexpr qint64 kMaxRenderInput = 64 << 20;

int usage() {
    return printUsage("kvizor-pack render INPUT -o OUT.png [--size WxH] [--slots \"C,R C,R ...\"]");
}

// Slots as a test description writes them: "2,4 2,7 2,10".
std::optional<std::vector<GridCell>> parseSlots(const QString& text) {
    std::vector<GridCell> cells;
    const QRegularExpression place(QStringLiteral("^(\\d{1,2}),(\\d{1,2})$"));
    for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = place.match(part);
        if (!m.hasMatch())
            return std::nullopt;
        const GridCell cell{m.captured(1).toInt(), m.captured(2).toInt()};
        if (!MarkerBoard::onGrid(cell))
            return std::nullopt;
        cells.push_back(cell);
    }
    if (cells.empty() || cells.size() > std::size_t(kMaxSlots))
        return std::nullopt;
    return cells;
}

// The run window's marker grid over the page as drawn at this size, its columns and rows
// numbered, and each slot's cell framed with the slot's number: where the pupil will see the
// markers.
void drawSlots(QImage& image, const QRect& page, const std::vector<GridCell>& slots) {
    MarkerBoard board;
    board.setPage(page);
    if (board.cellWidth() == 0 || board.cellHeight() == 0)
        return;
    QPainter p(&image);
    p.setClipRect(page);
    p.setPen(QColor(120, 160, 255, 140));
    for (int col = 0; col < kGridSize; ++col)
        for (int row = 0; row < kGridSize; ++row)
            p.drawRect(board.cellRect({col, row}).adjusted(0, 0, -1, -1));
    QFont font = p.font();
    font.setPixelSize(std::max(8, board.cellHeight() / 3));
    p.setFont(font);
    // Column numbers along the top row, row numbers down the first column.
    for (int i = 1; i < kGridSize; ++i) {
        p.drawText(board.cellRect({i, 0}).adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::number(i));
        p.drawText(board.cellRect({0, i}).adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::number(i));
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const QRect cell = board.cellRect(slots[i]);
        p.setPen(QPen(QColor(220, 0, 0), 2));
        p.drawRect(cell.adjusted(1, 1, -1, -1));
        p.drawText(cell, Qt::AlignCenter, QString::number(i + 1));
    }
}

} // namespace

// A piece is drawn as it is; a page file first becomes the piece the viewer would get.
int runRender(const QStringList& args) {
    const std::optional<CommandLine> line = parseCommandLine(
        args, {QStringLiteral("-o"), QStringLiteral("--size"), QStringLiteral("--slots")},
        {QStringLiteral("-o")});
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

    std::optional<std::vector<GridCell>> slots;
    if (line->options.contains(QStringLiteral("--slots"))) {
        const QString slotsText = line->option(QStringLiteral("--slots"));
        slots = parseSlots(slotsText);
        if (!slots) {
            printError(QStringLiteral("--slots wants 1 to 10 places COLUMN,ROW (0..30), got \"%1\"")
                           .arg(slotsText));
            return 2;
        }
    }

    // A piece is read whole; a picture by the page maker, which reads it the same careful way.
    QString why;
    std::optional<QByteArray> read = readNamedFile(input, kMaxRenderInput, &why);
    if (!read) {
        printError(QStringLiteral("%1: %2").arg(input, why));
        return 1;
    }
    QByteArray piece = std::move(*read);
    if (!piece.startsWith("BDOC")) {
        const docview::PieceResult made = docview::pieceFromPageFile(input);
        if (!made.ok()) {
            printError(made.error);
            return 1;
        }
        piece = made.piece;
    }

    docview::PageRenderer renderer;
    why.clear();
    if (!renderer.loadPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())), why)) {
        printError(QStringLiteral("%1: %2").arg(input, why));
        return 1;
    }
    if (!renderer.hasPicture())
        printError(
            QStringLiteral("%1: %2; an empty page is drawn").arg(input, renderer.pictureNote()));
    if (size.isEmpty())
        size = renderer.naturalSize(96, 96);
    QImage image = renderer.render(size);
    if (image.isNull()) {
        printError(QStringLiteral("%1: cannot be drawn at %2x%3")
                       .arg(input)
                       .arg(size.width())
                       .arg(size.height()));
        return 1;
    }
    if (slots)
        drawSlots(image, renderer.pageRect(size), *slots);
    if (!image.save(output, "PNG")) {
        printError(QStringLiteral("%1: cannot be written").arg(output));
        return 1;
    }
    return 0;
}

} // namespace kvz::pack
