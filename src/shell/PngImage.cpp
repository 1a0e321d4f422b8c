#include "shell/PngImage.h"

#include <QFile>
#include <png.h>

namespace kvz {

namespace {

// Larger pictures than any of ours are refused rather than allocated.
constexpr png_uint_32 kMaxSide = 8192;

} // namespace

QImage readPngImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.constData(), std::size_t(bytes.size())))
        return {};
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide ||
        image.height > kMaxSide) {
        png_image_free(&image);
        return {};
    }
    // Blue, green, red, alpha in memory: QImage's ARGB32 on a little-endian machine, which is
    // also what the byte order of its 32-bit pixels gives on a big-endian one.
    image.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    QImage out(int(image.width), int(image.height), QImage::Format_ARGB32);
    if (out.isNull()) {
        png_image_free(&image);
        return {};
    }
    if (!png_image_finish_read(&image, nullptr, out.bits(), png_int_32(out.bytesPerLine()),
                               nullptr))
        return {};
    return out;
}

} // namespace kvz
