#include "platform/docview/DibDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kvz::docview {
namespace {

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kAlphaBitfields = 6,
};

struct Header {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: top-down
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    int xPpm = 0;
    int yPpm = 0;
    std::array<std::uint32_t, 4> masks{}; // r, g, b, a
    bool hasMasks = false;
    bool core = false;
};

DibResult fail(const QString& why) {
    return {std::nullopt, why};
}

// Reads the header and, for BI_BITFIELDS with a 40-byte header, the three masks after it.
std::optional<Header> readHeader(ByteReader& r, QString& error) {
    Header h;
    h.headerSize = r.u32();
    if (!r.ok()) {
        error = QStringLiteral("bitmap header is cut short");
        return std::nullopt;
    }
    if (h.headerSize == 12) {
        h.core = true;
        h.width = r.u16();
        h.height = r.i16();
        r.u16(); // planes
        h.bitCount = r.u16();
    } else if (h.headerSize >= 40 && h.headerSize <= 1024) {
        h.width = r.i32();
        h.height = r.i32();
        r.u16();
        h.bitCount = r.u16();
        h.compression = r.u32();
        r.u32(); // image size: often 0 or wrong, not trusted
        h.xPpm = r.i32();
        h.yPpm = r.i32();
        h.colorsUsed = r.u32();
        r.u32(); // important colours
        if (h.headerSize >= 52) {
            h.masks[0] = r.u32();
            h.masks[1] = r.u32();
            h.masks[2] = r.u32();
            h.hasMasks = true;
        }
        std::uint32_t consumed = h.headerSize >= 52 ? 52 : 40;
        if (h.headerSize >= 56) {
            h.masks[3] = r.u32();
            consumed = 56;
        }
        r.skip(h.headerSize - consumed);
        if ((h.compression == kBitfields || h.compression == kAlphaBitfields) &&
            h.headerSize == 40) {
            h.masks[0] = r.u32();
            h.masks[1] = r.u32();
            h.masks[2] = r.u32();
            if (h.compression == kAlphaBitfields)
                h.masks[3] = r.u32();
            h.hasMasks = true;
        }
    } else {
        error = QStringLiteral("unknown bitmap header size %1").arg(h.headerSize);
        return std::nullopt;
    }
    if (!r.ok()) {
        error = QStringLiteral("bitmap header is cut short");
        return std::nullopt;
    }
    return h;
}

bool checkGeometry(const Header& h, QString& error) {
    const std::int64_t w = h.width;
    const std::int64_t ah = h.height < 0 ? -h.height : h.height;
    if (w <= 0 || ah <= 0) {
        error = QStringLiteral("bitmap has no pixels");
        return false;
    }
    if (w > kMaxImageSide || ah > kMaxImageSide || w * ah > kMaxImagePixels) {
        error = QStringLiteral("bitmap of %1x%2 is too large").arg(w).arg(ah);
        return false;
    }
    switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        error = QStringLiteral("bitmap with %1 bits per pixel").arg(h.bitCount);
        return false;
    }
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (rle && h.height < 0) {
        error = QStringLiteral("top-down bitmap cannot be run-length coded");
        return false;
    }
    if ((h.compression == kRle8 && h.bitCount != 8) ||
        (h.compression == kRle4 && h.bitCount != 4)) {
        error = QStringLiteral("run-length coding does not match the bit depth");
        return false;
    }
    if ((h.compression == kBitfields || h.compression == kAlphaBitfields) && h.bitCount != 16 &&
        h.bitCount != 32) {
        error = QStringLiteral("colour masks need 16 or 32 bits per pixel");
        return false;
    }
    if (h.compression != kRgb && !rle && h.compression != kBitfields &&
        h.compression != kAlphaBitfields) {
        error = QStringLiteral("unsupported bitmap compression %1").arg(h.compression);
        return false;
    }
    return true;
}

// Shift and scale that map a colour mask onto 0..255.
struct MaskChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;
    std::uint8_t get(std::uint32_t v) const {
        if (max == 0)
            return 0;
        return static_cast<std::uint8_t>(((v & mask) >> shift) * 255u / max);
    }
};

MaskChannel channel(std::uint32_t mask) {
    MaskChannel c;
    c.mask = mask;
    if (mask == 0)
        return c;
    while (((mask >> c.shift) & 1u) == 0)
        ++c.shift;
    c.max = mask >> c.shift;
    // A mask with holes is taken as its span; a span past 16 bits is narrowed so the scale
    // above cannot overflow.
    while (c.max > 0xFFFFu) {
        c.max >>= 1;
        ++c.shift;
        c.mask = c.max << c.shift;
    }
    return c;
}

void decodeRle(Bytes bits, const Header& h, const std::vector<QRgb>& palette, QImage& img) {
    const int w = int(h.width);
    const int height = int(h.height);
    int x = 0;
    int y = height - 1; // bottom-up
    std::size_t i = 0;
    const bool four = h.compression == kRle4;
    auto put = [&](int px, int py, unsigned idx) {
        if (px >= 0 && px < w && py >= 0 && py < height)
            reinterpret_cast<QRgb*>(img.scanLine(py))[px] =
                idx < palette.size() ? palette[idx] : qRgb(0, 0, 0);
    };
    while (i + 1 < bits.size() && y >= 0) {
        const unsigned count = bits[i];
        const unsigned value = bits[i + 1];
        i += 2;
        if (count > 0) {
            for (unsigned k = 0; k < count && x < w; ++k, ++x)
                put(x, y, four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            --y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (i + 1 >= bits.size())
                break;
            x += bits[i];
            y -= bits[i + 1];
            i += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (bits.size() - i < bytes)
                break;
            for (unsigned k = 0; k < value; ++k, ++x) {
                const std::uint8_t b = bits[i + (four ? k / 2 : k)];
                put(x, y, four ? ((k & 1) ? b & 0x0F : b >> 4) : b);
            }
            i += (bytes + 1) & ~std::size_t(1);
        }
    }
}

void decodeRows(Bytes bits, const Header& h, const std::vector<QRgb>& palette, QImage& img) {
    const int w = int(h.width);
    const int rows = int(h.height < 0 ? -h.height : h.height);
    const std::size_t stride = ((std::size_t(w) * h.bitCount + 31) / 32) * 4;
    const bool topDown = h.height < 0;
    MaskChannel r, g, b;
    if (h.bitCount == 16 || h.bitCount == 32) {
        std::array<std::uint32_t, 4> m = h.masks;
        if (!h.hasMasks || (h.compression == kRgb)) {
            m = h.bitCount == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                 : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
        }
        r = channel(m[0]);
        g = channel(m[1]);
        b = channel(m[2]);
    }
    const std::size_t fullRows = std::min<std::size_t>(rows, bits.size() / stride);
    for (std::size_t row = 0; row < fullRows; ++row) {
        const std::uint8_t* src = bits.data() + row * stride;
        const int y = topDown ? int(row) : rows - 1 - int(row);
        QRgb* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
        auto pal = [&](unsigned idx) {
            return idx < palette.size() ? palette[idx] : qRgb(0, 0, 0);
        };
        switch (h.bitCount) {
        case 1:
            for (int x = 0; x < w; ++x)
                dst[x] = pal((src[x >> 3] >> (7 - (x & 7))) & 1u);
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                dst[x] = pal((x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
            break;
        case 8:
            for (int x = 0; x < w; ++x)
                dst[x] = pal(src[x]);
            break;
        case 16:
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = src[2 * x] | std::uint32_t(src[2 * x + 1]) << 8;
                dst[x] = qRgb(r.get(v), g.get(v), b.get(v));
            }
            break;
        case 24:
            for (int x = 0; x < w; ++x)
                dst[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
            break;
        case 32:
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = src[4 * x] | std::uint32_t(src[4 * x + 1]) << 8 |
                                        std::uint32_t(src[4 * x + 2]) << 16 |
                                        std::uint32_t(src[4 * x + 3]) << 24;
                // Alpha is ignored, as the screen drawing of a bitmap ignores it.
                dst[x] = qRgb(r.get(v), g.get(v), b.get(v));
            }
            break;
        }
    }
}

DibResult decode(Bytes all, std::optional<std::size_t> bitsOffset) {
    ByteReader r(all);
    QString error;
    const std::optional<Header> h = readHeader(r, error);
    if (!h)
        return fail(error);
    if (!checkGeometry(*h, error))
        return fail(error);

    std::vector<QRgb> palette;
    if (h->bitCount <= 8 || h->colorsUsed > 0) {
        std::uint64_t entries = h->colorsUsed;
        if (entries == 0)
            entries = 1u << h->bitCount;
        const std::size_t entrySize = h->core ? 3 : 4;
        if (entries > r.remaining() / entrySize)
            return fail(QStringLiteral("bitmap colour table runs past the end"));
        // Colours past what the pixels can address are skipped, not kept.
        const std::size_t keep =
            h->bitCount <= 8 ? std::min<std::uint64_t>(entries, 1u << h->bitCount) : 0;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t b = r.u8(), g = r.u8(), rr = r.u8();
            if (!h->core)
                r.u8();
            if (i < keep)
                palette.push_back(qRgb(rr, g, b));
        }
    }
    Bytes bits = r.rest();
    if (bitsOffset) {
        if (*bitsOffset >= r.pos() && *bitsOffset < all.size())
            bits = all.subspan(*bitsOffset);
    }

    const int w = int(h->width);
    const int rows = int(h->height < 0 ? -h->height : h->height);
    QImage img(w, rows, QImage::Format_RGB32);
    if (img.isNull())
        return fail(QStringLiteral("no memory for a %1x%2 bitmap").arg(w).arg(rows));
    img.fill(Qt::white);
    if (h->compression == kRle8 || h->compression == kRle4)
        decodeRle(bits, *h, palette, img);
    else
        decodeRows(bits, *h, palette, img);
    return {DibImage{std::move(img), h->xPpm, h->yPpm}, {}};
}

} // namespace

DibResult decodeDib(Bytes dib) {
    return decode(dib, std::nullopt);
}

DibResult decodeBmpFile(Bytes file) {
    if (file.size() < 14 || file[0] != 'B' || file[1] != 'M')
        return fail(QStringLiteral("not a BMP file"));
    const std::uint32_t offBits = readLe32(file, 10);
    DibResult res = decode(file.subspan(14),
                           offBits >= 14 ? std::optional<std::size_t>(offBits - 14) : std::nullopt);
    return res;
}

std::optional<std::size_t> packedBitsOffset(Bytes dib) {
    ByteReader r(dib);
    QString error;
    const std::optional<Header> h = readHeader(r, error);
    if (!h || !checkGeometry(*h, error))
        return std::nullopt;
    std::uint64_t entries = h->colorsUsed;
    if (entries == 0 && h->bitCount <= 8)
        entries = 1u << h->bitCount;
    const std::uint64_t tableBytes = entries * (h->core ? 3 : 4);
    if (tableBytes > r.remaining())
        return std::nullopt;
    return r.pos() + std::size_t(tableBytes);
}

std::optional<QSize> dibSize(Bytes dib) {
    ByteReader r(dib);
    QString error;
    const std::optional<Header> h = readHeader(r, error);
    if (!h || !checkGeometry(*h, error))
        return std::nullopt;
    return QSize(int(h->width), int(h->height < 0 ? -h->height : h->height));
}

} // namespace kvz::docview
