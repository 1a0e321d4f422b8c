#include "results/ScorePie.h"

#include <QColor>
#include <gtest/gtest.h>

namespace kvz {
namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGreen = qRgb(0, 255, 0), kRed = qRgb(255, 0, 0);
const QRgb kLightGreen = qRgb(20, 255, 20), kLightRed = qRgb(255, 20, 20);
// The side at the front column (h = 40) and at column 5 (h = 14).
const QRgb kFrontGreenSide = qRgb(40, 255, 40), kFrontRedSide = qRgb(255, 40, 40);
const QRgb kEdgeGreenSide = qRgb(14, 177, 14), kEdgeRedSide = qRgb(177, 14, 14);

std::string name(QRgb c) {
    return QColor(c).name().toStdString();
}

TEST(ScorePieTest, PixelsAtFiveScores) {
    struct Case {
        double score;
        QRgb back;      // top face, far side (80, 10)
        QRgb front;     // top face, near side (80, 77)
        QRgb frontSide; // side below the centre (80, 95)
        QRgb edgeSide;  // side near the left end (5, 70)
    };
    const Case cases[] = {
        {0, kLightRed, kLightRed, kFrontRedSide, kEdgeRedSide},
        {25, kLightRed, kGreen, kFrontGreenSide, kEdgeRedSide},
        {50, kLightRed, kGreen, kFrontGreenSide, kEdgeGreenSide},
        {75, kLightGreen, kRed, kFrontRedSide, kEdgeGreenSide},
        {100, kLightGreen, kLightGreen, kFrontGreenSide, kEdgeGreenSide},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.score);
        const QImage pie = drawScorePie(c.score);
        ASSERT_EQ(pie.size(), QSize(161, 110));
        EXPECT_EQ(name(pie.pixel(80, 10)), name(c.back));
        EXPECT_EQ(name(pie.pixel(80, 77)), name(c.front));
        EXPECT_EQ(name(pie.pixel(80, 95)), name(c.frontSide));
        EXPECT_EQ(name(pie.pixel(5, 70)), name(c.edgeSide));
        // Outside the disc stays white (transparent on screen).
        for (QPoint p : {QPoint(0, 0), QPoint(160, 0), QPoint(0, 109), QPoint(2, 90)})
            EXPECT_EQ(name(pie.pixel(p)), name(kWhite)) << p.x() << "," << p.y();
    }
}

TEST(ScorePieTest, SectorEdges) {
    // 25 %: a 90° sector at the front between the face points of 45° and 135° (x 137 and 23):
    // the side is in the front colour from column 24 to column 137 and in the back colour
    // beyond; the face beside the sector is the back share.
    const QImage q = drawScorePie(25);
    EXPECT_EQ(name(q.pixel(137, 80)), name(qRgb(28, 219, 28)));
    EXPECT_EQ(name(q.pixel(138, 80)), name(qRgb(219, 28, 28)));
    EXPECT_EQ(name(q.pixel(24, 80)), name(qRgb(29, 222, 29)));
    EXPECT_EQ(name(q.pixel(23, 80)), name(qRgb(219, 28, 28)));
    EXPECT_EQ(name(q.pixel(30, 50)), name(kLightRed));
    EXPECT_EQ(name(q.pixel(80, 60)), name(kGreen));
    // 50 %: the face is split along its middle line; the rim of the back half is red.
    const QImage h = drawScorePie(50);
    EXPECT_EQ(name(h.pixel(40, 45)), name(kGreen));
    EXPECT_EQ(name(h.pixel(40, 35)), name(kLightRed));
    EXPECT_EQ(name(h.pixel(80, 0)), name(kRed));
    // Out-of-range scores are held to 0..100.
    EXPECT_EQ(drawScorePie(-5), drawScorePie(0));
    EXPECT_EQ(drawScorePie(250), drawScorePie(100));
}

} // namespace
} // namespace kvz
