#pragma once

// Enhanced metafiles (EMF): the record chain checked by us, then converted to SVG by
// libemf2svg and drawn by QtSvg.

#include "platform/docview/ByteReader.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <memory>
#include <optional>

class QPainter;
class QSvgRenderer;

namespace kvz::docview {

// Checks the header and walks every record up to EMR_EOF: sizes that are whole, aligned and
// inside the bytes; the record count bounded. Returns an error text, empty when sound.
QString checkEmf(Bytes emf);

// Whether the EMF+ records carried in comments are whole (only meaningful after checkEmf).
bool emfPlusSound(Bytes emf);

class EmfPicture {
public:
    // Nothing (error set) when the metafile is unsound or cannot be converted.
    static std::unique_ptr<EmfPicture> load(Bytes emf, QString& error);
    ~EmfPicture();

    void draw(QPainter& painter, const QRectF& target) const;
    const QByteArray& svg() const { return svg_; }

private:
    EmfPicture() = default;
    QByteArray svg_;
    std::unique_ptr<QSvgRenderer> renderer_;
};

} // namespace kvz::docview
