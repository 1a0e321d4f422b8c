#include "PieceBuilders.h"
#include "platform/docview/DibDecoder.h"
#include "platform/docview/DibWriter.h"

#include <QImage>
#include <gtest/gtest.h>

namespace kvz::docview {
namespace {

using namespace testing;

// Each fixture decodes to the picture its generator wrote beside it (make_dibs.py).
TEST(Dib, DecodesEveryDepthAndLayout) {
    const char* names[] = {
        "bits1",      "bits4",  "bits8",          "bits8_topdown", "bits16",
        "bits16_565", "bits24", "bits24_topdown", "bits32",        "bits32_bitfields",
        "rle8",       "rle4",   "core24",         "core8"};
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        const QByteArray dib = readFixture(n + QStringLiteral(".dib"));
        const QImage expected =
            QImage(kvz::testing::fixture(QStringLiteral("docview/") + n + QStringLiteral(".ppm")))
                .convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(expected.isNull()) << name;
        const DibResult r = decodeDib(bytesOf(dib));
        ASSERT_TRUE(r.dib.has_value()) << name << ": " << r.error.toStdString();
        EXPECT_EQ(r.dib->image.convertToFormat(QImage::Format_RGB32), expected) << name;
    }
}

TEST(Dib, RejectsOrBoundsHostileHeaders) {
    const QByteArray dib = readFixture(QStringLiteral("bits24.dib"));
    struct Case {
        const char* name;
        int offset;
        std::uint32_t value;
        int width; // bytes written
    };
    const Case rejected[] = {
        {"header size 0", 0, 0, 4},
        {"header size 13", 0, 13, 4},
        {"width 0", 4, 0, 4},
        {"negative width", 4, 0xFFFFFFFF, 4},
        {"side beyond the cap", 4, 16385, 4},
        {"tall but within caps", 8, 16000, 4},
        {"bits per pixel 2", 14, 2, 2},
        {"bits per pixel 0", 14, 0, 2},
        {"jpeg compression", 16, 4, 4},
        {"colours used past the end", 32, 0x40000000, 4},
    };
    for (const Case& c : rejected) {
        QByteArray bad = dib;
        if (c.width == 4)
            qToLittleEndian(c.value, bad.data() + c.offset);
        else
            qToLittleEndian(std::uint16_t(c.value), bad.data() + c.offset);
        const DibResult r = decodeDib(bytesOf(bad));
        if (QByteArray(c.name) == "tall but within caps") {
            // A tall picture within the caps decodes; the missing rows stay white.
            ASSERT_TRUE(r.dib.has_value());
            EXPECT_EQ(r.dib->image.height(), 16000);
            EXPECT_EQ(r.dib->image.pixel(0, 0), qRgb(255, 255, 255));
            continue;
        }
        EXPECT_FALSE(r.dib.has_value()) << c.name;
        EXPECT_FALSE(r.error.isEmpty()) << c.name;
    }
    // Both sides within the cap but their product past the pixel budget.
    QByteArray big = dib;
    qToLittleEndian(std::uint32_t(16000), big.data() + 4);
    qToLittleEndian(std::uint32_t(16000), big.data() + 8);
    EXPECT_FALSE(decodeDib(bytesOf(big)).dib.has_value());
}

TEST(Dib, TruncatedBitsAndRunsStopAtTheEnd) {
    for (const char* name : {"bits24", "bits8", "rle8", "rle4", "bits1"}) {
        const QByteArray dib = readFixture(QString::fromLatin1(name) + QStringLiteral(".dib"));
        for (int cut : {1, 5, 17, 40}) {
            const DibResult r = decodeDib(bytesOf(dib.left(dib.size() - cut)));
            // Cut inside the bits: decoded with white where bits are missing; inside the
            // header or colour table: refused. Never more.
            if (r.dib) {
                EXPECT_EQ(r.dib->image.size(), QSize(13, 7)) << name << " cut " << cut;
            }
        }
    }
    // A run-length delta that jumps far outside is ignored.
    QByteArray rle = readFixture(QStringLiteral("rle8.dib"));
    const int bitsAt = 40 + 8 * 4;
    rle.insert(bitsAt, QByteArray("\x00\x02\xFF\xFF", 4));
    const DibResult r = decodeDib(bytesOf(rle));
    ASSERT_TRUE(r.dib.has_value());
}

TEST(Dib, WriterRoundTrips) {
    QImage colour(37, 11, QImage::Format_RGB32);
    for (int y = 0; y < colour.height(); ++y)
        for (int x = 0; x < colour.width(); ++x)
            colour.setPixel(x, y, qRgb(x * 7, y * 23, (x * y) % 256));
    QImage grey(101, 33, QImage::Format_RGB32);
    grey.fill(Qt::white);
    for (int y = 5; y < 20; ++y)
        for (int x = 0; x < 101; ++x)
            grey.setPixel(x, y, x % 3 ? qRgb(x, x, x) : qRgb(0, 0, 0)); // runs and literals
    for (const QImage& img : {colour, grey}) {
        const QByteArray bmp = encodeBmpFile(img);
        const DibResult r = decodeBmpFile(bytesOf(bmp));
        ASSERT_TRUE(r.dib.has_value()) << r.error.toStdString();
        EXPECT_EQ(r.dib->image.convertToFormat(QImage::Format_RGB32), img);
        // And Qt's own BMP reader agrees with what we wrote.
        QImage qt;
        ASSERT_TRUE(qt.loadFromData(bmp, "BMP"));
        EXPECT_EQ(qt.convertToFormat(QImage::Format_RGB32), img);
    }
    // A mostly white grey page is run-length coded: far smaller than its pixels.
    QImage page(800, 1000, QImage::Format_Grayscale8);
    page.fill(255);
    for (int x = 100; x < 700; ++x)
        page.setPixel(x, 500, 0);
    EXPECT_LT(encodeDib(page).size(), 20000);
}

} // namespace
} // namespace kvz::docview
