#include "platform/docview/DibWriter.h"

#include <QtEndian>
#include <vector>

namespace kvz::docview {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;

void put32(QByteArray& out, std::uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void put16(QByteArray& out, std::uint16_t v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

// One row in BI_RLE8: runs of 3 or more as (count, value), the rest in absolute runs.
void rleRow(const std::uint8_t* px, int w, QByteArray& out) {
    int x = 0;
    while (x < w) {
        int run = 1;
        while (x + run < w && run < 255 && px[x + run] == px[x])
            ++run;
        if (run >= 3 || w - x < 3) {
            out.append(char(run));
            out.append(char(px[x]));
            x += run;
            continue;
        }
        // Absolute run: up to the next run of three or more.
        int end = x;
        while (end < w && end - x < 255) {
            if (end + 2 < w && px[end] == px[end + 1] && px[end] == px[end + 2])
                break;
            ++end;
        }
        const int n = end - x;
        if (n < 3) {
            for (int i = 0; i < n; ++i) {
                out.append(char(1));
                out.append(char(px[x + i]));
            }
        } else {
            out.append(char(0));
            out.append(char(n));
            out.append(reinterpret_cast<const char*>(px + x), n);
            if (n & 1)
                out.append(char(0));
        }
        x = end;
    }
    out.append(char(0));
    out.append(char(0)); // end of line
}

void header(QByteArray& out, const QImage& img, int bitCount, std::uint32_t compression,
            std::uint32_t imageSize, std::uint32_t colours) {
    put32(out, kInfoHeaderSize);
    put32(out, std::uint32_t(img.width()));
    put32(out, std::uint32_t(img.height())); // bottom-up
    put16(out, 1);
    put16(out, std::uint16_t(bitCount));
    put32(out, compression);
    put32(out, imageSize);
    put32(out, std::uint32_t(img.dotsPerMeterX() > 0 ? img.dotsPerMeterX() : 3780));
    put32(out, std::uint32_t(img.dotsPerMeterY() > 0 ? img.dotsPerMeterY() : 3780));
    put32(out, colours);
    put32(out, 0);
}

} // namespace

QByteArray encodeDib(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    QByteArray out;
    if (image.format() == QImage::Format_Mono && image.colorCount() == 2) {
        // QImage's Mono rows are already DIB rows: most significant bit first, 32-bit padded.
        const std::size_t stride = ((std::size_t(w) + 31) / 32) * 4;
        header(out, image, 1, 0, std::uint32_t(stride * h), 2);
        for (int i = 0; i < 2; ++i) {
            const QRgb c = image.color(i);
            const char entry[4] = {char(qBlue(c)), char(qGreen(c)), char(qRed(c)), 0};
            out.append(entry, 4);
        }
        for (int y = h - 1; y >= 0; --y)
            out.append(reinterpret_cast<const char*>(image.constScanLine(y)), qsizetype(stride));
        return out;
    }
    if (image.allGray()) {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        const std::size_t stride = (std::size_t(w) + 3) & ~std::size_t(3);
        QByteArray rle;
        for (int y = h - 1; y >= 0; --y)
            rleRow(grey.constScanLine(y), w, rle);
        rle.append(char(0));
        rle.append(char(1)); // end of bitmap
        const bool useRle = std::size_t(rle.size()) < stride * std::size_t(h);
        header(out, grey, 8, useRle ? 1 : 0,
               useRle ? std::uint32_t(rle.size()) : std::uint32_t(stride * h), 256);
        for (int i = 0; i < 256; ++i) {
            const char c = char(i);
            const char entry[4] = {c, c, c, 0};
            out.append(entry, 4);
        }
        if (useRle) {
            out.append(rle);
        } else {
            const QByteArray pad(qsizetype(stride - std::size_t(w)), '\0');
            for (int y = h - 1; y >= 0; --y) {
                out.append(reinterpret_cast<const char*>(grey.constScanLine(y)), w);
                out.append(pad);
            }
        }
        return out;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    header(out, rgb, 24, 0, std::uint32_t(stride * h), 0);
    std::vector<char> row(stride, 0);
    for (int y = h - 1; y >= 0; --y) {
        const uchar* src = rgb.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = char(src[3 * x + 2]);
            row[3 * x + 1] = char(src[3 * x + 1]);
            row[3 * x + 2] = char(src[3 * x]);
        }
        out.append(row.data(), qsizetype(stride));
    }
    return out;
}

QByteArray encodeBmpFile(const QImage& image) {
    const QByteArray dib = encodeDib(image);
    std::uint32_t colours = 0;
    if (dib.size() >= 36)
        colours = qFromLittleEndian<std::uint32_t>(dib.constData() + 32);
    QByteArray out("BM");
    put32(out, std::uint32_t(14 + dib.size()));
    put32(out, 0);
    put32(out, 14 + kInfoHeaderSize + colours * 4);
    out.append(dib);
    return out;
}

} // namespace kvz::docview
