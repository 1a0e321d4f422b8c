#include "platform/docview/PieceWriter.h"
#include "PieceBuilders.h"
#include "platform/docview/DibDecoder.h"
#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceReader.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kvz::docview {
namespace {

using namespace testing;

class PieceWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    ReadResult readBack(const PieceResult& piece) {
        EXPECT_TRUE(piece.ok()) << piece.error.toStdString();
        return readPiece(bytesOf(piece.piece));
    }
};

QImage sampleImage() {
    QImage img(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 6, 200));
    img.setDotsPerMeterX(5906); // 150 dpi
    img.setDotsPerMeterY(5906);
    return img;
}

TEST_F(PieceWriterTest, PicturesBecomeStaticDibsWithTheSamePixels) {
    const QImage img = sampleImage();
    QByteArray png, bmp;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "PNG");
    }
    {
        QBuffer b(&bmp);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "BMP");
    }
    for (const QString& path :
         {write(QStringLiteral("p.png"), png), write(QStringLiteral("p.BMP"), bmp)}) {
        const ReadResult r = readBack(pieceFromPageFile(path));
        ASSERT_TRUE(r.picture.has_value()) << r.error.toStdString();
        ASSERT_EQ(r.picture->kind, PictureKind::Dib) << path.toStdString();
        const DibResult dib = decodeDib(bytesOf(r.picture->data));
        ASSERT_TRUE(dib.dib.has_value());
        EXPECT_EQ(dib.dib->image.convertToFormat(QImage::Format_RGB32), img) << path.toStdString();
        PageRenderer renderer;
        QString error;
        ASSERT_TRUE(renderer.loadPiece(bytesOf(pieceFromPageFile(path).piece), error));
        // 60 pixels at 150 dpi are 10.16 mm.
        EXPECT_NEAR(renderer.extentMm().width(), 10.16, 0.05);
    }
    // JPEG is lossy: only the size and the rough colour survive.
    QByteArray jpg;
    {
        QBuffer b(&jpg);
        b.open(QIODevice::WriteOnly);
        img.save(&b, "JPEG", 95);
    }
    const ReadResult r = readBack(pieceFromPageFile(write(QStringLiteral("p.jpeg"), jpg)));
    ASSERT_TRUE(r.picture && r.picture->kind == PictureKind::Dib);
    EXPECT_EQ(decodeDib(bytesOf(r.picture->data)).dib->image.size(), img.size());
}

// A typed page keeps the text it was typed as beside its picture; the picture reads as before,
// and neither a page without text nor a broken piece gives any.
TEST_F(PieceWriterTest, TypedTextTravelsBesideThePicture) {
    const QImage img = sampleImage();
    const QByteArray html = QStringLiteral("<p><b>Расставьте</b> по порядку</p>").toUtf8();
    const PieceResult plain = pieceFromImage(img, QStringLiteral("plain"));
    const PieceResult typed = pieceFromImage(img, QStringLiteral("typed"), html);
    ASSERT_TRUE(plain.ok() && typed.ok());
    EXPECT_EQ(typedTextOfPiece(bytesOf(typed.piece)), html);

    const ReadResult withText = readBack(typed);
    const ReadResult without = readBack(plain);
    ASSERT_TRUE(withText.picture && without.picture) << withText.error.toStdString();
    EXPECT_EQ(withText.picture->kind, PictureKind::Dib);
    EXPECT_EQ(withText.picture->data, without.picture->data);

    const QByteArray broken = typed.piece.left(typed.piece.size() / 2);
    for (const QByteArray& none : {plain.piece, broken, QByteArray("BDOC"), QByteArray()})
        EXPECT_FALSE(typedTextOfPiece(bytesOf(none)).has_value()) << none.size();
}

TEST_F(PieceWriterTest, HtmlPagesShowPicturesBesideThem) {
    QImage square(150, 150, QImage::Format_RGB32); // an inch at 150 dpi
    square.fill(Qt::black);
    ASSERT_TRUE(square.save(dir.filePath(QStringLiteral("sq.png"))));
    const QString html =
        write(QStringLiteral("p.html"), QByteArray("<p>Рисунок:</p><img src=\"sq.png\">"));
    const ReadResult r = readBack(pieceFromPageFile(html));
    ASSERT_TRUE(r.picture && r.picture->kind == PictureKind::Dib);
    const QImage page = decodeDib(bytesOf(r.picture->data)).dib->image;
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 150 * 150 / 2) << "the picture is on the page";
}

TEST_F(PieceWriterTest, LargePhotosAreShrunkKeepingTheirPrintedSize) {
    QImage photo(4000, 3000, QImage::Format_RGB32);
    photo.fill(qRgb(10, 200, 30));
    photo.setDotsPerMeterX(11811); // 300 dpi: 338.7 x 254 mm
    photo.setDotsPerMeterY(11811);
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(photo.save(path, "JPEG", 80));
    const PieceResult piece = pieceFromPageFile(path);
    const ReadResult r = readBack(piece);
    ASSERT_TRUE(r.picture && r.picture->kind == PictureKind::Dib);
    const DibResult dib = decodeDib(bytesOf(r.picture->data));
    ASSERT_TRUE(dib.dib.has_value());
    EXPECT_EQ(dib.dib->image.size(), QSize(2000, 1500));
    PageRenderer renderer;
    QString error;
    ASSERT_TRUE(renderer.loadPiece(bytesOf(piece.piece), error));
    EXPECT_NEAR(renderer.extentMm().width(), 338.7, 0.5);
    EXPECT_NEAR(renderer.extentMm().height(), 254.0, 0.5);
}

TEST_F(PieceWriterTest, TextAndHtmlPagesAreTypesetBlackAndWhite) {
    const QString txt = write(QStringLiteral("q.txt"),
                              QStringLiteral("Сколько будет 2+2?\n\nА) 3\nБ) 4\n").toUtf8());
    const QString html =
        write(QStringLiteral("q.html"),
              QStringLiteral("<h1>Вопрос</h1><p>Текст <b>жирный</b></p>").toUtf8());
    for (const QString& path : {txt, html}) {
        const PieceResult piece = pieceFromPageFile(path);
        const ReadResult r = readBack(piece);
        ASSERT_TRUE(r.picture && r.picture->kind == PictureKind::Dib) << path.toStdString();
        const DibResult dib = decodeDib(bytesOf(r.picture->data));
        ASSERT_TRUE(dib.dib.has_value());
        const QImage& page = dib.dib->image;
        EXPECT_EQ(page.width(), 1240); // A4 width at 150 dpi
        EXPECT_LT(page.height(), 750); // trimmed to the few lines it holds
        EXPECT_TRUE(page.allGray());
        int dark = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                dark += qGray(page.pixel(x, y)) < 128;
        EXPECT_GT(dark, 200) << "text is drawn";
        EXPECT_LT(piece.piece.size(), 60000);
    }
    // A full page of text stays well within what a test archive wants per page.
    QString full;
    for (int i = 0; i < 45; ++i)
        full += QStringLiteral("Строка %1: съешь же ещё этих мягких французских булок.\n").arg(i);
    const PieceResult big = pieceFromPageFile(write(QStringLiteral("full.txt"), full.toUtf8()));
    ASSERT_TRUE(big.ok());
    EXPECT_LT(big.piece.size(), 300000);
}

TEST_F(PieceWriterTest, MetafilesBecomeStaticMetafiles) {
    const ReadResult emf =
        readBack(pieceFromPageFile(kvz::testing::fixture(QStringLiteral("docview/drawing.emf"))));
    ASSERT_TRUE(emf.picture.has_value());
    EXPECT_EQ(emf.picture->kind, PictureKind::Emf);
    ASSERT_TRUE(emf.picture->extentHimetric.has_value());
    EXPECT_NEAR(emf.picture->extentHimetric->width(), 12000, 5);
    EXPECT_EQ(emf.picture->data, readFixture(QStringLiteral("drawing.emf")));

    const ReadResult wmf =
        readBack(pieceFromPageFile(kvz::testing::fixture(QStringLiteral("docview/drawing.wmf"))));
    ASSERT_TRUE(wmf.picture.has_value());
    EXPECT_EQ(wmf.picture->kind, PictureKind::Wmf);
    // The placeable header's extent moved into the presentation header.
    ASSERT_TRUE(wmf.picture->extentHimetric.has_value());
    EXPECT_NEAR(wmf.picture->extentHimetric->width(), 12000, 30);
    EXPECT_NEAR(wmf.picture->extentHimetric->height(), 9000, 30);
    EXPECT_EQ(wmf.picture->data, readFixture(QStringLiteral("drawing.wmf")).mid(22));
}

TEST_F(PieceWriterTest, BadPageFilesGiveOneClearLine) {
    struct Case {
        const char* name;
        QString path;
    };
    const Case cases[] = {
        {"missing", dir.filePath(QStringLiteral("nope.png"))},
        {"garbage png", write(QStringLiteral("g.png"), QByteArray(100, 'x'))},
        {"garbage bmp", write(QStringLiteral("g.bmp"), QByteArray("BM") + QByteArray(100, '\xFF'))},
        {"garbage emf", write(QStringLiteral("g.emf"), QByteArray(200, '\1'))},
        {"cut emf",
         write(QStringLiteral("c.emf"), readFixture(QStringLiteral("drawing.emf")).left(3000))},
        {"unknown kind", write(QStringLiteral("x.doc"), QByteArray("abc"))},
        {"text beyond a page", write(QStringLiteral("long.txt"), QByteArray(300 << 10, 'a'))},
    };
    for (const Case& c : cases) {
        const PieceResult r = pieceFromPageFile(c.path);
        EXPECT_FALSE(r.ok()) << c.name;
        EXPECT_TRUE(r.piece.isEmpty()) << c.name;
        EXPECT_TRUE(r.error.startsWith(c.path)) << c.name << ": " << r.error.toStdString();
        EXPECT_FALSE(r.error.contains(QLatin1Char('\n'))) << c.name;
    }
}

// Another OLE implementation reads the compound files we write.
TEST_F(PieceWriterTest, OlefileListsOurStreams) {
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "/usr/bin/python3 is missing";
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import olefile")});
    probe.waitForFinished();
    if (probe.exitCode() != 0)
        GTEST_SKIP() << "python3-olefile is missing";

    struct Case {
        QString page;
        const char* clsid;
        int contentsSize; // -1: any
    };
    const QString png = dir.filePath(QStringLiteral("s.png"));
    sampleImage().save(png);
    const Case cases[] = {
        {png, "00000316-0000-0000-C000-000000000046", -1},
        {kvz::testing::fixture(QStringLiteral("docview/drawing.emf")),
         "00000319-0000-0000-C000-000000000046",
         int(readFixture(QStringLiteral("drawing.emf")).size())},
        {kvz::testing::fixture(QStringLiteral("docview/drawing.wmf")),
         "00000315-0000-0000-C000-000000000046", -1},
    };
    const QString script = QStringLiteral("import olefile,sys\n"
                                          "d=open(sys.argv[1],'rb').read()[12:]\n"
                                          "o=olefile.OleFileIO(d)\n"
                                          "print(o.root.clsid)\n"
                                          "print(sorted('/'.join(e) for e in o.listdir()))\n"
                                          "print(len(o.openstream('CONTENTS').read()))\n");
    for (const Case& c : cases) {
        const PieceResult piece = pieceFromPageFile(c.page);
        ASSERT_TRUE(piece.ok()) << piece.error.toStdString();
        const QString path = write(QStringLiteral("piece.bin"), piece.piece);
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
        ASSERT_TRUE(py.waitForFinished(30000));
        const QStringList lines =
            QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'));
        ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[0], QLatin1String(c.clsid));
        EXPECT_EQ(lines[1], QLatin1String("['\\x01CompObj', '\\x01Ole', 'CONTENTS']"));
        if (c.contentsSize >= 0) {
            EXPECT_EQ(lines[2].toInt(), c.contentsSize);
        }
    }
    // A typed page: the text is one more stream of the same file, read back as it was written.
    const QByteArray html = QStringLiteral("<p>Привет</p>").toUtf8();
    const PieceResult typed = pieceFromImage(sampleImage(), QStringLiteral("typed"), html);
    ASSERT_TRUE(typed.ok());
    const QString path = write(QStringLiteral("typed.bin"), typed.piece);
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import olefile,sys\n"
                             "o=olefile.OleFileIO(open(sys.argv[1],'rb').read()[12:])\n"
                             "print(sorted('/'.join(e) for e in o.listdir()))\n"
                             "sys.stdout.buffer.write(o.openstream('KvizorText').read())\n"),
              path});
    ASSERT_TRUE(py.waitForFinished(30000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    const QByteArray out = py.readAllStandardOutput();
    EXPECT_EQ(out, QByteArray("['\\x01CompObj', '\\x01Ole', 'CONTENTS', 'KvizorText']\n") + html);
}

} // namespace
} // namespace kvz::docview
