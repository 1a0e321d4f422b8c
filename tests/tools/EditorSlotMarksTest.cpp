// The places of an ordering question over its page: on a short page the run's grid has flat
// cells, and the editor shows each place's marker where the run paints it, round. A typed
// question page is made tall enough that the markers on it can be read.

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

// What the run paints for a marker in a cell.
QRect paintedMarker(const QRect& cell, int number) {
    QImage shot(cell.right() + 2, cell.bottom() + 2, QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::transparent);
    QPainter p(&shot);
    markers::draw(p, cell, number);
    p.end();
    return paintedBox(shot);
}

bool load(docview::PageRenderer& page, const docview::PieceResult& made) {
    QString why;
    EXPECT_TRUE(made.ok()) << made.error.toStdString();
    const bool ok = page.loadPiece(
        docview::asBytes(made.piece.constData(), std::size_t(made.piece.size())), why);
    EXPECT_TRUE(ok) << why.toStdString();
    return ok;
}

// A page as wide as a typed one and a few lines tall, as a picture file may give.
docview::PieceResult shortPicturePage() {
    QImage image(1984, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(48);
    p.setFont(f);
    p.drawText(150, 170, QStringLiteral("Put in order: an ant, a cat, a horse."));
    p.end();
    return pieceOfImage(image, QStringLiteral("short.png"));
}

// The run window's page viewer at 1024 x 768, 1280 x 1024 and 1920 x 1080.
const QSize kRunViewers[] = {QSize(952, 671), QSize(1208, 927), QSize(1848, 983)};

TEST(EditorSlotMarksTest, PlacesOnAShortPageAreWhereAndAsRoundAsTheRunPaintsThem) {
    docview::PageRenderer page;
    ASSERT_TRUE(load(page, shortPicturePage()));

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
            const QRect painted = paintedMarker(board.cellRect({s.col, s.row}), s.number);
            ASSERT_FALSE(painted.isEmpty());
            EXPECT_LE(std::abs(painted.width() - painted.height()), 1);
            EXPECT_LE(std::abs(painted.width() - m.disc.width()), 2.0);
            EXPECT_LE(std::abs(QPointF(painted.center() - m.disc.center()).manhattanLength()), 2.0);
        }
    }
}

// However little text a question's page holds, its cells are square and the numbers on its
// markers large enough to read; the text typed stays in the page.
TEST(EditorSlotMarksTest, MarkersOnATypedQuestionPageAreLargeEnoughToRead) {
    const struct {
        const char* what;
        QString html;
    } cases[] = {
        {"one line", QStringLiteral("<p>Put in order: an ant, a cat, a horse.</p>")},
        {"nothing typed", QString()},
        {"a short list", QStringLiteral("<p><b>Order</b> by size:</p><ol><li>an ant</li>"
                                        "<li>a cat</li></ol>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const docview::PieceResult made = pageFromText(c.html, TypedPage::Question);
        EXPECT_EQ(typedTextOf(made.piece), c.html);
        docview::PageRenderer page;
        ASSERT_TRUE(load(page, made));
        for (const QSize viewer : kRunViewers) {
            SCOPED_TRACE(viewer.width());
            MarkerBoard board;
            board.setPage(page.pageRect(viewer));
            EXPECT_LE(std::abs(board.cellWidth() - board.cellHeight()), 1);
            for (const GridCell cell : {GridCell{0, 0}, GridCell{10, 5}, GridCell{21, 15}}) {
                const QRect painted = paintedMarker(board.cellRect(cell), 10);
                EXPECT_GE(painted.height(), 20) << cell.col << "," << cell.row;
                EXPECT_GE(painted.width(), 20) << cell.col << "," << cell.row;
            }
        }
    }
}

// A text longer than the least height gets all the page it needs.
TEST(EditorSlotMarksTest, LongTypedQuestionPageIsNotCut) {
    QString longText;
    for (int i = 1; i <= 40; ++i)
        longText += QStringLiteral("<p>Line %1 of a long question.</p>").arg(i);
    docview::PageRenderer shortPage, longPage;
    ASSERT_TRUE(
        load(shortPage, pageFromText(QStringLiteral("<p>Line 1.</p>"), TypedPage::Question)));
    ASSERT_TRUE(load(longPage, pageFromText(longText, TypedPage::Question)));
    EXPECT_GT(longPage.extentMm().height(), 2 * shortPage.extentMm().height());
}

// An introduction keeps to its text: no white space shrinks it in its window.
TEST(EditorSlotMarksTest, TypedReadingPageKeepsToItsText) {
    docview::PageRenderer question, reading;
    const QString html = QStringLiteral("<p>The test has three questions.</p>");
    ASSERT_TRUE(load(question, pageFromText(html, TypedPage::Question)));
    ASSERT_TRUE(load(reading, pageFromText(html, TypedPage::Reading)));
    EXPECT_EQ(reading.extentMm().width(), question.extentMm().width());
    EXPECT_LT(reading.extentMm().height() * 3, question.extentMm().height());
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
