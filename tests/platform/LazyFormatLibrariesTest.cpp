// This executable is linked as the pupil's program is: libzip, libgsf and libemf2svg are
// reached through forwarding functions and loaded at the first call.

#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceWriter.h"
#include "support/TestPaths.h"
#include "test/ZipMemory.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace kvz {
namespace {

bool mapped(const char* library) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

int darkPixels(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

TEST(LazyFormatLibraries, AreLoadedAtTheFirstTestAndWorkThroughTheForwarders) {
    const char* libraries[] = {"libzip.so", "libgsf-1.so", "libemf2svg.so"};
    for (const char* library : libraries)
        EXPECT_FALSE(mapped(library)) << library << " is loaded before any test is opened";

    // A page with text made into a piece (libgsf writes the compound document), packed under a
    // password and read back (libzip), and drawn (libgsf reads, libemf2svg converts).
    const docview::PieceResult piece =
        docview::pieceFromPageFile(testing::fixture(QStringLiteral("docview/drawing.emf")));
    ASSERT_TRUE(piece.ok()) << piece.error.toStdString();
    QString error;
    const std::optional<QByteArray> archive =
        writeEncryptedZip({{"WORD.doc", piece.piece}}, "secret", &error);
    ASSERT_TRUE(archive) << error.toStdString();
    const std::unique_ptr<MemoryZip> zip = MemoryZip::open(*archive, &error);
    ASSERT_TRUE(zip) << error.toStdString();
    zip->setPassword("secret");
    QByteArray page;
    ASSERT_EQ(zip->extract("WORD.doc", std::size_t(1) << 24, page), ZipReadStatus::Ok);
    EXPECT_EQ(page, piece.piece);
    zip->setPassword("wrong");
    EXPECT_EQ(zip->extract("WORD.doc", std::size_t(1) << 24, page), ZipReadStatus::BadPassword);

    docview::PageRenderer renderer;
    const auto* begin = reinterpret_cast<const std::uint8_t*>(piece.piece.constData());
    ASSERT_TRUE(renderer.loadPiece({begin, std::size_t(piece.piece.size())}, error))
        << error.toStdString();
    ASSERT_TRUE(renderer.hasPicture()) << renderer.pictureNote().toStdString();
    EXPECT_GT(darkPixels(renderer.render(QSize(480, 360))), 500);

    for (const char* library : libraries)
        EXPECT_TRUE(mapped(library)) << library;

    // libemf2svg shuts fontconfig down after looking up a font, unless it finds the program's
    // own FcFini; Qt drawing text afterwards would then abort.
    QImage text(200, 40, QImage::Format_RGB32);
    text.fill(Qt::white);
    QPainter painter(&text);
    QFont font = painter.font();
    font.setPixelSize(24);
    painter.setFont(font);
    painter.drawText(text.rect(), Qt::AlignCenter, QStringLiteral("Вопрос 1"));
    painter.end();
    EXPECT_GT(darkPixels(text), 50);
}

} // namespace
} // namespace kvz
