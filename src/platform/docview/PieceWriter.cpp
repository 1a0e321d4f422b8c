#include "platform/docview/PieceWriter.h"

#include "platform/docview/CompoundFile.h"
#include "platform/docview/DibDecoder.h"
#include "platform/docview/DibWriter.h"
#include "platform/docview/EmfRenderer.h"
#include "platform/docview/PieceReader.h"
#include "platform/docview/TextPage.h"
#include "shell/NamedFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

namespace kvz::docview {
namespace {

constexpr std::uint32_t kCfMetafilePict = 3;
constexpr std::uint32_t kCfDib = 8;
constexpr std::uint32_t kCfEnhMetafile = 14;
constexpr std::uint32_t kAspectContent = 1;
// No page file needs more; larger ones are refused before they are read.
constexpr qint64 kMaxPageFileBytes = 64 << 20;
// A text page is one page: more text than this is no question page, and laying it out would
// only take long.
constexpr qint64 kMaxTextPageBytes = 256 << 10;
// Pictures larger than this (a photograph from a camera) are shrunk keeping their printed size:
// the page is shown on a screen, and the test archive should stay small.
constexpr int kMaxPictureSide = 2000;

QImage shrinkForPage(QImage img) {
    const int side = qMax(img.width(), img.height());
    if (side <= kMaxPictureSide)
        return img;
    const double f = double(kMaxPictureSide) / side;
    const int dpmX = img.dotsPerMeterX(), dpmY = img.dotsPerMeterY();
    QImage small = img.scaled(qMax(1, qRound(img.width() * f)), qMax(1, qRound(img.height() * f)),
                              Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    small.setDotsPerMeterX(qMax(1, qRound((dpmX > 0 ? dpmX : 3780) * f)));
    small.setDotsPerMeterY(qMax(1, qRound((dpmY > 0 ? dpmY : 3780) * f)));
    return small;
}

void put32(QByteArray& out, std::uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putAnsi(QByteArray& out, const char* text) {
    const QByteArray s(text);
    put32(out, std::uint32_t(s.size() + 1));
    out.append(s);
    out.append('\0');
}

// "\1CompObj": the class, its user type and the clipboard format of the data.
QByteArray compObj(const ClassId& cls, const char* userType, std::uint32_t format) {
    QByteArray out;
    put32(out, 0xFFFE0001);
    put32(out, 0x00000A03);
    put32(out, 0xFFFFFFFF);
    out.append(reinterpret_cast<const char*>(cls.data()), 16);
    putAnsi(out, userType);
    put32(out, 0xFFFFFFFF);
    put32(out, format);
    put32(out, 0); // no reserved string
    return out;
}

// "\1Ole": an embedded (not linked) object, no monikers.
QByteArray oleStream() {
    QByteArray out;
    put32(out, 0x02000001);
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    return out;
}

// A presentation stream of the content aspect, no target device.
QByteArray presentation(std::uint32_t format, const QByteArray& data,
                        std::optional<QSizeF> extentHimetric) {
    QByteArray out;
    put32(out, 0xFFFFFFFF);
    put32(out, format);
    put32(out, 4); // no target device
    put32(out, kAspectContent);
    put32(out, 0xFFFFFFFF); // lindex: the whole object
    put32(out, 0);          // advf
    put32(out, 0);
    put32(out, extentHimetric ? std::uint32_t(qRound(extentHimetric->width())) : 0);
    put32(out, extentHimetric ? std::uint32_t(qRound(extentHimetric->height())) : 0);
    put32(out, std::uint32_t(data.size()));
    out.append(data);
    return out;
}

PieceResult fail(const QString& path, const QString& why) {
    return {{}, QStringLiteral("%1: %2").arg(path, why)};
}

PieceResult staticPiece(const QString& path, std::uint16_t cls, const char* userType,
                        std::uint32_t format, const QByteArray& contents,
                        const QByteArray& typedText = {}) {
    const ClassId id = oleClassId(cls);
    QString error;
    std::vector<StreamEntry> streams{{"\x01"
                                      "CompObj",
                                      compObj(id, userType, format)},
                                     {"\x01"
                                      "Ole",
                                      oleStream()},
                                     {"CONTENTS", contents}};
    if (!typedText.isEmpty())
        streams.push_back({kTypedTextStream, typedText});
    std::optional<QByteArray> cf = writeCompound(id, streams, error);
    if (!cf)
        return fail(path, error);
    return {makePiece(*cf), {}};
}

} // namespace

QByteArray makePiece(const QByteArray& compoundFile) {
    QByteArray out;
    put32(out, kPieceSignature);
    put32(out, kAspectContent);
    put32(out, std::uint32_t(compoundFile.size()));
    out.append(compoundFile);
    return out;
}

PieceResult pieceFromImage(const QImage& image, const QString& name, const QByteArray& typedText) {
    if (image.isNull())
        return fail(name, QStringLiteral("the picture is empty"));
    if (image.width() > kMaxImageSide || image.height() > kMaxImageSide ||
        qint64(image.width()) * image.height() > kMaxImagePixels)
        return fail(name, QStringLiteral("the picture of %1x%2 is too large")
                              .arg(image.width())
                              .arg(image.height()));
    return staticPiece(name, 0x0316, "Picture (Device Independent Bitmap)", kCfDib,
                       encodeBmpFile(image), typedText);
}

PieceResult pieceFromMetafile(const QByteArray& bytes, const QString& name) {
    const Bytes b = asBytes(bytes.constData(), std::size_t(bytes.size()));
    switch (sniffPicture(b)) {
    case PictureKind::Emf: {
        const QString why = checkEmf(b);
        if (!why.isEmpty())
            return fail(name, why);
        return staticPiece(name, 0x0319, "Picture (Enhanced Metafile)", kCfEnhMetafile,
                           bytes.left(qsizetype(readLe32(b, 48))));
    }
    case PictureKind::Wmf: {
        // The object holds the bare metafile; a placeable header's extent moves into the
        // presentation header.
        PagePicture pic = normaliseWmf(bytes);
        return staticPiece(name, 0x0315, "Picture (Metafile)", kCfMetafilePict,
                           presentation(kCfMetafilePict, pic.data, pic.extentHimetric));
    }
    default:
        return fail(name, QStringLiteral("not a Windows metafile or enhanced metafile"));
    }
}

PieceResult pieceFromPageFile(const QString& path) {
    QString why;
    const std::optional<QByteArray> read = readNamedFile(path, kMaxPageFileBytes, &why);
    if (!read)
        return fail(path, why);
    const QByteArray& bytes = *read;
    const QString ext = QFileInfo(path).suffix().toLower();

    if (ext == QLatin1String("bmp")) {
        DibResult dib = decodeBmpFile(asBytes(bytes.constData(), std::size_t(bytes.size())));
        if (!dib.dib)
            return fail(path, dib.error);
        QImage img = dib.dib->image;
        if (dib.dib->xPelsPerMeter > 0)
            img.setDotsPerMeterX(dib.dib->xPelsPerMeter);
        if (dib.dib->yPelsPerMeter > 0)
            img.setDotsPerMeterY(dib.dib->yPelsPerMeter);
        return pieceFromImage(shrinkForPage(img), path);
    }
    if (ext == QLatin1String("png") || ext == QLatin1String("jpg") ||
        ext == QLatin1String("jpeg")) {
        QBuffer buf;
        buf.setData(bytes);
        buf.open(QIODevice::ReadOnly);
        QImageReader reader(&buf, ext == QLatin1String("png") ? "png" : "jpeg");
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > kMaxImageSide || size.height() > kMaxImageSide ||
                               qint64(size.width()) * size.height() > kMaxImagePixels))
            return fail(path, QStringLiteral("the picture of %1x%2 is too large")
                                  .arg(size.width())
                                  .arg(size.height()));
        QImage img = reader.read();
        if (img.isNull())
            return fail(path,
                        QStringLiteral("not a readable picture (%1)").arg(reader.errorString()));
        if (img.hasAlphaChannel()) { // transparent parts lie on white paper
            QImage flat(img.size(), QImage::Format_RGB32);
            flat.setDotsPerMeterX(img.dotsPerMeterX());
            flat.setDotsPerMeterY(img.dotsPerMeterY());
            flat.fill(Qt::white);
            QPainter(&flat).drawImage(0, 0, img);
            img = flat;
        }
        return pieceFromImage(shrinkForPage(img), path);
    }
    if (ext == QLatin1String("emf") || ext == QLatin1String("wmf"))
        return pieceFromMetafile(bytes, path);
    if (ext == QLatin1String("txt") || ext == QLatin1String("html") ||
        ext == QLatin1String("htm")) {
        if (bytes.size() > kMaxTextPageBytes)
            return fail(
                path,
                QStringLiteral("a text page holds at most %1 KB").arg(kMaxTextPageBytes >> 10));
        const QString text = QString::fromUtf8(bytes);
        return pieceFromImage(
            typesetPage(text, ext != QLatin1String("txt"), QFileInfo(path).absolutePath()), path);
    }
    return fail(path,
                QStringLiteral("unknown page file kind \"%1\" (png, jpg, bmp, emf, wmf, txt, html)")
                    .arg(ext));
}

} // namespace kvz::docview
