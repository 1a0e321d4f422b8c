#include "platform/docview/PieceReader.h"

#include "platform/docview/CompoundFile.h"
#include "platform/docview/DibDecoder.h"
#include "platform/docview/DibWriter.h"
#include "platform/docview/PieceWriter.h"

#include <algorithm>
#include <vector>

namespace kvz::docview {
namespace {

constexpr std::uint32_t kCfBitmap = 2;
constexpr std::uint32_t kCfMetafilePict = 3;
constexpr std::uint32_t kCfDib = 8;
constexpr std::uint32_t kCfEnhMetafile = 14;
constexpr std::uint32_t kPrivateFormat = 0xC000;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

constexpr std::uint32_t kAspectContent = 1;
constexpr std::uint32_t kAspectThumbnail = 2;
constexpr std::uint32_t kAspectIcon = 4;

// Anything past a metre is no page; such an extent is ignored.
constexpr double kMaxExtentHimetric = 100000.0;

std::optional<QSizeF> saneExtent(double w, double h) {
    if (w > 0 && h > 0 && w <= kMaxExtentHimetric && h <= kMaxExtentHimetric)
        return QSizeF(w, h);
    return std::nullopt;
}

bool isWmfHeader(Bytes d) {
    if (d.size() < 18)
        return false;
    const std::uint16_t type = std::uint16_t(d[0] | d[1] << 8);
    const std::uint16_t headerWords = std::uint16_t(d[2] | d[3] << 8);
    const std::uint16_t version = std::uint16_t(d[4] | d[5] << 8);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

bool isEmf(Bytes d) {
    return d.size() >= 88 && readLe32(d, 0) == 1 && readLe32(d, 40) == 0x464D4520;
}

bool isDib(Bytes d) {
    return dibSize(d).has_value();
}

// One candidate found in the storage; the best is drawn.
struct Candidate {
    PagePicture picture;
    int rank = 0; // higher is better
};

// The picture inside the data of a presentation stream, whose clipboard format is `format`
// (0 when it names none). The format and the bytes must agree; a lying header is skipped.
std::optional<PagePicture> pictureFromData(std::uint32_t format, QByteArray data) {
    const Bytes d = asBytes(data.constData(), std::size_t(data.size()));
    PictureKind sniffed = sniffPicture(d);
    // Some writers put the 8-byte METAFILEPICT (mapping mode, x and y extent, handle) before
    // the metafile: take its extent and drop it.
    std::optional<QSizeF> mfpExtent;
    if (sniffed == PictureKind::None && d.size() > 8 && isWmfHeader(d.subspan(8))) {
        ByteReader r(d);
        const std::uint16_t mode = r.u16();
        const std::int16_t xExt = r.i16();
        const std::int16_t yExt = r.i16();
        if (mode == 7 || mode == 8) // isotropic / anisotropic: extents are HIMETRIC
            mfpExtent = saneExtent(xExt, yExt);
        data.remove(0, 8);
        sniffed = PictureKind::Wmf;
    }
    switch (format) {
    case kCfMetafilePict:
    case kCfEnhMetafile:
    case kCfDib:
    case kCfBitmap:
    case 0:
        break;
    default:
        return std::nullopt; // a private format we cannot draw
    }
    if (sniffed == PictureKind::None)
        return std::nullopt;
    PagePicture pic = sniffed == PictureKind::Wmf ? normaliseWmf(std::move(data))
                                                  : PagePicture{sniffed, std::move(data), {}, {}};
    if (mfpExtent)
        pic.extentHimetric = mfpExtent;
    if (pic.kind == PictureKind::Emf && !pic.extentHimetric)
        pic.extentHimetric =
            emfFrameHimetric(asBytes(pic.data.constData(), std::size_t(pic.data.size())));
    return pic;
}

// An OLE presentation stream: clipboard format, target device, aspect, extent, data.
std::optional<Candidate> readPresentation(const QByteArray& stream) {
    ByteReader r(asBytes(stream.constData(), std::size_t(stream.size())));
    std::uint32_t format = 0;
    const std::uint32_t marker = r.u32();
    if (marker == 0xFFFFFFFF || marker == 0xFFFFFFFE) {
        format = r.u32();
    } else if (marker != 0) {
        // A registered format's name: nothing we can draw, but its extent still counts.
        r.skip(marker);
        format = kPrivateFormat;
    } else {
        return std::nullopt; // no presentation data at all
    }
    const std::uint32_t targetDeviceSize = r.u32();
    if (targetDeviceSize > 4)
        r.skip(targetDeviceSize - 4);
    const std::uint32_t aspect = r.u32();
    r.u32(); // lindex
    r.u32(); // advf
    r.u32(); // reserved
    const std::uint32_t width = r.u32();
    const std::uint32_t height = r.u32();
    const std::uint32_t size = r.u32();
    if (!r.ok() || size > r.remaining() || size == 0)
        return std::nullopt;
    Bytes data = r.bytes(size);
    // An enhanced metafile's presentation holds a WMF copy first and the EMF itself after it,
    // behind its size; the EMF draws better.
    if (format == kCfEnhMetafile && !isEmf(data)) {
        const std::uint32_t emfSize = r.u32();
        if (r.ok() && emfSize <= r.remaining() && isEmf(r.rest().first(emfSize)))
            data = r.bytes(emfSize);
    }
    std::optional<PagePicture> pic = pictureFromData(
        format, QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())));
    if (!pic) // nothing to draw, but its extent still sizes the empty page
        return Candidate{PagePicture{PictureKind::None, {}, saneExtent(width, height), {}}, 0};
    if (auto e = saneExtent(width, height))
        pic->extentHimetric = e;
    int rank = 1;
    if (aspect == kAspectContent)
        rank = 4;
    else if (aspect == kAspectThumbnail)
        rank = 3;
    else if (aspect != kAspectIcon)
        rank = 2;
    return Candidate{std::move(*pic), rank};
}

// CONTENTS of a static picture: a .bmp file (static DIB), a bare EMF (static enhanced
// metafile), or a presentation stream (static metafile).
std::optional<Candidate> readContents(const QByteArray& stream) {
    const Bytes d = asBytes(stream.constData(), std::size_t(stream.size()));
    if (d.size() >= 14 && d[0] == 'B' && d[1] == 'M') {
        // Keep the DIB from its header on. Bits placed elsewhere than right after the colour
        // table are decoded here and written back as a packed DIB.
        DibResult dib = decodeBmpFile(d);
        if (!dib.dib)
            return std::nullopt;
        const std::optional<std::size_t> natural = packedBitsOffset(d.subspan(14));
        if (!natural || readLe32(d, 10) != 14 + *natural) {
            QImage img = dib.dib->image;
            img.setDotsPerMeterX(dib.dib->xPelsPerMeter);
            img.setDotsPerMeterY(dib.dib->yPelsPerMeter);
            return Candidate{PagePicture{PictureKind::Dib, encodeDib(img), {}, {}}, 4};
        }
        return Candidate{PagePicture{PictureKind::Dib, stream.mid(14), {}, std::move(dib.dib)}, 4};
    }
    const PictureKind k = sniffPicture(d);
    if (k != PictureKind::None) {
        std::optional<PagePicture> pic = pictureFromData(0, stream);
        if (pic)
            return Candidate{std::move(*pic), 4};
        return std::nullopt;
    }
    return readPresentation(stream);
}

} // namespace

std::optional<PieceHeader> readPieceHeader(Bytes bytes, QString& error) {
    if (bytes.size() < kPieceHeaderSize) {
        error = QStringLiteral("the document piece is shorter than its header");
        return std::nullopt;
    }
    ByteReader r(bytes);
    if (r.u32() != kPieceSignature) {
        error = QStringLiteral("the document piece has a wrong signature");
        return std::nullopt;
    }
    PieceHeader h;
    h.drawAspect = r.u32();
    h.dataSize = r.u32();
    if (h.dataSize > r.remaining()) {
        error = QStringLiteral("the document piece claims %1 bytes but holds %2")
                    .arg(h.dataSize)
                    .arg(r.remaining());
        return std::nullopt;
    }
    if (h.dataSize == 0) {
        error = QStringLiteral("the document piece is empty");
        return std::nullopt;
    }
    return h;
}

PictureKind sniffPicture(Bytes d) {
    if (isEmf(d))
        return PictureKind::Emf;
    if (d.size() >= 22 + 18 && readLe32(d, 0) == kPlaceableKey && isWmfHeader(d.subspan(22)))
        return PictureKind::Wmf;
    if (isWmfHeader(d))
        return PictureKind::Wmf;
    if (isDib(d))
        return PictureKind::Dib;
    return PictureKind::None;
}

PagePicture normaliseWmf(QByteArray data) {
    PagePicture pic{PictureKind::Wmf, {}, {}, {}};
    const Bytes d = asBytes(data.constData(), std::size_t(data.size()));
    if (d.size() >= 22 && readLe32(d, 0) == kPlaceableKey) {
        ByteReader r(d.subspan(6));
        const std::int16_t left = r.i16(), top = r.i16(), right = r.i16(), bottom = r.i16();
        const std::uint16_t inch = r.u16();
        if (inch > 0)
            pic.extentHimetric = saneExtent(std::abs(right - left) * 2540.0 / inch,
                                            std::abs(bottom - top) * 2540.0 / inch);
        data.remove(0, 22);
    }
    pic.data = std::move(data);
    return pic;
}

std::optional<QSizeF> emfFrameHimetric(Bytes emf) {
    if (!isEmf(emf))
        return std::nullopt;
    ByteReader r(emf.subspan(24)); // rclFrame, inclusive, in 0.01 mm
    const double l = r.i32(), t = r.i32(), rr = r.i32(), b = r.i32();
    if (!r.ok())
        return std::nullopt;
    return saneExtent(rr - l, b - t);
}

std::optional<QByteArray> typedTextOfPiece(Bytes piece) {
    QString error;
    const std::optional<PieceHeader> h = readPieceHeader(piece, error);
    if (!h)
        return std::nullopt;
    std::unique_ptr<CompoundReader> cf =
        CompoundReader::open(piece.subspan(kPieceHeaderSize, h->dataSize), error);
    if (!cf)
        return std::nullopt;
    return cf->stream(kTypedTextStream);
}

ReadResult readPiece(Bytes piece) {
    ReadResult res;
    const std::optional<PieceHeader> h = readPieceHeader(piece, res.error);
    if (!h)
        return res;
    const Bytes data = piece.subspan(kPieceHeaderSize, h->dataSize);
    std::unique_ptr<CompoundReader> cf = CompoundReader::open(data, res.error);
    if (!cf)
        return res;

    std::optional<Candidate> best;
    auto consider = [&best](std::optional<Candidate> c) {
        if (c && c->picture.kind == PictureKind::None && !c->picture.extentHimetric)
            return;
        if (c && (!best || c->rank > best->rank))
            best = std::move(c);
    };
    std::vector<std::string> names = cf->children();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name.rfind("\x02OlePres", 0) == 0) {
            if (std::optional<QByteArray> s = cf->stream(name))
                consider(readPresentation(*s));
        }
    }
    // A static picture keeps it in CONTENTS; other objects may too (and fall back on it).
    if (!best || best->rank < 4) {
        for (const char* name : {"CONTENTS",
                                 "\x03"
                                 "CONTENTS",
                                 "Contents"}) {
            if (std::optional<QByteArray> s = cf->stream(name)) {
                consider(readContents(*s));
                break;
            }
        }
    }
    if (best) {
        res.picture = std::move(best->picture);
    } else {
        res.picture = PagePicture{};
    }
    return res;
}

} // namespace kvz::docview
