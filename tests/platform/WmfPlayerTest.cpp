#include "platform/docview/WmfPlayer.h"
#include "WmfBuilder.h"
#include "support/TestPaths.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <set>

using kvz::testing::WmfBuilder;
namespace wmf = kvz::wmf;

namespace {

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kGreen = 0x00FF00;

QImage render(const std::vector<std::uint8_t>& bytes, QSize size = QSize(100, 100),
              bool* ok = nullptr) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const bool played = wmf::play(bytes, painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    if (ok)
        *ok = played;
    return image;
}

QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

} // namespace

// Where logical coordinates land for each way a picture can set up its mapping.
TEST(WmfMapping, LogicalFrameMapsOntoTarget) {
    struct Case {
        const char* name;
        WmfBuilder builder;
        QPoint inside, outside;
    };
    std::vector<Case> cases;
    {
        WmfBuilder b;
        b.placeable(0, 0, 1000, 1000).mapMode(8).windowOrg(0, 0).windowExt(1000, 1000);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(250, 250, 750, 750);
        cases.push_back({"placeable, anisotropic", b, {50, 50}, {10, 10}});
    }
    {
        WmfBuilder b;
        b.mapMode(8).windowOrg(-500, -500).windowExt(1000, 1000);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(-250, -250, 0, 0);
        cases.push_back({"bare, window origin negative", b, {37, 37}, {62, 62}});
    }
    {
        WmfBuilder b; // y grows upwards
        b.mapMode(8).windowOrg(0, 1000).windowExt(1000, -1000);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 500, 500);
        cases.push_back({"y up", b, {25, 75}, {25, 25}});
    }
    {
        WmfBuilder b; // a later window extent twice as large halves the drawing
        b.placeable(0, 0, 100, 100).mapMode(8).windowExt(100, 100).windowExt(200, 200);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 100, 100);
        cases.push_back({"window extent changed", b, {25, 25}, {75, 75}});
    }
    {
        WmfBuilder b; // isotropic takes the smaller scale on both axes
        b.placeable(0, 0, 100, 100).mapMode(7).windowExt(200, 100).viewportExt(100, 100);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 100, 100);
        cases.push_back({"isotropic", b, {25, 25}, {25, 75}});
    }
    {
        WmfBuilder b; // 1000 units per inch: the frame is 25.4 mm; HIMETRIC 1270 is half of it
        b.placeable(0, 0, 1000, 1000, 1000).mapMode(3);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 1270, -1270);
        cases.push_back({"himetric", b, {25, 25}, {75, 75}});
    }
    {
        WmfBuilder b; // scale the window extent by 2/1 on both axes
        b.placeable(0, 0, 100, 100).mapMode(8).windowExt(100, 100).rec(0x0410, {1, 2, 1, 2});
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 100, 100);
        cases.push_back({"scaled window extent", b, {25, 25}, {75, 75}});
    }
    {
        WmfBuilder b; // viewport origin moved by half the frame
        b.placeable(0, 0, 100, 100).mapMode(8).windowExt(100, 100).viewportOrg(50, 0);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 50, 50);
        cases.push_back({"viewport origin", b, {75, 25}, {25, 25}});
    }
    {
        WmfBuilder b; // window origin offset moves the picture the other way
        b.placeable(0, 0, 100, 100).mapMode(8).windowExt(100, 100).rec(0x020F, {0, 50});
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(50, 0, 100, 50);
        cases.push_back({"window origin offset", b, {25, 25}, {75, 25}});
    }
    {
        WmfBuilder b; // MM_TEXT: logical units are frame units from the placeable box
        b.placeable(100, 100, 300, 300).mapMode(1);
        b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(100, 100, 200, 200);
        cases.push_back({"text mode", b, {25, 25}, {75, 75}});
    }
    for (const Case& c : cases) {
        const QImage image = render(c.builder.bytes());
        EXPECT_EQ(at(image, c.inside.x(), c.inside.y()), QColor(Qt::red)) << c.name;
        EXPECT_EQ(at(image, c.outside.x(), c.outside.y()), QColor(Qt::white)) << c.name;
    }
}

TEST(WmfMapping, InspectReportsFrameAndPhysicalSize) {
    WmfBuilder placed;
    placed.placeable(-100, 0, 1340, 720, 1440).rectangle(0, 0, 10, 10);
    auto info = wmf::inspect(placed.bytes());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bounds, QRectF(-100, 0, 1440, 720));
    ASSERT_TRUE(info->sizeMm);
    EXPECT_NEAR(info->sizeMm->width(), 25.4, 1e-9);
    EXPECT_NEAR(info->sizeMm->height(), 12.7, 1e-9);

    WmfBuilder bare;
    bare.mapMode(8).windowOrg(10, 20).windowExt(300, 200).rectangle(0, 0, 10, 10);
    info = wmf::inspect(bare.bytes());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bounds, QRectF(10, 20, 300, 200));
    EXPECT_FALSE(info->sizeMm);
    info = wmf::inspect(bare.bytes(), wmf::MetafilePict{8, 3000, 2000});
    ASSERT_TRUE(info && info->sizeMm);
    EXPECT_NEAR(info->sizeMm->width(), 30.0, 1e-9);

    // Nothing states a frame: what the records draw is the frame.
    WmfBuilder drawn;
    drawn.rectangle(10, 20, 110, 70);
    info = wmf::inspect(drawn.bytes());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bounds, QRectF(10, 20, 100, 50));
    const QImage image = render(drawn.bytes());
    EXPECT_EQ(at(image, 50, 50), QColor(Qt::white)); // the default white brush fills it all
    EXPECT_LT(at(image, 0, 50).red(), 200);          // with the default black pen at its edge

    // A lone horizontal line still has a frame; a picture that draws nothing has none.
    WmfBuilder line;
    line.rec(0x0214, {5, 10}).rec(0x0213, {5, 90});
    info = wmf::inspect(line.bytes());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->bounds, QRectF(10, 4.5, 80, 1));
    EXPECT_FALSE(wmf::inspect(WmfBuilder().saveDc().bytes()));

    EXPECT_FALSE(wmf::inspect(std::vector<std::uint8_t>{'n', 'o', 'p', 'e'}));
}

TEST(WmfState, SaveAndRestoreDc) {
    struct Case {
        const char* name;
        std::vector<int> restores; // after three saves with red, green, blue brushes selected
        QColor expected;
    };
    const std::vector<Case> cases = {
        {"one back", {-1}, Qt::blue},
        {"two back", {-2}, Qt::green},
        {"absolute first", {1}, Qt::red},
        {"relative then relative", {-1, -1}, Qt::green},
        {"beyond the stack is ignored", {-4}, QColor(0xFF, 0xFF, 0x00)},
        {"zero is ignored", {0}, QColor(0xFF, 0xFF, 0x00)},
        {"absolute beyond depth ignored", {4}, QColor(0xFF, 0xFF, 0x00)},
    };
    for (const Case& c : cases) {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).nullPen().select(0);
        b.solidBrush(kRed).solidBrush(kGreen).solidBrush(kBlue).solidBrush(0xFFFF00);
        b.select(1).saveDc().select(2).saveDc().select(3).saveDc().select(4);
        for (int r : c.restores)
            b.restoreDc(r);
        b.rectangle(0, 0, 100, 100);
        EXPECT_EQ(at(render(b.bytes()), 50, 50), c.expected) << c.name;
    }
}

TEST(WmfState, ObjectTableSlotsSelectionAndDeletion) {
    WmfBuilder b;
    b.placeable(0, 0, 100, 100).objects(4).nullPen().select(0);
    b.solidBrush(kRed).solidBrush(kBlue); // slots 1, 2
    b.remove(1).solidBrush(kGreen);       // green takes the freed slot 1
    b.select(1).rectangle(0, 0, 50, 100);
    b.select(2).rectangle(50, 0, 100, 50);
    b.remove(2).select(2).select(999).rectangle(50, 50, 100, 100); // still blue
    const QImage image = render(b.bytes());
    EXPECT_EQ(at(image, 25, 50), QColor(Qt::green));
    EXPECT_EQ(at(image, 75, 25), QColor(Qt::blue));
    EXPECT_EQ(at(image, 75, 75), QColor(Qt::blue));
}

namespace {

// Greyscale at 200 pixels wide, on white: small rendering differences (antialiasing, hinting)
// average out, while a missing shape, wrong colour or misplaced text does not.
QImage coarse(const QImage& image) {
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    p.end();
    return flat.scaledToWidth(200, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_Grayscale8);
}

struct Difference {
    double mean = 0;      // mean absolute difference, 0..255
    double differing = 0; // fraction of pixels more than 64 apart
};

Difference compare(const QImage& a, const QImage& b) {
    const QImage ca = coarse(a), cb = coarse(b);
    Difference d;
    const int w = std::min(ca.width(), cb.width()), h = std::min(ca.height(), cb.height());
    long sum = 0, count = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int diff = std::abs(int(ca.constScanLine(y)[x]) - int(cb.constScanLine(y)[x]));
            sum += diff;
            count += diff > 64;
        }
    d.mean = double(sum) / (w * h);
    d.differing = double(count) / (w * h);
    return d;
}

std::vector<std::uint8_t> readFixture(const QString& name) {
    QFile file(kvz::testing::fixture(QStringLiteral("wmf/") + name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

} // namespace

// Real pictures from an office suite against that suite's own rendering of the same drawing.
TEST(WmfFixtures, MatchOfficeSuiteRendering) {
    for (const QString& name : {QStringLiteral("question"), QStringLiteral("answers")}) {
        const std::vector<std::uint8_t> wmfBytes = readFixture(name + QStringLiteral(".wmf"));
        const QImage reference(
            kvz::testing::fixture(QStringLiteral("wmf/") + name + QStringLiteral(".png")));
        ASSERT_FALSE(wmfBytes.empty()) << name.toStdString();
        ASSERT_FALSE(reference.isNull()) << name.toStdString();
        bool ok = false;
        const QImage ours = render(wmfBytes, reference.size(), &ok);
        EXPECT_TRUE(ok);
        ours.save(kvz::testing::binaryDir() + QStringLiteral("/wmf-") + name +
                  QStringLiteral(".png"));
        const Difference d = compare(ours, reference);
        // Measured about 1 on the mean and 0.1% differing; antialiasing and glyph hinting
        // differ a little, while a lost shape or a line of wrong text costs several times this.
        EXPECT_LT(d.mean, 3.0) << name.toStdString();
        EXPECT_LT(d.differing, 0.01) << name.toStdString();
        // The same picture without its placeable header: the frame then comes from the window
        // records, or from an OLE picture header's extent (HIMETRIC) beside them.
        const std::vector<std::uint8_t> bare(wmfBytes.begin() + 22, wmfBytes.end());
        for (const auto& pict :
             {std::optional<wmf::MetafilePict>(),
              std::optional<wmf::MetafilePict>(wmf::MetafilePict{8, 16000, 10000})}) {
            QImage image(reference.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::white);
            QPainter painter(&image);
            EXPECT_TRUE(wmf::play(bare, painter, QRectF(image.rect()), pict));
            painter.end();
            EXPECT_LT(compare(image, reference).mean, 3.0) << name.toStdString();
        }
        // The measure does see a picture that is not there.
        QImage blank(reference.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        EXPECT_GT(compare(blank, reference).mean, 3.0) << name.toStdString();
        std::cout << name.toStdString() << ": mean " << d.mean << ", differing " << d.differing
                  << "\n";
    }
}

TEST(WmfState, ClippingFollowsTheRecordsAndTheStateStack) {
    struct Case {
        const char* name;
        WmfBuilder builder;
        std::vector<std::pair<QPoint, bool>> red; // point, whether it is painted
    };
    const auto start = [] {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).solidBrush(kRed).select(0).nullPen().select(1);
        return b;
    };
    std::vector<Case> cases;
    {
        WmfBuilder b = start();
        b.rec(0x0416, {50, 50, 0, 0}).rectangle(0, 0, 100, 100); // intersect: top-left quarter
        cases.push_back({"intersect", b, {{{25, 25}, true}, {{75, 75}, false}}});
    }
    {
        WmfBuilder b = start();
        b.rec(0x0415, {50, 50, 0, 0}).rectangle(0, 0, 100, 100); // exclude it
        cases.push_back({"exclude", b, {{{25, 25}, false}, {{75, 75}, true}}});
    }
    {
        WmfBuilder b = start();
        b.saveDc().rec(0x0416, {50, 50, 0, 0}).restoreDc(-1).rectangle(0, 0, 100, 100);
        cases.push_back({"restored", b, {{{25, 25}, true}, {{75, 75}, true}}});
    }
    {
        WmfBuilder b = start();
        b.rec(0x0416, {50, 50, 0, 0}).rec(0x012C, {0}).rectangle(0, 0, 100, 100);
        cases.push_back({"null region resets", b, {{{75, 75}, true}}});
    }
    {
        // A region object (slot 2) selected as the clip: the right half.
        WmfBuilder b = start();
        b.rec(0x06FF, {0, 6, 0, 0, 0, 0, 0, 50, 0, 100, 100});
        b.rec(0x012C, {2}).rectangle(0, 0, 100, 100);
        cases.push_back({"region", b, {{{25, 50}, false}, {{75, 50}, true}}});
    }
    for (const Case& c : cases) {
        const QImage image = render(c.builder.bytes());
        for (const auto& [point, painted] : c.red)
            EXPECT_EQ(at(image, point.x(), point.y()) == QColor(Qt::red), painted)
                << c.name << " at " << point.x() << "," << point.y();
    }
}

namespace {

// A STRETCHDIB record of a 2 x 2 24-bit bottom-up DIB: bottom row red, green; top row blue,
// white; stretched over the 100 x 100 frame.
std::vector<std::uint8_t> stretchDib(std::uint32_t rop, bool topDown = false) {
    std::vector<std::uint8_t> p;
    WmfBuilder::put32(p, rop);
    WmfBuilder::put16(p, 0);
    for (int v : {2, 2, 0, 0, 100, 100, 0, 0})
        WmfBuilder::put16(p, std::uint16_t(v));
    WmfBuilder::put32(p, 40);
    WmfBuilder::put32(p, 2);
    WmfBuilder::put32(p, topDown ? std::uint32_t(-2) : 2u);
    WmfBuilder::put16(p, 1);
    WmfBuilder::put16(p, 24);
    for (int i = 0; i < 6; ++i)
        WmfBuilder::put32(p, 0);
    // Rows of 6 bytes padded to 8, blue-green-red.
    const std::uint8_t rows[2][8] = {{0, 0, 255, 0, 255, 0, 0, 0},
                                     {255, 0, 0, 255, 255, 255, 0, 0}};
    for (const auto& row : rows)
        p.insert(p.end(), row, row + 8);
    return p;
}

} // namespace

TEST(WmfBitmaps, StretchDibOrientationAndRasterOperations) {
    WmfBuilder b;
    b.placeable(0, 0, 100, 100).raw(0x0F43, stretchDib(0x00CC0020));
    QImage image = render(b.bytes());
    EXPECT_EQ(at(image, 10, 90), QColor(Qt::red));
    EXPECT_EQ(at(image, 90, 90), QColor(Qt::green));
    EXPECT_EQ(at(image, 10, 10), QColor(Qt::blue));
    EXPECT_EQ(at(image, 90, 10), QColor(Qt::white));

    WmfBuilder topDown;
    topDown.placeable(0, 0, 100, 100).raw(0x0F43, stretchDib(0x00CC0020, true));
    EXPECT_EQ(at(render(topDown.bytes()), 10, 10), QColor(Qt::red));

    // SRCAND over black leaves black; BLACKNESS ignores the bits.
    WmfBuilder masked;
    masked.placeable(0, 0, 100, 100).solidBrush(0).select(0).rectangle(0, 0, 100, 50);
    masked.raw(0x0F43, stretchDib(0x008800C6));
    image = render(masked.bytes());
    EXPECT_EQ(at(image, 90, 10), QColor(Qt::black));
    EXPECT_EQ(at(image, 10, 90), QColor(Qt::red));
    WmfBuilder black;
    black.placeable(0, 0, 100, 100).raw(0x0F43, stretchDib(0x00000042));
    EXPECT_EQ(at(render(black.bytes()), 90, 10), QColor(Qt::black));
}

TEST(WmfState, RegionsFillAndFrame) {
    // Slot 0 a red brush, slot 1 the region (20,20)-(80,80); then fill, or frame 10 units wide.
    const auto start = [] {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).solidBrush(kRed);
        b.rec(0x06FF, {0, 6, 0, 0, 0, 0, 0, 20, 20, 80, 80});
        return b;
    };
    WmfBuilder filled = start();
    filled.rec(0x0228, {1, 0});
    QImage image = render(filled.bytes());
    EXPECT_EQ(at(image, 50, 50), QColor(Qt::red));
    EXPECT_EQ(at(image, 10, 10), QColor(Qt::white));

    WmfBuilder framed = start();
    framed.rec(0x0429, {1, 0, 10, 10});
    image = render(framed.bytes());
    EXPECT_EQ(at(image, 25, 50), QColor(Qt::red));
    EXPECT_EQ(at(image, 50, 75), QColor(Qt::red));
    EXPECT_EQ(at(image, 50, 50), QColor(Qt::white));
    EXPECT_EQ(at(image, 10, 50), QColor(Qt::white));
}

namespace {

// The colours found inside (10,10)-(90,90) of a picture.
std::set<QRgb> coloursInside(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 10; y < 90; ++y)
        for (int x = 10; x < 90; ++x)
            colours.insert(image.pixel(x, y) | 0xFF000000u);
    return colours;
}

} // namespace

TEST(WmfState, BrushStyles) {
    const auto fill = [](const std::function<void(WmfBuilder&)>& brush, int bkMode) {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).nullPen().select(0).bkMode(bkMode);
        b.rec(0x0201, {0x00FF, 0}); // background colour: red 0xFF, green 0, blue 0
        brush(b);
        b.select(1).rectangle(0, 0, 100, 100);
        return coloursInside(render(b.bytes()));
    };
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    // Hatches: blue lines over the background colour when opaque, over the page when not.
    const auto hatch = [](WmfBuilder& b) { b.brush(2, kBlue, 4); };
    std::set<QRgb> c = fill(hatch, 2);
    EXPECT_TRUE(c.count(blue) && c.count(red) && !c.count(white));
    c = fill(hatch, 1);
    EXPECT_TRUE(c.count(blue) && c.count(white) && !c.count(red));
    // A null brush leaves the page; a DIB pattern brush tiles its bitmap.
    EXPECT_EQ(fill([](WmfBuilder& b) { b.brush(1, kBlue, 0); }, 2), std::set<QRgb>{white});
    c = fill(
        [](WmfBuilder& b) {
            // Style BS_DIBPATTERN, RGB colours, a 2 x 1 DIB: green, red.
            std::vector<std::uint8_t> p;
            WmfBuilder::put16(p, 5);
            WmfBuilder::put16(p, 0);
            WmfBuilder::put32(p, 40);
            WmfBuilder::put32(p, 2);
            WmfBuilder::put32(p, 1);
            WmfBuilder::put16(p, 1);
            WmfBuilder::put16(p, 24);
            for (int i = 0; i < 6; ++i)
                WmfBuilder::put32(p, 0);
            for (int v : {0, 255, 0, 0, 0, 255, 0, 0}) // blue-green-red twice, padding
                p.push_back(std::uint8_t(v));
            b.raw(0x0142, p);
        },
        2);
    EXPECT_TRUE(c.count(qRgb(0, 255, 0)) && c.count(red) && !c.count(white));
}

TEST(WmfShapes, ArcsPiesChordsRunCounterclockwise) {
    // Ellipse (0,0)-(100,100) from 3 o'clock to 12 o'clock: the top-right quarter.
    const auto draw = [](int function) {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).solidBrush(kRed).select(0).pen(0, 3, 0x0000FF).select(1);
        b.rec(function, {0, 50, 50, 100, 100, 100, 0, 0});
        return render(b.bytes());
    };
    const QImage pie = draw(0x081A), chord = draw(0x0830), arc = draw(0x0817);
    EXPECT_EQ(at(pie, 70, 30), QColor(Qt::red));
    EXPECT_EQ(at(pie, 30, 70), QColor(Qt::white));
    EXPECT_EQ(at(pie, 30, 30), QColor(Qt::white));
    EXPECT_EQ(at(chord, 85, 20), QColor(Qt::red));
    EXPECT_EQ(at(chord, 60, 40), QColor(Qt::white)); // the centre side of the chord
    EXPECT_EQ(at(arc, 85, 20), QColor(Qt::white));   // an arc is not filled
    // The blue outline passes 45 degrees (near 85,15), not 225 degrees (near 15,85).
    const auto blueNear = [&](int cx, int cy) {
        for (int y = cy - 4; y <= cy + 4; ++y)
            for (int x = cx - 4; x <= cx + 4; ++x)
                if (at(arc, x, y).blue() > 200 && at(arc, x, y).red() < 100)
                    return true;
        return false;
    };
    EXPECT_TRUE(blueNear(85, 15));
    EXPECT_FALSE(blueNear(15, 85));
}

TEST(WmfShapes, Rop2Modes) {
    struct Case {
        int rop2;
        QColor expected; // a red rectangle drawn over black
    };
    const std::vector<Case> cases = {
        {13, Qt::red},   // R2_COPYPEN
        {11, Qt::black}, // R2_NOP
        {16, Qt::white}, // R2_WHITE
        {1, Qt::black},  // R2_BLACK
        {6, Qt::white},  // R2_NOT
        {15, Qt::red},   // R2_MERGEPEN: red | black
    };
    for (const Case& c : cases) {
        WmfBuilder b;
        b.placeable(0, 0, 100, 100).nullPen().select(0).solidBrush(0).select(1);
        b.rectangle(0, 0, 100, 100).solidBrush(kRed).select(2).rec(0x0104, {c.rop2});
        b.rectangle(20, 20, 80, 80);
        EXPECT_EQ(at(render(b.bytes()), 50, 50), c.expected) << c.rop2;
    }
}

TEST(WmfMapping, OlePictureHeaderWithFixedMappingMode) {
    // No placeable header and no window records: an OLE header saying HIMETRIC, 20 x 10 mm.
    // Logical (0,0) is the top-left corner and y grows upwards.
    WmfBuilder b;
    b.solidBrush(kRed).select(0).nullPen().select(1).rectangle(0, 0, 1000, -500);
    const wmf::MetafilePict pict{3, 2000, 1000};
    const auto info = wmf::inspect(b.bytes(), pict);
    ASSERT_TRUE(info && info->sizeMm);
    EXPECT_NEAR(info->sizeMm->width(), 20.0, 1e-9);
    EXPECT_NEAR(info->sizeMm->height(), 10.0, 1e-9);
    EXPECT_EQ(info->mapMode, 3);

    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    EXPECT_TRUE(wmf::play(b.bytes(), painter, QRectF(0, 0, 100, 100), pict));
    painter.end();
    EXPECT_EQ(at(image, 25, 25), QColor(Qt::red));
    EXPECT_EQ(at(image, 75, 25), QColor(Qt::white));
    EXPECT_EQ(at(image, 25, 75), QColor(Qt::white));
}

TEST(WmfBitmaps, PaletteIndexedColourTable) {
    // A palette (red, blue) selected; a 2 x 1 one-bit DIB whose colour table holds palette
    // indices 1 and 0 (DIB_PAL_COLORS): pixel 0 is blue, pixel 1 red.
    WmfBuilder b;
    b.placeable(0, 0, 100, 100).rec(0x00F7, {0x0300, 2, 0x00FF, 0, 0, 0x00FF}).rec(0x0234, {0});
    std::vector<std::uint8_t> p;
    WmfBuilder::put32(p, 0x00CC0020);
    WmfBuilder::put16(p, 1); // DIB_PAL_COLORS
    for (int v : {1, 2, 0, 0, 100, 100, 0, 0})
        WmfBuilder::put16(p, std::uint16_t(v));
    WmfBuilder::put32(p, 40);
    WmfBuilder::put32(p, 2);
    WmfBuilder::put32(p, 1);
    WmfBuilder::put16(p, 1);
    WmfBuilder::put16(p, 1);
    for (int i = 0; i < 6; ++i)
        WmfBuilder::put32(p, 0);
    for (int v : {1, 0, 0, 0, 0x40, 0, 0, 0}) // two 16-bit indices, then one padded row
        p.push_back(std::uint8_t(v));
    b.raw(0x0F43, p);
    const QImage image = render(b.bytes());
    EXPECT_EQ(at(image, 10, 50), QColor(Qt::blue));
    EXPECT_EQ(at(image, 90, 50), QColor(Qt::red));
}

TEST(WmfBitmaps, DibStretchBltWithAndWithoutBitmap) {
    // The DIB of stretchDib (bottom row red, green; top row blue, white) through DIBSTRETCHBLT,
    // whose source rectangle counts from the top.
    const std::vector<std::uint8_t> sd = stretchDib(0x00CC0020);
    std::vector<std::uint8_t> p;
    WmfBuilder::put32(p, 0x00CC0020);
    for (int v : {2, 2, 0, 0, 100, 100, 0, 0})
        WmfBuilder::put16(p, std::uint16_t(v));
    p.insert(p.end(), sd.begin() + 22, sd.end()); // the DIB after STRETCHDIB's 11 words
    WmfBuilder b;
    b.placeable(0, 0, 100, 100).raw(0x0B41, p);
    const QImage image = render(b.bytes());
    EXPECT_EQ(at(image, 10, 90), QColor(Qt::red));
    EXPECT_EQ(at(image, 10, 10), QColor(Qt::blue));

    // Without a bitmap it paints the brush (PATCOPY) over the target rectangle only.
    WmfBuilder fill;
    fill.placeable(0, 0, 100, 100).solidBrush(kBlue).select(0);
    fill.rec(0x0B41, {0x0021, 0x00F0, 0, 99, 99, 99, 99, 50, 50, 0, 0});
    const QImage filled = render(fill.bytes());
    EXPECT_EQ(at(filled, 25, 25), QColor(Qt::blue));
    EXPECT_EQ(at(filled, 75, 75), QColor(Qt::white));
}
