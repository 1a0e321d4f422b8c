#include "run/MarkerBoard.h"

#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceWriter.h"

#include <QImage>
#include <gtest/gtest.h>

#include <climits>

namespace kvz {
namespace {

// A 1280 x 960 page drawn at (40, 100) of its viewer: cells of 56 x 59 pixels. Five slots along
// row 3, answered 1..5 in order; slots 6..10 are unused and sit at cell (0, 0) as the archive
// leaves them.
constexpr int kPageW = 1280;
constexpr int kPageH = 960;
constexpr QPoint kOrigin(40, 100);
const QRect kPage(kOrigin, QSize(kPageW, kPageH));
constexpr int kCellW = 56;
constexpr int kCellH = 59;
const int kCols[5] = {2, 5, 8, 11, 14};
constexpr int kRow = 3;

std::array<TSlotRec, kMaxSlots> rightSlots() {
    std::array<TSlotRec, kMaxSlots> s{};
    for (int i = 0; i < 5; ++i)
        s[i] = TSlotRec{std::uint8_t(kCols[i]), kRow, std::uint8_t(5 - i)};
    return s;
}

std::array<TSlotRec, kMaxSlots> answersInOrder() {
    std::array<TSlotRec, kMaxSlots> s{};
    for (int i = 0; i < 5; ++i)
        s[i].number = std::uint8_t(i + 1);
    return s;
}

MarkerBoard fivePage() {
    MarkerBoard b;
    b.setPage(kPage);
    b.load(rightSlots(), answersInOrder());
    return b;
}

// The middle of a cell, in the viewer's pixels.
QPoint centre(int col, int row) {
    return kOrigin + QPoint(col * kCellW + kCellW / 2, row * kCellH + kCellH / 2);
}

std::vector<int> numbers(const MarkerBoard& b) {
    std::vector<int> n;
    for (const TSlotRec& s : b.workSlots())
        n.push_back(s.number);
    return n;
}

std::vector<int> pageNumbers(const MarkerBoard& b) {
    std::vector<int> n;
    for (int c : kCols)
        n.push_back(b.numberAt(c, kRow));
    return n;
}

TEST(MarkerBoard, CellSizeFollowsThePage) {
    struct Case {
        int w, h;
        int cellW, cellH;
    };
    const Case cases[] = {
        {1280, 960, 56, 59},
        {800, 600, 35, 37},
        {11, 8, 0, 0},           // smaller than half a cell: no cell
        {0, 0, 0, 0},            // not laid out yet
        {-5, -5, 0, 0},          //
        {20000, 9000, 255, 255}, // one byte: the largest cell, never a wrap to a tiny one
    };
    for (const Case& c : cases) {
        MarkerBoard b;
        b.setPage({0, 0, c.w, c.h});
        EXPECT_EQ(b.cellWidth(), c.cellW) << c.w;
        EXPECT_EQ(b.cellHeight(), c.cellH) << c.h;
        if (c.cellW == 0) {
            EXPECT_FALSE(b.cellAt(5, 5).has_value()) << "a zero cell divides nothing";
        }
    }
}

TEST(MarkerBoard, CellOfAPosition) {
    MarkerBoard b;
    EXPECT_TRUE(b.setPage(kPage));
    EXPECT_FALSE(b.setPage(kPage.translated(7, -3))) << "moving the page keeps the cell size";
    b.setPage(kPage);
    const int right = kOrigin.x() + kPageW - 1;
    const int bottom = kOrigin.y() + kPageH - 1;
    struct Case {
        int x, y;
        std::optional<GridCell> cell;
    };
    const Case cases[] = {
        {kOrigin.x(), kOrigin.y(), GridCell{0, 0}},
        {kOrigin.x() + 55, kOrigin.y() + 58, GridCell{0, 0}},
        {kOrigin.x() + 56, kOrigin.y() + 59, GridCell{1, 1}},
        {right, bottom, GridCell{22, 16}},
        // Off the page, the viewer's margins around it included, is over no cell.
        {0, 0, std::nullopt},
        {kOrigin.x() - 1, kOrigin.y() + 10, std::nullopt},
        {kOrigin.x() + 10, kOrigin.y() - 1, std::nullopt},
        {right + 1, kOrigin.y() + 10, std::nullopt},
        {kOrigin.x() + 10, bottom + 1, std::nullopt},
        {INT_MAX, INT_MIN, std::nullopt},
        {INT_MIN, INT_MAX, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(b.cellAt(c.x, c.y), c.cell) << c.x << "," << c.y;
    EXPECT_EQ(b.cellRect({2, 3}), QRect(kOrigin.x() + 112, kOrigin.y() + 177, 56, 59));
}

// The viewer draws the page keeping its aspect, centred: the grid goes with the page, so a slot
// is at the same place of the page whatever the shape of the screen.
TEST(MarkerBoard, ASlotKeepsItsPlaceOnThePageForEveryViewerShape) {
    // A short page, as a typeset question is: 210 x 110 mm.
    docview::PageRenderer renderer;
    QImage image(794, 416, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    const docview::PieceResult piece = docview::pieceFromImage(image, QStringLiteral("page"));
    ASSERT_TRUE(piece.ok()) << piece.error.toStdString();
    QString why;
    ASSERT_TRUE(renderer.loadPiece(
        docview::asBytes(piece.piece.constData(), std::size_t(piece.piece.size())), why))
        << why.toStdString();

    const QSize viewers[] = {
        {1004, 630}, // 4:3 screen, less the answer row and the question list
        {1260, 886}, // 5:4
        {1900, 942}, // 16:9
        {700, 1200}, // a tall one
        {794, 416},  // the page's own shape
        {2400, 300}, // far wider than the page
    };
    const GridCell cells[] = {{2, 4}, {2, 13}, {12, 7}, {21, 15}};
    for (const QSize& viewer : viewers) {
        const QRect page = renderer.pageRect(viewer);
        ASSERT_TRUE(QRect(QPoint(), viewer).contains(page)) << viewer.width();
        MarkerBoard b;
        b.setPage(page);
        for (const GridCell& cell : cells) {
            const QRect r = b.cellRect(cell);
            // The middle of the cell, as a fraction of the page, lies in the cell's own share of
            // the page: the cell size is rounded, so the fraction drifts a little, never out.
            const double fx = (r.center().x() - page.left() + 0.5) / page.width();
            const double fy = (r.center().y() - page.top() + 0.5) / page.height();
            const std::string what = std::to_string(viewer.width()) + "x" +
                                     std::to_string(viewer.height()) + " cell " +
                                     std::to_string(cell.col) + "," + std::to_string(cell.row);
            EXPECT_GT(fx, double(cell.col) / 22.97) << what;
            EXPECT_LT(fx, (cell.col + 1.0) / 22.97) << what;
            EXPECT_GT(fy, double(cell.row) / 16.17) << what;
            EXPECT_LT(fy, (cell.row + 1.0) / 16.17) << what;
            // And a press in its middle finds it.
            EXPECT_EQ(b.cellAt(r.center().x(), r.center().y()), cell) << what;
        }
    }
}

TEST(MarkerBoard, LoadPaintsTheAnswerInTheRightPlaces) {
    MarkerBoard b = fivePage();
    EXPECT_EQ(pageNumbers(b), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(numbers(b), (std::vector<int>{1, 2, 3, 4, 5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(b.workSlots()[2].col, 8);
    EXPECT_EQ(b.numberAt(0, 0), 0);
    EXPECT_EQ(b.slotOfNumber(3), 3);
    EXPECT_EQ(b.slotOfNumber(7), 0);
    // Unused slots hold 0: the highest of them is slot 10.
    EXPECT_EQ(b.slotOfNumber(0), 10);

    // A slot at (0, 0) keeps its marker although the unused slots share that cell.
    auto right = rightSlots();
    right[0].col = 0;
    right[0].row = 0;
    b.load(right, answersInOrder());
    EXPECT_EQ(b.numberAt(0, 0), 1);

    b.clear();
    EXPECT_EQ(b.numberAt(kCols[2], kRow), 0);
    EXPECT_EQ(b.beginDrag(centre(kCols[2], kRow).x(), centre(kCols[2], kRow).y()), 0);
}

TEST(MarkerBoard, PlacesOffTheGridNeverIndexOutside) {
    // A damaged archive: places beyond the 31 x 31 grid. Sanitizers watch the indexing.
    auto right = rightSlots();
    right[0] = TSlotRec{31, 0, 1};
    right[1] = TSlotRec{255, 255, 2};
    right[2] = TSlotRec{0, 200, 3};
    MarkerBoard b;
    b.setPage(kPage);
    b.load(right, answersInOrder());
    for (int col : {-1, 0, 30, 31, 255, 256, INT_MAX, INT_MIN})
        for (int row : {-1, 0, 30, 31, 255, INT_MIN})
            EXPECT_EQ(b.numberAt(col, row), (col == 11 && row == kRow) ? 4 : 0);
    // The slots keep their numbers for the drop-downs and the saved answer.
    EXPECT_EQ(numbers(b), (std::vector<int>{1, 2, 3, 4, 5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(b.choose(1, 5), (std::vector<int>{1, 5}));
    EXPECT_EQ(b.numberAt(kCols[4], kRow), 1);
    // A drop far outside the page over the grid's end.
    b.beginDrag(centre(kCols[3], kRow).x(), centre(kCols[3], kRow).y());
    b.moveDrag(centre(30, 15).x(), centre(30, 15).y());
    EXPECT_FALSE(b.drop(INT_MAX, INT_MAX).touched);
}

TEST(MarkerBoard, ChoosingInADropDownKeepsAPermutation) {
    struct Case {
        const char* what;
        int p, v;
        std::vector<int> changed;
        std::vector<int> after; // slot numbers 1..5
    };
    const Case cases[] = {
        {"drop-down 2 takes the number slot 5 holds", 2, 5, {2, 5}, {1, 5, 3, 4, 2}},
        {"drop-down 5 takes 1", 5, 1, {1, 5}, {5, 2, 3, 4, 1}},
        {"the number it already shows", 3, 3, {}, {1, 2, 3, 4, 5}},
        {"no such drop-down", 0, 2, {}, {1, 2, 3, 4, 5}},
        {"no such drop-down", 11, 2, {}, {1, 2, 3, 4, 5}},
        {"nothing selected", 2, 0, {}, {1, 2, 3, 4, 5}},
        {"beyond ten", 2, 11, {}, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        MarkerBoard b = fivePage();
        EXPECT_EQ(b.choose(c.p, c.v), c.changed) << c.what;
        auto n = numbers(b);
        n.resize(5);
        EXPECT_EQ(n, c.after) << c.what;
        EXPECT_EQ(pageNumbers(b), c.after) << c.what << ": the page follows";
    }
}

TEST(MarkerBoard, ChoosingANumberNoSlotHoldsStillStoresIt) {
    // Numbers that are not a permutation: what the drop-down shows is what is kept.
    auto answers = answersInOrder();
    answers[4].number = 0;
    MarkerBoard b;
    b.setPage(kPage);
    b.load(rightSlots(), answers);
    EXPECT_EQ(b.choose(2, 5), (std::vector<int>{2}));
    EXPECT_EQ(b.workSlots()[1].number, 5);
    EXPECT_EQ(b.numberAt(kCols[1], kRow), 5);
}

TEST(MarkerBoard, MouseDrops) {
    struct Case {
        const char* what;
        QPoint down, over, up;
        bool accepted;
        bool touched;
        GridCell dropCell;
        int homing;
        std::vector<int> after;
    };
    const QPoint m3 = centre(kCols[2], kRow);
    const QPoint m5 = centre(kCols[4], kRow);
    const QPoint empty = centre(kCols[2], kRow + 4);
    const Case cases[] = {
        {"marker 3 onto 5", m3, m5, m5, true, true, {kCols[4], kRow}, 5, {1, 2, 5, 4, 3}},
        {"onto an empty cell", m3, empty, empty, true, false, {kCols[2], kRow}, 3, {1, 2, 3, 4, 5}},
        {"onto itself", m3, m3, m3, true, false, {kCols[2], kRow}, 3, {1, 2, 3, 4, 5}},
        {"right of the page",
         m3,
         {kOrigin.x() + kPageW + 3, m3.y()},
         {kOrigin.x() + kPageW + 3, m3.y()},
         false,
         false,
         {},
         0,
         {1, 2, 3, 4, 5}},
        {"left of the page",
         m3,
         {kOrigin.x() - 5, m3.y()},
         {kOrigin.x() - 5, m3.y()},
         false,
         false,
         {},
         0,
         {1, 2, 3, 4, 5}},
        {"above the page",
         m3,
         {m5.x(), kOrigin.y() - 1},
         {m5.x(), kOrigin.y() - 1},
         false,
         false,
         {},
         0,
         {1, 2, 3, 4, 5}},
        // Where the pointer last moved decides, as the release may come without a move.
        {"last moved off the page", m3, {0, 0}, m5, false, false, {}, 0, {1, 2, 3, 4, 5}},
        // The last partial column of the page is not a whole cell.
        {"in the last partial cell",
         m3,
         {kOrigin.x() + kPageW - 2, m3.y()},
         {kOrigin.x() + kPageW - 2, m3.y()},
         false,
         false,
         {},
         0,
         {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        MarkerBoard b = fivePage();
        ASSERT_EQ(b.beginDrag(c.down.x(), c.down.y()), 3) << c.what;
        EXPECT_TRUE(b.dragging());
        EXPECT_EQ(b.startCell(), (GridCell{kCols[2], kRow}));
        b.moveDrag(c.over.x(), c.over.y());
        const MarkerDrop d = b.drop(c.up.x(), c.up.y());
        EXPECT_FALSE(b.dragging()) << c.what;
        EXPECT_EQ(d.accepted, c.accepted) << c.what;
        EXPECT_EQ(d.touched, c.touched) << c.what;
        if (c.accepted) {
            EXPECT_EQ(d.dropCell, c.dropCell) << c.what;
            EXPECT_EQ(d.homing, c.homing) << c.what;
        }
        if (c.touched) {
            EXPECT_EQ(std::minmax(d.slotA, d.slotB), std::minmax(3, 5)) << c.what;
        } else {
            EXPECT_EQ(d.slotA + d.slotB, 0) << c.what;
        }
        EXPECT_EQ(pageNumbers(b), c.after) << c.what;
        auto n = numbers(b);
        n.resize(5);
        EXPECT_EQ(n, c.after) << c.what;
    }

    // Over marker 5, then off the page into the viewer's margin: no longer over a cell.
    MarkerBoard b = fivePage();
    ASSERT_EQ(b.beginDrag(m3.x(), m3.y()), 3);
    b.moveDrag(m5.x(), m5.y());
    b.moveDrag(kOrigin.x() - 1, m5.y());
    EXPECT_FALSE(b.drop(kOrigin.x() - 1, m5.y()).accepted);
    EXPECT_EQ(pageNumbers(b), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(MarkerBoard, NoDragWithoutAMarkerOrAfterTheQuestionChanged) {
    MarkerBoard b = fivePage();
    const QPoint emptyCell = centre(1, 1);
    EXPECT_EQ(b.beginDrag(emptyCell.x(), emptyCell.y()), 0);
    EXPECT_FALSE(b.dragging());
    EXPECT_FALSE(b.drop(centre(kCols[0], kRow).x(), centre(kCols[0], kRow).y()).accepted);

    // A drag over a question that the clock replaced: the new page loads, the drag is gone and
    // the release changes nothing on it.
    const QPoint m1 = centre(kCols[0], kRow);
    ASSERT_EQ(b.beginDrag(m1.x(), m1.y()), 1);
    auto right = rightSlots();
    for (TSlotRec& s : right)
        s.row = 7;
    b.load(right, answersInOrder());
    const QPoint target = centre(kCols[1], 7);
    b.moveDrag(target.x(), target.y());
    EXPECT_FALSE(b.drop(target.x(), target.y()).accepted);
    EXPECT_EQ(numbers(b), (std::vector<int>{1, 2, 3, 4, 5, 0, 0, 0, 0, 0}));

    // A page with no cells yet takes no drag.
    MarkerBoard tiny;
    tiny.setPage({0, 0, 5, 5});
    tiny.load(rightSlots(), answersInOrder());
    EXPECT_EQ(tiny.beginDrag(0, 0), 0);
}

TEST(MarkerBoard, GlideFromTheDropBackHome) {
    MarkerBoard b;
    b.setPage({0, 0, kPageW, kPageH}); // step Round((56 + 59) / 3.4) = 34 pixels
    EXPECT_EQ(b.glideSteps(340, 0), 10);
    EXPECT_EQ(b.glideSteps(0, -339), 9);
    EXPECT_EQ(b.glideSteps(30, 0), 0);
    EXPECT_EQ(b.glideSteps(0, 0), 0);

    const auto path = b.glidePath({400, 100}, {60, 100});
    ASSERT_EQ(path.size(), 10u);
    EXPECT_EQ(path.front(), QPoint(400, 100));
    EXPECT_EQ(path[1], QPoint(366, 100));
    EXPECT_EQ(path.back(), QPoint(94, 100));

    // So small a page that the step rounds to 0: no glide at all.
    MarkerBoard tiny;
    tiny.setPage({0, 0, 30, 20}); // cells 1 x 1, step Round(2 / 3.4) = 1
    EXPECT_EQ(tiny.glideSteps(100, 0), 100);
    tiny.setPage({0, 0, 30, 5}); // cells 1 x 0, step Round(1 / 3.4) = 0
    EXPECT_EQ(tiny.glideSteps(1000, 1000), 0);
    EXPECT_TRUE(tiny.glidePath({0, 0}, {500, 500}).empty());
}

} // namespace
} // namespace kvz
