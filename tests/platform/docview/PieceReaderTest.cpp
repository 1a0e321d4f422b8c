#include "platform/docview/PieceReader.h"
#include "PieceBuilders.h"
#include "platform/docview/DibDecoder.h"
#include "platform/docview/PageRenderer.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace kvz::docview {
namespace {

using namespace testing;

QByteArray header(std::uint32_t sig, std::uint32_t aspect, std::uint32_t size) {
    QByteArray out;
    put32(out, sig);
    put32(out, aspect);
    put32(out, size);
    return out;
}

struct RejectCase {
    const char* name;
    QByteArray piece;
};

TEST(PieceReader, RejectsBrokenPieces) {
    const QByteArray good = pieceWith({{"CONTENTS", readFixture(QStringLiteral("bits24.dib"))}});
    const QByteArray cf = good.mid(12);
    QByteArray truncated = good;
    truncated.chop(100);
    // The root directory entry marked as a stream: libgsf would leak what it had read of it.
    QByteArray streamRoot = cf;
    const qsizetype rootEntry =
        (qsizetype(qFromLittleEndian<quint32>(cf.constData() + 0x30)) + 1) * 512;
    ASSERT_EQ(streamRoot[rootEntry + 66], char(5));
    streamRoot[rootEntry + 66] = char(2);
    QByteArray oddSectors = cf;
    oddSectors[0x1E] = char(7);
    const RejectCase cases[] = {
        {"empty", QByteArray()},
        {"short header", QByteArray("BDOC\1\0\0", 7)},
        {"wrong signature", header(0x434F4441, 1, cf.size()) + cf},
        {"lowercase signature", QByteArray("bdoc") + good.mid(4)},
        {"size beyond the bytes", header(kPieceSignature, 1, cf.size() + 1) + cf},
        {"size far beyond", header(kPieceSignature, 1, 0xFFFFFFF0) + cf},
        {"data size zero", header(kPieceSignature, 1, 0) + cf},
        {"cut short", truncated},
        {"not a compound file", header(kPieceSignature, 1, 1024) + QByteArray(1024, 'x')},
        {"compound header only", header(kPieceSignature, 1, 512) + cf.left(512)},
        {"root entry not a storage", header(kPieceSignature, 1, cf.size()) + streamRoot},
        {"sector size of no compound file", header(kPieceSignature, 1, cf.size()) + oddSectors},
    };
    for (const RejectCase& c : cases) {
        const ReadResult r = readPiece(bytesOf(c.piece));
        EXPECT_FALSE(r.picture.has_value()) << c.name;
        EXPECT_FALSE(r.error.isEmpty()) << c.name;
        PageRenderer renderer;
        QString error;
        EXPECT_FALSE(renderer.loadPiece(bytesOf(c.piece), error)) << c.name;
        EXPECT_TRUE(renderer.isEmpty()) << c.name;
    }
}

TEST(PieceReader, ReadsOnlyDataSizeBytes) {
    // Bytes after the piece (the next piece of WORD.doc) are not part of it.
    QByteArray piece = pieceWith({{"CONTENTS", readFixture(QStringLiteral("bits24.dib"))}});
    const ReadResult r = readPiece(bytesOf(piece + QByteArray(700, '\xEE')));
    ASSERT_TRUE(r.picture.has_value()) << r.error.toStdString();
    EXPECT_EQ(r.picture->kind, PictureKind::Dib);
}

TEST(PieceReader, StaticDibHonoursTheFileHeadersBitsOffset) {
    // A .bmp in CONTENTS whose bits start 16 bytes after the colour table.
    const QByteArray dib = readFixture(QStringLiteral("bits8.dib"));
    const int table = 40 + 8 * 4;
    QByteArray bmp("BM");
    put32(bmp, std::uint32_t(14 + dib.size() + 16));
    put32(bmp, 0);
    put32(bmp, std::uint32_t(14 + table + 16));
    bmp += dib.left(table) + QByteArray(16, '\x55') + dib.mid(table);
    const ReadResult r = readPiece(bytesOf(pieceWith({{"CONTENTS", bmp}}, oleClassId(0x0316))));
    ASSERT_TRUE(r.picture.has_value());
    ASSERT_EQ(r.picture->kind, PictureKind::Dib);
    PageRenderer renderer;
    renderer.setPicture(*r.picture);
    const QImage expected(kvz::testing::fixture(QStringLiteral("docview/bits8.ppm")));
    EXPECT_EQ(renderer.render(expected.size()).convertToFormat(QImage::Format_RGB32),
              expected.convertToFormat(QImage::Format_RGB32));
}

TEST(PieceReader, StaticBmpIsDecodedOnceAndShowsTheSamePage) {
    // A .bmp in CONTENTS is decoded while it is read; showing the page takes that image rather
    // than decoding the DIB again, and must draw exactly what decoding the DIB draws.
    for (const char* name : {"bits1", "bits4", "bits8", "bits16_565", "bits24", "bits24_topdown",
                             "bits32_bitfields", "core8", "rle4", "rle8"}) {
        SCOPED_TRACE(name);
        const QByteArray dib = readFixture(QLatin1String(name) + QStringLiteral(".dib"));
        const std::optional<std::size_t> bits = packedBitsOffset(bytesOf(dib));
        ASSERT_TRUE(bits.has_value());
        QByteArray bmp("BM");
        put32(bmp, std::uint32_t(14 + dib.size()));
        put32(bmp, 0);
        put32(bmp, std::uint32_t(14 + *bits));
        bmp += dib;
        const ReadResult r = readPiece(bytesOf(pieceWith({{"CONTENTS", bmp}}, oleClassId(0x0316))));
        ASSERT_TRUE(r.picture.has_value());
        ASSERT_EQ(r.picture->kind, PictureKind::Dib);
        EXPECT_EQ(r.picture->data, dib);
        ASSERT_TRUE(r.picture->decoded.has_value());

        PageRenderer kept, decodedAgain;
        kept.setPicture(*r.picture);
        PagePicture plain = *r.picture;
        plain.decoded.reset();
        decodedAgain.setPicture(plain);
        EXPECT_EQ(kept.extentMm(), decodedAgain.extentMm());
        const QImage expected(kvz::testing::fixture(QStringLiteral("docview/") +
                                                    QLatin1String(name) + QStringLiteral(".ppm")));
        const QImage shown = kept.render(expected.size());
        EXPECT_EQ(shown, decodedAgain.render(expected.size()));
        EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
                  expected.convertToFormat(QImage::Format_RGB32));
    }
}

TEST(PieceReader, CompoundFileWithoutPictureIsAnEmptyPage) {
    struct Case {
        const char* name;
        std::vector<StreamEntry> streams;
        QSizeF expectedMm;
    };
    Presentation privateFormat{.format = 0xC123, .data = QByteArray(64, 'z')};
    Presentation lying{.data = readFixture(QStringLiteral("bits8.dib")), .sizeField = 100000};
    Presentation noData{.width = 5000, .height = 2500, .data = QByteArray(40, '\0')};
    // A presentation whose format is a registered name rather than a number.
    QByteArray namedFormat;
    put32(namedFormat, 13);
    namedFormat += QByteArray("Embed Source", 13);
    namedFormat +=
        presentationStream(Presentation{.width = 3000, .height = 2000, .data = QByteArray(16, 'q')})
            .mid(8);
    const Case cases[] = {
        {"no streams", {{"Other", QByteArray("abc")}}, QSizeF(210, 297)},
        {"private format",
         {{"\x02OlePres000", presentationStream(privateFormat)}},
         QSizeF(25.4, 12.7)},
        {"lying OlePres size", {{"\x02OlePres000", presentationStream(lying)}}, QSizeF(210, 297)},
        {"undrawable data keeps extent",
         {{"\x02OlePres000", presentationStream(noData)}},
         QSizeF(50, 25)},
        {"garbage CONTENTS", {{"CONTENTS", QByteArray(300, '\x07')}}, QSizeF(210, 297)},
        {"named format", {{"\x02OlePres000", namedFormat}}, QSizeF(30, 20)},
        {"truncated OlePres",
         {{"\x02OlePres000", presentationStream(lying).left(30)}},
         QSizeF(210, 297)},
    };
    for (const Case& c : cases) {
        const QByteArray piece = pieceWith(c.streams);
        const ReadResult r = readPiece(bytesOf(piece));
        ASSERT_TRUE(r.picture.has_value()) << c.name << ": " << r.error.toStdString();
        EXPECT_EQ(r.picture->kind, PictureKind::None) << c.name;
        PageRenderer renderer;
        QString error;
        ASSERT_TRUE(renderer.loadPiece(bytesOf(piece), error)) << c.name;
        EXPECT_FALSE(renderer.hasPicture()) << c.name;
        EXPECT_NEAR(renderer.extentMm().width(), c.expectedMm.width(), 0.01) << c.name;
        EXPECT_NEAR(renderer.extentMm().height(), c.expectedMm.height(), 0.01) << c.name;
        // The empty page is white where the page lies.
        const QImage& img = renderer.render(QSize(100, 100));
        ASSERT_FALSE(img.isNull());
        const QRect page = renderer.pageRect(QSize(100, 100));
        EXPECT_EQ(img.pixel(page.center()), qRgb(255, 255, 255)) << c.name;
    }
}

TEST(PieceReader, PrefersTheContentAspect) {
    Presentation icon{.aspect = 4, .data = readFixture(QStringLiteral("bits1.dib"))};
    Presentation content{.aspect = 1,
                         .width = 3000,
                         .height = 2000,
                         .data = readFixture(QStringLiteral("bits24.dib"))};
    Presentation thumb{.aspect = 2, .data = readFixture(QStringLiteral("bits4.dib"))};
    const QByteArray piece = pieceWith({{"\x02OlePres000", presentationStream(icon)},
                                        {"\x02OlePres001", presentationStream(thumb)},
                                        {"\x02OlePres002", presentationStream(content)}});
    const ReadResult r = readPiece(bytesOf(piece));
    ASSERT_TRUE(r.picture.has_value());
    EXPECT_EQ(r.picture->kind, PictureKind::Dib);
    EXPECT_EQ(r.picture->data, readFixture(QStringLiteral("bits24.dib")));
    ASSERT_TRUE(r.picture->extentHimetric.has_value());
    EXPECT_EQ(*r.picture->extentHimetric, QSizeF(3000, 2000));
}

TEST(PieceReader, SkipsTargetDeviceAndTellsFormatsApart) {
    const QByteArray wmf = readFixture(QStringLiteral("drawing.wmf"));
    const QByteArray emf = readFixture(QStringLiteral("drawing.emf"));
    // A metafile presentation with an 8-byte METAFILEPICT in front (mapping mode 8, extent
    // 4000x3000 HIMETRIC), as some writers store it, and a target device before the aspect.
    QByteArray mfp;
    mfp.append("\x08\x00", 2);
    mfp.append("\xA0\x0F", 2);
    mfp.append("\xB8\x0B", 2);
    mfp.append("\x00\x00", 2);
    PagePicture bare = normaliseWmf(wmf);
    Presentation withMfp{.format = 3,
                         .width = 0,
                         .height = 0,
                         .data = mfp + bare.data,
                         .targetDevice = QByteArray(20, '\x01')};
    Presentation enh{.format = 14, .width = 0, .height = 0, .data = emf};
    struct Case {
        const char* name;
        Presentation p;
        PictureKind kind;
        QSizeF extent;
    };
    // The enhanced-metafile presentation as OLE caches it: a WMF copy, then the EMF's size and
    // the EMF; and the same with the EMF cut short, where the WMF copy is drawn.
    QByteArray tail;
    put32(tail, std::uint32_t(emf.size()));
    Presentation cached{.format = 14, .width = 0, .height = 0, .data = bare.data};
    Presentation cut = cached;
    QByteArray shortTail;
    put32(shortTail, std::uint32_t(emf.size()));
    const Case cases[] = {
        {"wmf with METAFILEPICT", withMfp, PictureKind::Wmf, QSizeF(4000, 3000)},
        {"emf", enh, PictureKind::Emf, QSizeF(12000, 9000)},
        {"emf cached behind a wmf", cached, PictureKind::Emf, QSizeF(12000, 9000)},
        {"emf cut behind a wmf", cut, PictureKind::Wmf, QSizeF(0, 0)},
    };
    const QByteArray trailers[] = {QByteArray(), QByteArray(), tail + emf,
                                   shortTail + emf.left(emf.size() / 2)};
    int i = 0;
    for (const Case& c : cases) {
        const QByteArray trailer = trailers[i++];
        const ReadResult r =
            readPiece(bytesOf(pieceWith({{"\x02OlePres000", presentationStream(c.p) + trailer}})));
        ASSERT_TRUE(r.picture.has_value()) << c.name;
        EXPECT_EQ(r.picture->kind, c.kind) << c.name;
        if (c.extent.isEmpty())
            continue;
        ASSERT_TRUE(r.picture->extentHimetric.has_value()) << c.name;
        EXPECT_NEAR(r.picture->extentHimetric->width(), c.extent.width(), 2) << c.name;
        EXPECT_NEAR(r.picture->extentHimetric->height(), c.extent.height(), 2) << c.name;
    }
}

TEST(PieceReader, HostileBitmapHeaderGivesAnEmptyPageNotACrash) {
    QByteArray dib = readFixture(QStringLiteral("bits8.dib"));
    struct Case {
        const char* name;
        int offset;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"huge width", 4, 0x7FFFFFFF},      {"huge height", 8, 0x40000000},
        {"negative width", 4, 0xFFFFFFF0},  {"bits 7", 14, 7},
        {"palette beyond", 32, 0x10000000}, {"header size", 0, 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        QByteArray bad = dib;
        qToLittleEndian(c.value, bad.data() + c.offset);
        Presentation p{.data = bad};
        PageRenderer renderer;
        QString error;
        ASSERT_TRUE(renderer.loadPiece(
            bytesOf(pieceWith({{"\x02OlePres000", presentationStream(p)}})), error))
            << c.name;
        EXPECT_FALSE(renderer.hasPicture()) << c.name;
        EXPECT_FALSE(renderer.render(QSize(50, 50)).isNull()) << c.name;
    }
}

} // namespace
} // namespace kvz::docview
