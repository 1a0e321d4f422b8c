#include "WmfBuilder.h"
#include "platform/docview/WmfPlayer.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <random>

using kvz::testing::WmfBuilder;

namespace {

bool playOn64(const std::vector<std::uint8_t>& bytes, QImage* out = nullptr) {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const bool ok = kvz::wmf::play(bytes, painter, QRectF(0, 0, 64, 64));
    (void)kvz::wmf::inspect(bytes);
    painter.end();
    if (out)
        *out = image;
    return ok;
}

// A red square over the whole frame, drawn before whatever comes next.
WmfBuilder redFirst() {
    WmfBuilder b;
    b.placeable(0, 0, 100, 100).solidBrush(0xFF0000).select(0).nullPen().select(1);
    b.rectangle(0, 0, 100, 100);
    return b;
}

std::vector<std::uint8_t> dibRecord(std::int32_t width, std::int32_t height, int bits,
                                    std::size_t pixelBytes) {
    std::vector<std::uint8_t> p;
    WmfBuilder::put32(p, 0x00CC0020); // SRCCOPY
    WmfBuilder::put16(p, 0);          // colour usage
    for (int v : {1, 1, 0, 0, 100, 100, 0, 0})
        WmfBuilder::put16(p, std::uint16_t(v));
    WmfBuilder::put32(p, 40);
    WmfBuilder::put32(p, std::uint32_t(width));
    WmfBuilder::put32(p, std::uint32_t(height));
    WmfBuilder::put16(p, 1);
    WmfBuilder::put16(p, std::uint16_t(bits));
    for (int i = 0; i < 6; ++i)
        WmfBuilder::put32(p, 0);
    p.resize(p.size() + pixelBytes, 0x5A);
    return p;
}

} // namespace

// Whatever the bytes say, playing returns, and what came before the damage is drawn.
TEST(WmfHostile, DamagedRecordsStopOrAreSkipped) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"record size 0", redFirst().lying(0, 0x041B, {1, 2, 3, 4}).bytes()});
    cases.push_back({"record size 2", redFirst().lying(2, 0x041B, {1, 2, 3, 4}).bytes()});
    cases.push_back(
        {"record beyond the end", redFirst().lying(0x7FFFFFFF, 0x041B, {1, 2, 3, 4}).bytes()});
    cases.push_back({"no EOF record", redFirst().bytes(false)});
    cases.push_back(
        {"polygon count beyond record", redFirst().rec(0x0324, {65535, 1, 2, 3, 4}).bytes()});
    cases.push_back({"polypolygon counts beyond record",
                     redFirst().rec(0x0538, {3, 60000, 60000, 60000, 1, 2}).bytes()});
    cases.push_back(
        {"polypolygon polygon count beyond record", redFirst().rec(0x0538, {65535, 2}).bytes()});
    cases.push_back(
        {"object indices out of range",
         redFirst().select(65535).remove(65535).remove(7).rec(0x012C, {40000}).bytes()});
    cases.push_back({"window extent zero and scale by zero", redFirst()
                                                                 .windowExt(0, 0)
                                                                 .rec(0x0410, {0, 1, 0, 1})
                                                                 .rec(0x0412, {1, 0, 1, 0})
                                                                 .viewportExt(0, 5)
                                                                 .bytes()});
    cases.push_back(
        {"dib of absurd size",
         redFirst().raw(0x0F43, dibRecord(0x7FFFFFFF, -0x7FFFFFFF - 1, 24, 16)).bytes()});
    cases.push_back(
        {"dib bits missing", redFirst().raw(0x0F43, dibRecord(4000, 4000, 32, 64)).bytes()});
    cases.push_back({"dib header only", redFirst().raw(0x0F43, dibRecord(1, 1, 24, 0)).bytes()});
    cases.push_back(
        {"text longer than record",
         redFirst().rec(0x0521, {30000, 0x4141}).rec(0x0A32, {0, 0, 30000, 6, 1, 2}).bytes()});
    cases.push_back({"truncated font and pen",
                     redFirst().rec(0x02FB, {10}).rec(0x02FA, {}).rec(0x02FC, {1}).bytes()});
    cases.push_back(
        {"region claiming many scans",
         redFirst().rec(0x06FF, {0, 6, 0, 0, 100, 30000, 0, 0, 0, 10, 10, 65535, 1, 2}).bytes()});
    for (const Case& c : cases) {
        QImage image;
        EXPECT_TRUE(playOn64(c.bytes, &image)) << c.name;
        EXPECT_EQ(image.pixelColor(32, 32), QColor(Qt::red)) << c.name;
    }
}

TEST(WmfHostile, DeepSaveDc) {
    {
        // Deep SAVEDC, then restores far beyond what was saved.
        WmfBuilder b = redFirst();
        for (int i = 0; i < 100000; ++i)
            b.saveDc();
        b.restoreDc(-32768).restoreDc(-1).restoreDc(32767);
        EXPECT_TRUE(playOn64(b.bytes()));
    }
}

TEST(WmfHostile, HugeDashedCurves) {
    {
        // Huge dashed curves far beyond the target, at a scale of 32767 pixels per unit.
        WmfBuilder b;
        b.placeable(0, 0, 32767, 32767).windowExt(1, 1).pen(1, 0, 0).select(0);
        for (int i = 0; i < 50; ++i)
            b.ellipse(-32768, -32768, 32767, 32767)
                .rec(0x0817, {1, 2, 3, 4, 32767, 32767, -32768, -32768})
                .rec(0x0325, {4, -32768, -32768, 32767, 32767, -32768, 32767, 32767, -32768});
        EXPECT_TRUE(playOn64(b.bytes()));
    }
}

TEST(WmfHostile, ManyLargePolygons) {
    {
        // Many large polygons: the point budget ends the picture, not the clock.
        WmfBuilder b;
        b.placeable(0, 0, 100, 100);
        std::vector<std::uint8_t> poly;
        WmfBuilder::put16(poly, 16000);
        for (int i = 0; i < 16000; ++i) {
            WmfBuilder::put16(poly, std::uint16_t(i % 100));
            WmfBuilder::put16(poly, std::uint16_t((i * 7) % 100));
        }
        for (int i = 0; i < 400; ++i)
            b.raw(0x0324, poly);
        EXPECT_TRUE(playOn64(b.bytes()));
    }
}

TEST(WmfHostile, HugeTextAndObjects) {
    {
        // A huge font and a long text; many objects past the header's count.
        WmfBuilder b = redFirst();
        b.objects(0);
        for (int i = 0; i < 2000; ++i)
            b.solidBrush(0x00FF00);
        b.font(32767, 204, 450).select(1999).textOut(0, 0, std::string(20000, '\xC0'));
        EXPECT_TRUE(playOn64(b.bytes()));
    }
}

TEST(WmfHostile, NotMetafilesAndNoise) {
    EXPECT_FALSE(playOn64({}));
    EXPECT_FALSE(playOn64({0xD7, 0xCD, 0xC6, 0x9A, 0, 0}));
    std::vector<std::uint8_t> onlyPlaceable = WmfBuilder().placeable(0, 0, 10, 10).bytes();
    onlyPlaceable.resize(22);
    EXPECT_FALSE(playOn64(onlyPlaceable));
    std::vector<std::uint8_t> badHeader = WmfBuilder().bytes();
    badHeader[2] = 7; // header size in words
    EXPECT_FALSE(playOn64(badHeader));

    // Random records after a sound header: every record type with random parameters.
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        WmfBuilder b;
        b.placeable(0, 0, 1000, 1000).objects(int(random() % 8));
        for (int r = 0; r < 40; ++r) {
            std::vector<std::uint8_t> params(random() % 40);
            for (auto& v : params)
                v = std::uint8_t(random());
            static const std::uint16_t functions[] = {
                0x001E, 0x0127, 0x0103, 0x020B, 0x020C, 0x020E, 0x0410, 0x0412, 0x02FA,
                0x02FB, 0x02FC, 0x06FF, 0x00F7, 0x0142, 0x012D, 0x01F0, 0x012C, 0x0415,
                0x0416, 0x0324, 0x0325, 0x0538, 0x041B, 0x0418, 0x061C, 0x0817, 0x081A,
                0x0830, 0x0521, 0x0A32, 0x0F43, 0x0B41, 0x0940, 0x0922, 0x0B23, 0x061D,
                0x0D33, 0x0228, 0x012B, 0x0429, 0x0220, 0x041F, 0x0213, 0x0214, 0x0104};
            b.raw(functions[random() % std::size(functions)], params);
        }
        playOn64(b.bytes());
    }
}
