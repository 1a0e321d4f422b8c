#pragma once

// Draws a piece's presentation picture: piece -> picture -> image at a size. The viewer widget
// and kvizor-pack both draw through it, so the tool shows exactly what the viewer paints.

#include "platform/docview/ByteReader.h"
#include "platform/docview/PieceReader.h"

#include <QImage>
#include <QRect>
#include <QSizeF>
#include <QString>
#include <memory>

class QPainter;

namespace kvz::docview {

class EmfPicture;

class PageRenderer {
public:
    PageRenderer();
    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // False (and emptied) when the piece is rejected. A sound piece whose picture cannot be
    // drawn loads as an empty white page of its extent; pictureNote() says why.
    bool loadPiece(Bytes piece, QString& error);
    void setPicture(PagePicture picture);
    void clear();

    bool isEmpty() const { return !loaded_; }
    bool hasPicture() const;
    PictureKind kind() const { return kind_; }
    const QString& pictureNote() const { return note_; }

    // The page's printed size, and that size in pixels at a resolution.
    QSizeF extentMm() const { return extentMm_; }
    QSize naturalSize(qreal dpiX, qreal dpiY) const;

    // Where the page lies in an area: scaled keeping its aspect, centred.
    QRect pageRect(QSize area) const;

    // The area drawn: transparent around the page, the page white with its picture. Cached for
    // the last size, so drawing the same size again costs nothing.
    const QImage& render(QSize area);
    // Uncached drawing of the page into a rectangle of any painter.
    void drawPage(QPainter& painter, const QRectF& page) const;

private:
    void drawPicture(QPainter& painter, const QRectF& page) const;

    bool loaded_ = false;
    PictureKind kind_ = PictureKind::None;
    QByteArray wmf_;
    std::optional<QSizeF> wmfExtent_; // HIMETRIC, from the presentation header
    QImage dib_;
    std::unique_ptr<EmfPicture> emf_;
    QSizeF extentMm_;
    QString note_;
    QImage cache_;
    QSize cacheSize_;
};

} // namespace kvz::docview
