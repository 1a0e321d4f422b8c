#include "PieceBuilders.h"
#include "platform/docview/EmfRenderer.h"
#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceWriter.h"

#include <QImage>
#include <QPainter>
#include <QtEndian>
#include <gtest/gtest.h>

namespace kvz::docview {
namespace {

using namespace testing;

// Mean absolute difference of two pictures, both scaled to the same small grey image: coarse
// enough to forgive anti-aliasing and font hinting, fine enough to see a missing shape.
double meanDifference(const QImage& a, const QImage& b, QSize at) {
    auto grey = [at](const QImage& img) {
        QImage flat(img.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, img);
        return flat.scaled(at, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_Grayscale8);
    };
    const QImage ga = grey(a), gb = grey(b);
    double sum = 0;
    for (int y = 0; y < at.height(); ++y)
        for (int x = 0; x < at.width(); ++x)
            sum += std::abs(int(ga.pixelColor(x, y).red()) - int(gb.pixelColor(x, y).red()));
    return sum / (at.width() * at.height());
}

// The same drawing saved by LibreOffice as EMF and as WMF, each made into a piece and drawn by
// the viewer's renderer, against LibreOffice's own PNG of it.
TEST(Emf, MetafilesLookLikeLibreOfficesOwnRendering) {
    const QImage reference(kvz::testing::fixture(QStringLiteral("docview/drawing.png")));
    ASSERT_FALSE(reference.isNull());
    for (const char* name : {"drawing.emf", "drawing.wmf"}) {
        const PieceResult piece = pieceFromPageFile(
            kvz::testing::fixture(QStringLiteral("docview/") + QLatin1String(name)));
        ASSERT_TRUE(piece.ok()) << piece.error.toStdString();
        PageRenderer renderer;
        QString error;
        ASSERT_TRUE(renderer.loadPiece(bytesOf(piece.piece), error)) << error.toStdString();
        ASSERT_TRUE(renderer.hasPicture()) << name << ": " << renderer.pictureNote().toStdString();
        // The page keeps the drawing's 12 x 9 cm.
        EXPECT_NEAR(renderer.extentMm().width(), 120, 0.5) << name;
        EXPECT_NEAR(renderer.extentMm().height(), 90, 0.5) << name;
        const QImage ours = renderer.render(reference.size());
        const QSize at(160, 120);
        // Identical drawings differ by a few grey levels here (anti-aliasing, hinting); a
        // missing shape or line of text costs well over 8, a blank page far more.
        const double diff = meanDifference(ours, reference, at);
        EXPECT_LT(diff, 8.0) << name;
        QImage blank(reference.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        EXPECT_GT(meanDifference(blank, reference, at), 3 * diff) << name;
    }
}

TEST(Emf, RecordChainIsCheckedBeforeConversion) {
    const QByteArray emf = readFixture(QStringLiteral("drawing.emf"));
    ASSERT_TRUE(checkEmf(bytesOf(emf)).isEmpty()) << checkEmf(bytesOf(emf)).toStdString();
    const std::uint32_t firstRecord = qFromLittleEndian<std::uint32_t>(emf.constData() + 4);
    struct Case {
        const char* name;
        int offset;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"header type", 0, 2},
        {"header size too small", 4, 40},
        {"header size past the end", 4, 0x7FFFFFFC},
        {"total bytes past the end", 48, std::uint32_t(emf.size() + 4)},
        {"record size zero", int(firstRecord) + 4, 0},
        {"record size unaligned", int(firstRecord) + 4, 10},
        {"record size past the end", int(firstRecord) + 4, 0x10000000},
        {"record type zero", int(firstRecord), 0},
        {"second header", int(firstRecord), 1},
    };
    for (const Case& c : cases) {
        QByteArray bad = emf;
        qToLittleEndian(c.value, bad.data() + c.offset);
        EXPECT_FALSE(checkEmf(bytesOf(bad)).isEmpty()) << c.name;
        QString error;
        EXPECT_EQ(EmfPicture::load(bytesOf(bad), error), nullptr) << c.name;
    }
    // Cut before the end record.
    QByteArray cut = emf.left(emf.size() - 20);
    qToLittleEndian(std::uint32_t(cut.size()), cut.data() + 48);
    EXPECT_FALSE(checkEmf(bytesOf(cut)).isEmpty());
    // Bytes after the end record are not part of it and do no harm.
    QString error;
    EXPECT_NE(EmfPicture::load(bytesOf(emf + QByteArray(64, '\xAB')), error), nullptr);
}

TEST(Emf, BrokenEmfPlusRecordsAreLeftOutNotTrusted) {
    QByteArray emf = readFixture(QStringLiteral("drawing.emf"));
    ASSERT_TRUE(emfPlusSound(bytesOf(emf)));
    // Find the first EMF+ comment and make its first record claim more than the comment holds.
    int at = -1;
    for (int pos = 0; pos + 16 <= emf.size();) {
        const auto type = qFromLittleEndian<std::uint32_t>(emf.constData() + pos);
        const auto size = qFromLittleEndian<std::uint32_t>(emf.constData() + pos + 4);
        if (type == 70 && emf.mid(pos + 12, 4) == QByteArray("EMF+")) {
            at = pos;
            break;
        }
        if (size < 8)
            break;
        pos += int(size);
    }
    ASSERT_GE(at, 0);
    qToLittleEndian(std::uint32_t(0x1000), emf.data() + at + 16 + 4);
    EXPECT_TRUE(checkEmf(bytesOf(emf)).isEmpty());
    EXPECT_FALSE(emfPlusSound(bytesOf(emf)));
    // The plain records beside it still draw the picture.
    QString error;
    EXPECT_NE(EmfPicture::load(bytesOf(emf), error), nullptr) << error.toStdString();
}

// Faults of the converter that a picture could reach, each drawn three times over, as the same
// page is drawn again and again in a run (the converter keeps state from one picture to the next):
// - an EMF+ object with no bytes would free the buffer the converter keeps for objects, and a
//   later picture would free it again; its EMF+ records are left out;
// - a header whose description starts at the picture's end is scanned for its end past the
//   picture, or makes the converter give up on the whole picture; the description is never
//   drawn, and the converter is not shown it.
TEST(Emf, ConverterFaultsAreKeptFromIt) {
    QByteArray atEnd = readFixture(QStringLiteral("drawing.emf"));
    ASSERT_GE(atEnd.size(), 88);
    const auto total = qFromLittleEndian<std::uint32_t>(atEnd.constData() + 48);
    qToLittleEndian(std::uint32_t(0), atEnd.data() + 60);
    qToLittleEndian(total, atEnd.data() + 64);
    const struct {
        const char* name;
        QByteArray emf;
        bool emfPlusDrawn;
    } cases[] = {
        {"empty EMF+ object", readFixture(QStringLiteral("emfplus-empty-object.emf")), false},
        {"description at the end", atEnd, true},
        {"description past the end", readFixture(QStringLiteral("description-past-end.emf")),
         false},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.emf.isEmpty()) << c.name;
        EXPECT_EQ(emfPlusSound(bytesOf(c.emf)), c.emfPlusDrawn) << c.name;
        for (int i = 0; i < 3; ++i) {
            QString error;
            const std::unique_ptr<EmfPicture> pic = EmfPicture::load(bytesOf(c.emf), error);
            ASSERT_NE(pic, nullptr) << c.name << ": " << error.toStdString();
            QImage img(64, 48, QImage::Format_ARGB32_Premultiplied);
            QPainter p(&img);
            pic->draw(p, QRectF(0, 0, 64, 48));
        }
    }
}

// Repainting a page already drawn at this size reuses the drawing; a new size draws anew.
TEST(Emf, RenderingIsCachedForTheCurrentSize) {
    const PieceResult piece =
        pieceFromPageFile(kvz::testing::fixture(QStringLiteral("docview/drawing.emf")));
    ASSERT_TRUE(piece.ok());
    PageRenderer renderer;
    QString error;
    ASSERT_TRUE(renderer.loadPiece(bytesOf(piece.piece), error));
    const qint64 first = renderer.render(QSize(300, 200)).cacheKey();
    EXPECT_EQ(renderer.render(QSize(300, 200)).cacheKey(), first);
    EXPECT_NE(renderer.render(QSize(301, 200)).cacheKey(), first);
    EXPECT_EQ(renderer.render(QSize(301, 200)).size(), QSize(301, 200));
}

// A small EMF: header, one monochrome pattern brush made from an 8 x 8 bitmap, end record.
QByteArray monoBrushEmf(std::uint32_t cbBits, std::int32_t height, std::uint32_t offBits) {
    auto put = [](QByteArray& b, int at, std::uint32_t v) { qToLittleEndian(v, b.data() + at); };
    const int bitsSpace = 32; // 8 rows of 4 bytes
    QByteArray brush(80 + bitsSpace, '\0');
    put(brush, 0, 93); // CREATEMONOBRUSH
    put(brush, 4, std::uint32_t(brush.size()));
    put(brush, 8, 1);   // object slot
    put(brush, 16, 32); // offBmi
    put(brush, 20, 48); // cbBmi: header and two colours
    put(brush, 24, offBits);
    put(brush, 28, cbBits);
    put(brush, 32, 40);
    put(brush, 36, 8);
    put(brush, 40, std::uint32_t(height));
    put(brush, 44, 1 | (1 << 16)); // planes, bits per pixel
    put(brush, 72 + 4, 0x00FFFFFF);
    QByteArray eof(20, '\0');
    put(eof, 0, 14);
    put(eof, 4, 20);
    put(eof, 12, 16);
    put(eof, 16, 20);
    QByteArray header(88, '\0');
    put(header, 0, 1);
    put(header, 4, 88);
    put(header, 16, 100); // bounds right, bottom
    put(header, 20, 100);
    put(header, 32, 2000); // frame in 0.01 mm
    put(header, 36, 2000);
    put(header, 40, 0x464D4520);
    put(header, 44, 0x10000);
    put(header, 48, std::uint32_t(88 + brush.size() + eof.size()));
    put(header, 52, 3);
    put(header, 56, 2);
    put(header, 72, 1024);
    put(header, 76, 768);
    put(header, 80, 320);
    put(header, 84, 240);
    return header + brush + eof;
}

// The converter copies a bitmap by what its header claims; a bitmap that claims more than its
// record holds must be refused before it gets there.
TEST(Emf, BitmapsThatClaimMoreThanTheirRecordAreRefused) {
    QString error;
    const QByteArray good = monoBrushEmf(32, 8, 80);
    EXPECT_TRUE(checkEmf(bytesOf(good)).isEmpty()) << checkEmf(bytesOf(good)).toStdString();
    EXPECT_NE(EmfPicture::load(bytesOf(good), error), nullptr) << error.toStdString();
    const struct {
        const char* name;
        QByteArray emf;
    } cases[] = {
        {"fewer pixel bytes than the rows need", monoBrushEmf(16, 8, 80)},
        {"more rows than the bytes hold", monoBrushEmf(32, 1000, 80)},
        {"pixels past the record", monoBrushEmf(64, 8, 80)},
        {"pixel offset past the record", monoBrushEmf(32, 8, 0x7FFFFFF0)},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(checkEmf(bytesOf(c.emf)).isEmpty()) << c.name;
        EXPECT_EQ(EmfPicture::load(bytesOf(c.emf), error), nullptr) << c.name;
    }
}

} // namespace
} // namespace kvz::docview
