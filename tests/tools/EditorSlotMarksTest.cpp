// The places of an ordering question over a short typed page: the run's grid has flat cells
// there, and the editor shows each place's marker where the run paints it, round.

#include "PageSources.h"
#include "SlotMarks.h"
#include "platform/docview/ByteReader.h"
#include "platform/docview/PageRenderer.h"
#include "run/MarkerPictures.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace kvz::editor {
namespace {

// The pixels a painting covered: the bounding box of what is not transparent.
QRect paintedBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(EditorSlotMarksTest, PlacesOnAShortTypedPageAreWhereAndAsRoundAsTheRunPaintsThem) {
    const docview::PieceResult made =
        pageFromText(QStringLiteral("<p>Put in order: an ant, a cat, a horse.</p>"));
    ASSERT_TRUE(made.ok()) << made.error.toStdString();
    docview::PageRenderer page;
    QString why;
    ASSERT_TRUE(page.loadPiece(
        docview::asBytes(made.piece.constData(), std::size_t(made.piece.size())), why))
        << why.toStdString();

    TQuestionRec q;
    q.kindText = "D";
    q.choiceCount = 3;
    q.rightSlots[0] = {2, 1, 3};
    q.rightSlots[1] = {10, 2, 1};
    q.rightSlots[2] = {20, 1, 2};

    // The page in the editor beside its answer form, and in the run window at two screen sizes.
    for (const QSize viewer : {QSize(900, 640), QSize(1180, 900), QSize(1800, 960)}) {
        SCOPED_TRACE(viewer.width());
        MarkerBoard board;
        board.setPage(page.pageRect(viewer));
        // The short page squashes the grid's cells.
        ASSERT_GT(board.cellWidth(), board.cellHeight() + 4);

        const std::vector<SlotMark> marks = slotMarks(board, q, 1);
        ASSERT_EQ(marks.size(), 3u);
        for (const SlotMark& m : marks) {
            SCOPED_TRACE(m.slot);
            const TSlotRec& s = q.rightSlots[std::size_t(m.slot - 1)];
            EXPECT_EQ(m.number, s.number);
            EXPECT_EQ(m.current, m.slot == 2);
            EXPECT_EQ(m.cell, board.cellRect({s.col, s.row}));
            EXPECT_EQ(m.disc.width(), m.disc.height());
            EXPECT_TRUE(QRectF(m.cell).contains(m.disc));

            // What the run paints in that cell covers the editor's disc, round, and no more.
            QImage shot(board.page().bottomRight().x() + 2, board.page().bottomRight().y() + 2,
                        QImage::Format_ARGB32_Premultiplied);
            shot.fill(Qt::transparent);
            QPainter p(&shot);
            markers::draw(p, board.cellRect({s.col, s.row}), s.number);
            p.end();
            const QRect painted = paintedBox(shot);
            ASSERT_FALSE(painted.isEmpty());
            EXPECT_LE(std::abs(painted.width() - painted.height()), 1);
            EXPECT_LE(std::abs(painted.width() - m.disc.width()), 2.0);
            EXPECT_LE(std::abs(QPointF(painted.center() - m.disc.center()).manhattanLength()), 2.0);
        }
    }
}

TEST(EditorSlotMarksTest, NoPlacesWhileTheGridHasNoCells) {
    TQuestionRec q;
    q.kindText = "D";
    q.choiceCount = 2;
    MarkerBoard board;
    board.setPage(QRect(0, 0, 10, 10)); // smaller than a cell
    EXPECT_TRUE(slotMarks(board, q, 0).empty());
}

} // namespace
} // namespace kvz::editor
