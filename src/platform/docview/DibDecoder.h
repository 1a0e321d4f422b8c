#pragma once

// Decodes a device-independent bitmap (the header, the colour table and the bits, as the
// clipboard and OLE presentation streams hold it) or a whole .bmp file into a QImage.
// Outside bytes: every length is checked, the image size is capped.

#include "platform/docview/ByteReader.h"

#include <QImage>
#include <QString>
#include <optional>

namespace kvz::docview {

// Limits on what we decode: one side, and the pixel count (a 32-bit image of this many pixels
// is ~160 MB, the most a page may cost).
inline constexpr int kMaxImageSide = 16384;
inline constexpr qint64 kMaxImagePixels = 40'000'000;

struct DibImage {
    QImage image;
    // Resolution from the header, 0 when not given; lets a page keep its printed size.
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
};

struct DibResult {
    std::optional<DibImage> dib;
    QString error;
};

// A packed DIB: BITMAPCOREHEADER or BITMAPINFOHEADER (and its V4/V5 extensions), the colour
// table, the bits right after it. 1, 4, 8, 16, 24 and 32 bits; BI_RGB, BI_BITFIELDS, BI_RLE8,
// BI_RLE4; bottom-up and top-down. Bits missing at the end leave white rows.
DibResult decodeDib(Bytes dib);

// A .bmp file: the 14-byte file header, whose offset to the bits is honoured when it is sound.
DibResult decodeBmpFile(Bytes file);

// Where the bits of a packed DIB begin (after the header, masks and colour table).
std::optional<std::size_t> packedBitsOffset(Bytes dib);

// Only reads the header: width and height of a packed DIB, for checking extents.
std::optional<QSize> dibSize(Bytes dib);

} // namespace kvz::docview
