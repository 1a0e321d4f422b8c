#include "platform/docview/WmfPlayer.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Text needs fonts, fonts need a GUI application; the offscreen platform needs no display.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    (void)kvz::wmf::inspect(bytes);
    // The last bytes double as an OLE picture header, so that path is fuzzed too.
    std::optional<kvz::wmf::MetafilePict> pict;
    if (size >= 6 && (data[0] & 1))
        pict =
            kvz::wmf::MetafilePict{data[size - 1] % 9, data[size - 2] * 100, data[size - 3] * 100};
    QImage image(48, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    (void)kvz::wmf::play(bytes, painter, QRectF(2, 2, 44, 28), pict);
    return 0;
}
