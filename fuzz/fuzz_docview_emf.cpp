// Enhanced metafiles: our record check, then the converter and the SVG drawing.
#include "fuzz_docview_support.h"
#include "platform/docview/EmfRenderer.h"

#include <QImage>
#include <QPainter>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvz::fuzz::ensureGuiApp();
    QString error;
    std::unique_ptr<kvz::docview::EmfPicture> pic =
        kvz::docview::EmfPicture::load({data, size}, error);
    if (pic) {
        QImage img(64, 48, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        QPainter p(&img);
        pic->draw(p, QRectF(0, 0, 64, 48));
    }
    return 0;
}
