#include "platform/docview/DocumentView.h"
#include "PieceBuilders.h"
#include "platform/docview/PieceWriter.h"

#include <QBuffer>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace kvz {
namespace {

using namespace docview::testing;

QByteArray redPagePiece() {
    QImage img(200, 100, QImage::Format_RGB32); // 2:1, at 96 dpi
    img.fill(qRgb(200, 0, 0));
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    const docview::PieceResult r = docview::pieceFromImage(img, QStringLiteral("red"));
    EXPECT_TRUE(r.ok());
    return r.piece;
}

TEST(DocumentView, LoadsExactlyOnePieceFromAStream) {
    const QByteArray first = redPagePiece();
    const QByteArray second = pieceWith({{"CONTENTS", readFixture(QStringLiteral("bits24.dib"))}},
                                        docview::oleClassId(0x0316));
    QByteArray both = first + second;
    QBuffer buf(&both);
    buf.open(QIODevice::ReadOnly);
    DocumentView view;
    ASSERT_TRUE(view.loadFromStream(buf)) << view.lastError().toStdString();
    EXPECT_EQ(buf.pos(), first.size());
    ASSERT_TRUE(view.loadFromStream(buf)) << view.lastError().toStdString();
    EXPECT_EQ(buf.pos(), both.size());
    EXPECT_FALSE(view.isEmpty());

    // Rejected: a wrong signature, and a size that runs past the stream. The view is emptied.
    QByteArray bad = first;
    bad[0] = 'X';
    QBuffer badBuf(&bad);
    badBuf.open(QIODevice::ReadOnly);
    EXPECT_FALSE(view.loadFromStream(badBuf));
    EXPECT_TRUE(view.isEmpty());
    QByteArray cut = first.left(first.size() - 1);
    QBuffer cutBuf(&cut);
    cutBuf.open(QIODevice::ReadOnly);
    EXPECT_FALSE(view.loadFromStream(cutBuf));
    EXPECT_TRUE(view.isEmpty());
    EXPECT_EQ(cutBuf.pos(), 0);
}

TEST(DocumentView, NaturalSizeFollowsTheExtentAtScreenResolution) {
    DocumentView view;
    EXPECT_EQ(view.naturalSize(), QSize());
    ASSERT_TRUE(view.loadFromBytes(redPagePiece()));
    const QSize expected(qRound(200 * view.logicalDpiX() / 96.0),
                         qRound(100 * view.logicalDpiY() / 96.0));
    EXPECT_EQ(view.naturalSize(), expected);
    EXPECT_EQ(view.sizeHint(), expected);
    EXPECT_EQ(view.focusPolicy(), Qt::NoFocus);
}

TEST(DocumentView, PaintsScaledKeepingAspectThenLetsTheOwnerPaintOver) {
    DocumentView view;
    view.resize(300, 300);
    ASSERT_TRUE(view.loadFromBytes(redPagePiece()));
    QSignalSpy repainted(&view, &DocumentView::repainted);
    int overCalls = 0;
    QObject::connect(&view, &DocumentView::paintOver, [&overCalls](QPainter& p) {
        ++overCalls;
        p.fillRect(QRect(0, 140, 10, 10), Qt::blue); // a marker
    });
    const QImage shot = view.grab().toImage();
    EXPECT_EQ(repainted.count(), 1);
    EXPECT_EQ(overCalls, 1);
    // 2:1 page in a square: full width, 150 high, centred.
    EXPECT_EQ(view.pageRect(), QRect(0, 75, 300, 150));
    EXPECT_EQ(shot.pixel(150, 150), qRgb(200, 0, 0));
    EXPECT_EQ(shot.pixel(5, 145), qRgb(0, 0, 255));
    EXPECT_NE(shot.pixel(150, 20), qRgb(200, 0, 0)); // above the page
}

// Whoever paints over the page hears each time it moves: a resize, or a page of another shape.
TEST(DocumentView, TellsWhenThePageMoves) {
    DocumentView view;
    view.resize(300, 300);
    view.show();
    QSignalSpy moved(&view, &DocumentView::pageMoved);
    const auto last = [&moved] { return moved.takeLast().at(0).toRect(); };

    ASSERT_TRUE(view.loadFromBytes(redPagePiece()));
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(last(), QRect(0, 75, 300, 150));
    ASSERT_TRUE(view.loadFromBytes(redPagePiece()));
    EXPECT_EQ(moved.count(), 0) << "the same shape: the page stays where it was";

    view.resize(300, 400);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(last(), QRect(0, 125, 300, 150));
    view.resize(1000, 400);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(last(), QRect(100, 0, 800, 400));

    QImage tall(100, 200, QImage::Format_RGB32);
    tall.fill(Qt::white);
    ASSERT_TRUE(view.loadFromBytes(docview::pieceFromImage(tall, QStringLiteral("tall")).piece));
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(last(), QRect(400, 0, 200, 400));

    view.clear();
    ASSERT_EQ(moved.count(), 1);
    EXPECT_TRUE(last().isEmpty());
}

TEST(DocumentView, ForwardsMouseEventsWithWidgetCoordinates) {
    DocumentView view;
    view.resize(200, 200);
    view.loadFromBytes(redPagePiece());
    QSignalSpy pressed(&view, &DocumentView::mousePressed);
    QSignalSpy moved(&view, &DocumentView::mouseMoved);
    QSignalSpy released(&view, &DocumentView::mouseReleased);
    QTest::mousePress(&view, Qt::RightButton, {}, QPoint(12, 34));
    QTest::mouseMove(&view, QPoint(50, 60));
    QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(56, 78));
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(pressed[0][1].toPoint(), QPoint(12, 34));
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released[0][1].toPoint(), QPoint(56, 78));
    EXPECT_GE(moved.count(), 1);
}

} // namespace
} // namespace kvz
