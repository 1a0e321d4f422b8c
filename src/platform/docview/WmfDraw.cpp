// Drawing side of the metafile player: pens, brushes, shapes, text and bitmaps.

#include "platform/docview/DibDecoder.h"
#include "platform/docview/WmfDib.h"
#include "platform/docview/WmfPlayback.h"
#include "platform/docview/WmfText.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

namespace kvz::wmf::detail {

namespace {

bool hasFonts() {
    // Fonts need a GUI application; a bare core application (a command-line tool) has none.
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool rasterOps(QPainter* painter) {
    return painter->paintEngine() &&
           painter->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
}

// Unions many rectangles in halves, so a region of n rectangles costs about n log n.
QRegion unite(const std::vector<QRect>& rects, std::size_t from, std::size_t to) {
    if (to - from == 1)
        return QRegion(rects[from]);
    const std::size_t mid = from + (to - from) / 2;
    return unite(rects, from, mid).united(unite(rects, mid, to));
}

} // namespace

bool Playback::budget(std::int64_t points) {
    points_ += points;
    ++primitives_;
    if (points_ > kMaxPoints || primitives_ > kMaxPrimitives)
        exhausted_ = true;
    return !exhausted_;
}

bool Playback::beginDraw() {
    if (exhausted_ || !budget(0))
        return false;
    if (!painter_)
        return true;
    if (clipDirty_) {
        painter_->restore();
        painter_->save();
        painter_->setClipRect(target_, Qt::IntersectClip);
        if (dc.clip)
            painter_->setClipRegion(*dc.clip, Qt::IntersectClip);
        clipDirty_ = false;
    }
    painter_->setTransform(baseTransform_);
    painter_->setRenderHint(QPainter::Antialiasing, true);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->setBackgroundMode(dc.bkMode == 2 ? Qt::OpaqueMode : Qt::TransparentMode);
    painter_->setBackground(dc.bkColor);
    return true;
}

void Playback::note(const QRectF& r) {
    if (painter_)
        return;
    const QRectF n = r.normalized();
    if (!measuredAny_) {
        measured_ = n;
        measuredAny_ = true;
        return;
    }
    measured_.setLeft(std::min(measured_.left(), n.left()));
    measured_.setTop(std::min(measured_.top(), n.top()));
    measured_.setRight(std::max(measured_.right(), n.right()));
    measured_.setBottom(std::max(measured_.bottom(), n.bottom()));
}

std::optional<QRectF> Playback::measured() const {
    if (!measuredAny_)
        return std::nullopt;
    // A lone line or dot still gets a frame of at least one unit.
    QRectF r = measured_;
    if (r.width() < 1)
        r.adjust(-(1 - r.width()) / 2, 0, (1 - r.width()) / 2, 0);
    if (r.height() < 1)
        r.adjust(0, -(1 - r.height()) / 2, 0, (1 - r.height()) / 2);
    return r;
}

QPen Playback::makePen() const {
    const int style = dc.pen.style & 0x0F;
    if (style == 5) // PS_NULL
        return QPen(Qt::NoPen);
    QPen pen(dc.pen.color);
    const double width = dc.pen.width * std::abs(scaleX());
    if (width <= 1.5) {
        // Thin pens are one pixel whatever the scale; only they may be dashed.
        pen.setWidthF(1.0);
        pen.setCosmetic(true);
        switch (style) {
        case 1:
            pen.setDashPattern({18, 6});
            break;
        case 2:
            pen.setDashPattern({3, 3});
            break;
        case 3:
            pen.setDashPattern({9, 6, 3, 6});
            break;
        case 4:
            pen.setDashPattern({9, 3, 3, 3, 3, 3});
            break;
        default:
            break;
        }
    } else {
        pen.setWidthF(std::min(width, 1e4));
    }
    switch (dc.pen.style & 0x0F00) {
    case 0x0100:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case 0x0200:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (dc.pen.style & 0xF000) {
    case 0x1000:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case 0x2000:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    }
    return pen;
}

QBrush Playback::makeBrush(const Brush& brush) const {
    switch (brush.style) {
    case 0: // BS_SOLID
        return QBrush(brush.color);
    case 2: { // BS_HATCHED
        static constexpr std::array<Qt::BrushStyle, 6> hatches = {
            Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
            Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(brush.color, brush.hatch >= 0 && brush.hatch < 6 ? hatches[brush.hatch]
                                                                       : Qt::SolidPattern);
    }
    case 3: // BS_PATTERN
    case 5: // BS_DIBPATTERN
    case 6: // BS_DIBPATTERNPT
        return brush.pattern.isNull() ? QBrush(brush.color) : QBrush(brush.pattern);
    default: // BS_NULL and anything unknown
        return QBrush(Qt::NoBrush);
    }
}

void Playback::shape(const QPainterPath& input, bool fill, bool stroke) {
    if (dc.rop2 == 11 || !beginDraw()) // R2_NOP draws nothing
        return;
    note(input.boundingRect());
    if (!painter_)
        return;
    QPainterPath path = input;
    path.setFillRule(dc.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    QPen pen = stroke ? makePen() : QPen(Qt::NoPen);
    QBrush brush = fill ? makeBrush(dc.brush) : QBrush(Qt::NoBrush);
    switch (dc.rop2) {
    case 1:    // R2_BLACK
    case 16: { // R2_WHITE
        const QColor c = dc.rop2 == 1 ? Qt::black : Qt::white;
        if (pen.style() != Qt::NoPen)
            pen.setColor(c);
        if (brush.style() != Qt::NoBrush)
            brush = QBrush(c);
        break;
    }
    case 6:  // R2_NOT
    case 7:  // R2_XORPEN
    case 9:  // R2_MASKPEN
    case 15: // R2_MERGEPEN
        if (rasterOps(painter_)) {
            painter_->setRenderHint(QPainter::Antialiasing, false);
            painter_->setCompositionMode(dc.rop2 == 6   ? QPainter::RasterOp_NotDestination
                                         : dc.rop2 == 7 ? QPainter::RasterOp_SourceXorDestination
                                         : dc.rop2 == 9 ? QPainter::RasterOp_SourceAndDestination
                                                        : QPainter::RasterOp_SourceOrDestination);
        }
        break;
    default:
        break;
    }
    // A dashed outline miles long would take forever to dash; draw it solid.
    if (pen.style() != Qt::NoPen && pen.style() != Qt::SolidLine && path.length() > 1e6)
        pen.setStyle(Qt::SolidLine);
    painter_->setPen(pen);
    painter_->setBrush(brush);
    painter_->drawPath(path);
}

bool Playback::curveTooLarge(const QRectF& bounds) const {
    if (!painter_)
        return false; // measuring costs nothing
    const double limit = kMaxCurveOverTarget * std::max({target_.width(), target_.height(), 256.0});
    return bounds.width() > limit || bounds.height() > limit;
}

void Playback::polygonRecord(const Params& p, bool closed) {
    if (!p.has(1))
        return;
    const std::size_t n = p.u16(0);
    if (n == 0 || !p.has(1 + 2 * n) || !budget(std::int64_t(n)))
        return;
    --primitives_; // beginDraw counts the primitive
    const QTransform m = logicalToTarget();
    QPolygonF polygon;
    polygon.reserve(qsizetype(n));
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF q = m.map(QPointF(p.i16(1 + 2 * i), p.i16(2 + 2 * i)));
        polygon.append(QPointF(std::clamp(q.x(), -kMaxCoordinate, kMaxCoordinate),
                               std::clamp(q.y(), -kMaxCoordinate, kMaxCoordinate)));
    }
    QPainterPath path;
    path.addPolygon(polygon);
    if (closed)
        path.closeSubpath();
    shape(path, closed, true);
}

void Playback::polyPolygon(const Params& p) {
    if (!p.has(1))
        return;
    const std::size_t polygons = p.u16(0);
    if (polygons == 0 || !p.has(1 + polygons))
        return;
    std::size_t total = 0;
    for (std::size_t i = 0; i < polygons; ++i)
        total += p.u16(1 + i);
    if (!p.has(1 + polygons + 2 * total) || !budget(std::int64_t(total)))
        return;
    --primitives_;
    const QTransform m = logicalToTarget();
    QPainterPath path;
    std::size_t at = 1 + polygons;
    for (std::size_t i = 0; i < polygons; ++i) {
        const std::size_t n = p.u16(1 + i);
        QPolygonF polygon;
        polygon.reserve(qsizetype(n));
        for (std::size_t k = 0; k < n; ++k, at += 2) {
            const QPointF q = m.map(QPointF(p.i16(at), p.i16(at + 1)));
            polygon.append(QPointF(std::clamp(q.x(), -kMaxCoordinate, kMaxCoordinate),
                                   std::clamp(q.y(), -kMaxCoordinate, kMaxCoordinate)));
        }
        if (n == 0)
            continue;
        path.addPolygon(polygon);
        path.closeSubpath();
    }
    shape(path, true, true);
}

void Playback::arcRecord(const Params& p, int kind) {
    if (!p.has(8))
        return;
    const QRectF r = mapRect(p.i16(7), p.i16(6), p.i16(5), p.i16(4));
    const QPointF start = map(p.i16(3), p.i16(2));
    const QPointF end = map(p.i16(1), p.i16(0));
    const double rx = r.width() / 2, ry = r.height() / 2;
    if (rx <= 0 || ry <= 0 || curveTooLarge(r))
        return;
    const QPointF c = r.center();
    // GDI gives the ends as points on radials; Qt wants the ellipse's parametric angles.
    const auto angle = [&](QPointF q) {
        return std::atan2(-(q.y() - c.y()) / ry, (q.x() - c.x()) / rx) * 180.0 / M_PI;
    };
    const double a1 = angle(start);
    double sweep = angle(end) - a1;
    while (sweep <= 0) // counterclockwise; equal ends make the whole ellipse
        sweep += 360;
    QPainterPath path;
    if (kind == 1) { // pie
        path.moveTo(c);
        path.arcTo(r, a1, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, a1);
        path.arcTo(r, a1, sweep);
        if (kind == 2) // chord
            path.closeSubpath();
    }
    shape(path, kind != 0, true);
}

void Playback::text(double x, double y, std::span<const std::uint8_t> chars,
                    std::span<const std::uint8_t> dx, int options, std::optional<QRectF> rect) {
    chars_ += std::int64_t(chars.size());
    if (chars_ > kMaxTextChars)
        exhausted_ = true;
    if (!beginDraw())
        return;
    if (rect && (options & 0x0002)) { // ETO_OPAQUE
        note(*rect);
        if (painter_)
            painter_->fillRect(*rect, dc.bkColor);
    }
    // ETO_GLYPH_INDEX: the bytes are glyph numbers of the original font, not characters.
    if (chars.empty() || (options & 0x0010) || !hasFonts())
        return;

    const double sx = scaleX(), sy = scaleY();
    const QString s = decodeText(chars, dc.font.charset, dc.font.face);

    // Height: negative is the em height, positive the cell height, zero a default size.
    double height = std::abs(dc.font.height * sy);
    if (dc.font.height == 0)
        height = 3.175 / mmPerUnit_ * std::abs(frameToTarget_.m22()); // 12 px at 96 dpi
    const double maxHeight = std::min(4000.0, std::max(64.0, 2 * target_.height()));
    height = std::clamp(height, 0.5, maxHeight);

    QFont font(dc.font.face);
    switch (dc.font.pitchAndFamily & 0xF0) {
    case 0x10:
        font.setStyleHint(QFont::Serif);
        break;
    case 0x30:
        font.setStyleHint(QFont::TypeWriter);
        break;
    case 0x40:
        font.setStyleHint(QFont::Cursive);
        break;
    case 0x50:
        font.setStyleHint(QFont::Decorative);
        break;
    default:
        font.setStyleHint(QFont::SansSerif);
        break;
    }
    font.setWeight(QFont::Weight(std::clamp(dc.font.weight == 0 ? 400 : dc.font.weight, 1, 1000)));
    font.setItalic(dc.font.italic);
    font.setUnderline(dc.font.underline);
    font.setStrikeOut(dc.font.strikeOut);
    const double dpi = painter_ && painter_->device() ? painter_->device()->logicalDpiY() : 96.0;
    const auto setPixels = [&](double px) { font.setPointSizeF(std::max(px, 0.5) * 72.0 / dpi); };
    setPixels(height);
    if (dc.font.height > 0) {
        const QFontMetricsF probe =
            painter_ ? QFontMetricsF(font, painter_->device()) : QFontMetricsF(font);
        const double cell = probe.ascent() + probe.descent();
        if (cell > 0)
            setPixels(height * height / cell);
    }
    if (dc.font.width != 0) {
        const QFontMetricsF probe =
            painter_ ? QFontMetricsF(font, painter_->device()) : QFontMetricsF(font);
        const double wanted = std::abs(dc.font.width * sx);
        if (probe.averageCharWidth() > 0)
            font.setStretch(
                int(std::lround(std::clamp(wanted / probe.averageCharWidth() * 100, 1.0, 4000.0))));
    }
    const QFontMetricsF fm =
        painter_ ? QFontMetricsF(font, painter_->device()) : QFontMetricsF(font);

    // Advances: the record's own, else the font's, plus any extra spacing.
    std::vector<double> advances(std::size_t(s.size()), 0.0);
    const std::size_t dxStep = (options & 0x2000) ? 2 : 1;
    const bool ownAdvances = dx.size() >= 2 * dxStep * advances.size() && !advances.empty();
    double width = 0;
    for (std::size_t i = 0; i < advances.size(); ++i) {
        if (ownAdvances) {
            const std::size_t at = 2 * dxStep * i;
            advances[i] = std::int16_t(dx[at] | dx[at + 1] << 8) * std::abs(sx);
        } else {
            advances[i] =
                fm.horizontalAdvance(s.at(qsizetype(i))) + dc.textCharExtra * std::abs(sx);
        }
        width += advances[i];
    }

    const bool updateCp = dc.textAlign & 0x0001;
    const QPointF origin = updateCp ? dc.current : QPointF(x, y);
    const QPointF at = map(origin.x(), origin.y());
    double x0 = 0;
    switch (dc.textAlign & 0x0006) {
    case 0x0002: // TA_RIGHT
        x0 = -width;
        break;
    case 0x0006: // TA_CENTER
        x0 = -width / 2;
        break;
    default:
        break;
    }
    double baseline = fm.ascent(); // TA_TOP
    if ((dc.textAlign & 0x0018) == 0x0018)
        baseline = 0; // TA_BASELINE
    else if (dc.textAlign & 0x0008)
        baseline = -fm.descent(); // TA_BOTTOM
    if (updateCp && sx != 0) {
        const double moved = (dc.textAlign & 0x0006) == 0x0002   ? -width
                             : (dc.textAlign & 0x0006) == 0x0006 ? 0
                                                                 : width;
        dc.current.setX(dc.current.x() + moved / sx);
    }

    QTransform place;
    place.translate(at.x(), at.y());
    place.rotate(-dc.font.escapement / 10.0);
    const QRectF box(x0, baseline - fm.ascent(), width, fm.ascent() + fm.descent());
    note(place.mapRect(box));
    if (!painter_)
        return;

    painter_->save();
    if (rect && (options & 0x0004)) // ETO_CLIPPED
        painter_->setClipRect(*rect, Qt::IntersectClip);
    painter_->setTransform(place * baseTransform_);
    if (dc.bkMode == 2)
        painter_->fillRect(box, dc.bkColor);
    painter_->setFont(font);
    painter_->setPen(dc.textColor);
    if (!ownAdvances && dc.textCharExtra == 0) {
        painter_->drawText(QPointF(x0, baseline), s);
    } else {
        double pos = x0;
        for (std::size_t i = 0; i < advances.size(); ++i) {
            painter_->drawText(QPointF(pos, baseline), QString(s.at(qsizetype(i))));
            pos += advances[i];
        }
    }
    painter_->restore();
}

void Playback::patternBlt(const QRectF& dest, std::uint32_t rop) {
    const int code = (rop >> 16) & 0xFF;
    if (!beginDraw())
        return;
    note(dest);
    if (!painter_)
        return;
    painter_->setRenderHint(QPainter::Antialiasing, false);
    switch (code) {
    case 0x00: // BLACKNESS
        painter_->fillRect(dest, Qt::black);
        break;
    case 0xFF: // WHITENESS
        painter_->fillRect(dest, Qt::white);
        break;
    case 0xF0: // PATCOPY
        painter_->fillRect(dest, makeBrush(dc.brush));
        break;
    case 0x55: // DSTINVERT
    case 0x5A: // PATINVERT
        if (rasterOps(painter_)) {
            painter_->setCompositionMode(code == 0x55 ? QPainter::RasterOp_NotDestination
                                                      : QPainter::RasterOp_SourceXorDestination);
            painter_->fillRect(dest, code == 0x55 ? QBrush(Qt::black) : makeBrush(dc.brush));
        }
        break;
    default:
        break;
    }
}

void Playback::bitmap(const QImage& image, QRect source, const QRectF& dest, std::uint32_t rop) {
    const int code = (rop >> 16) & 0xFF;
    if (code == 0x00 || code == 0xFF || code == 0xF0 || code == 0x55 || code == 0x5A) {
        patternBlt(dest.normalized(), rop);
        return;
    }
    if (!beginDraw())
        return;
    note(dest);
    if (!painter_)
        return;
    source = source.normalized().intersected(image.rect());
    if (source.isEmpty() || dest.width() == 0 || dest.height() == 0)
        return;
    QImage part = source == image.rect() ? image : image.copy(source);
    if (dest.width() < 0 || dest.height() < 0)
        part = part.mirrored(dest.width() < 0, dest.height() < 0);
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (code) {
    case 0x33: // NOTSRCCOPY
        part.invertPixels();
        break;
    case 0x88: // SRCAND
        mode = QPainter::RasterOp_SourceAndDestination;
        break;
    case 0xEE: // SRCPAINT
        mode = QPainter::RasterOp_SourceOrDestination;
        break;
    case 0x66: // SRCINVERT
        mode = QPainter::RasterOp_SourceXorDestination;
        break;
    case 0x22: // DSna: keeps what the mask leaves black
        mode = QPainter::RasterOp_NotSourceAndDestination;
        break;
    case 0xBB: // MERGEPAINT
        mode = QPainter::RasterOp_NotSourceOrDestination;
        break;
    case 0x44: // SRCERASE
        mode = QPainter::RasterOp_SourceAndNotDestination;
        break;
    case 0x11: // NOTSRCERASE
        mode = QPainter::RasterOp_NotSourceAndNotDestination;
        break;
    default:
        break;
    }
    if (mode != QPainter::CompositionMode_SourceOver) {
        if (!rasterOps(painter_)) {
            // Without raster operations only the plain combinations come close.
            if (code != 0xEE && code != 0x66)
                return;
            mode = QPainter::CompositionMode_SourceOver;
        }
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setCompositionMode(mode);
    }
    painter_->drawImage(dest.normalized(), part);
}

std::optional<QImage> Playback::decodePackedDib(std::span<const std::uint8_t> dib, int usage) {
    std::optional<std::vector<std::uint8_t>> rewritten;
    if (usage == 1) {
        std::vector<QColor> palette;
        if (selectedPalette_ && std::size_t(*selectedPalette_) < objects_.size() &&
            objects_[std::size_t(*selectedPalette_)])
            if (const auto* pal = std::get_if<Palette>(&*objects_[std::size_t(*selectedPalette_)]))
                palette = pal->entries;
        rewritten = paletteToRgb(dib, palette);
        if (!rewritten)
            return std::nullopt;
        dib = *rewritten;
    }
    const std::optional<QSize> size = docview::dibSize(dib);
    if (!dibComplete(dib) || !size || size->width() <= 0 || size->height() <= 0 ||
        size->width() > kMaxBitmapSide || size->height() > kMaxBitmapSide ||
        std::int64_t(size->width()) * size->height() > kMaxBitmapArea)
        return std::nullopt;
    bitmapPixels_ += std::int64_t(size->width()) * size->height();
    if (bitmapPixels_ > kMaxBitmapPixels) {
        exhausted_ = true;
        return std::nullopt;
    }
    docview::DibResult result = docview::decodeDib(dib);
    if (!result.dib)
        return std::nullopt;
    return std::move(result.dib->image);
}

void Playback::bltRecord(std::uint16_t fn, const Params& p, std::uint32_t sizeWords) {
    const bool noBitmap = sizeWords == std::uint32_t(fn >> 8) + 3;
    const std::size_t w = p.words();
    // Without a bitmap the last four words are always height, width, y, x of the target.
    const auto tailDest = [&]() {
        const double h = p.i16(w - 4), wd = p.i16(w - 3), y = p.i16(w - 2), x = p.i16(w - 1);
        return QRectF(map(x, y), map(x + wd, y + h)).normalized();
    };
    const auto destRect = [&](double x, double y, double wd, double h) {
        return QRectF(map(x, y), map(x + wd, y + h)); // keeps a mirroring sign
    };

    switch (fn) {
    case 0x061D: // META_PATBLT
        if (p.has(6))
            patternBlt(tailDest(), p.u32(0));
        break;
    case 0x0940: // META_DIBBITBLT
    case 0x0922: // META_BITBLT
        if (noBitmap && p.has(7)) {
            patternBlt(tailDest(), p.u32(0));
        } else if (p.has(9)) {
            const int ySrc = p.i16(2), xSrc = p.i16(3), h = p.i16(4), wd = p.i16(5);
            const std::optional<QImage> image =
                fn == 0x0940 ? decodePackedDib(p.from(8)) : decodeBitmap16(p.from(8));
            if (image)
                bitmap(*image, QRect(xSrc, ySrc, std::abs(wd), std::abs(h)),
                       destRect(p.i16(7), p.i16(6), wd, h), p.u32(0));
        }
        break;
    case 0x0B41: // META_DIBSTRETCHBLT
    case 0x0B23: // META_STRETCHBLT
        if (noBitmap && p.has(9)) {
            patternBlt(tailDest(), p.u32(0));
        } else if (p.has(11)) {
            const std::optional<QImage> image =
                fn == 0x0B41 ? decodePackedDib(p.from(10)) : decodeBitmap16(p.from(10));
            if (image)
                bitmap(*image, QRect(p.i16(5), p.i16(4), p.i16(3), p.i16(2)),
                       destRect(p.i16(9), p.i16(8), p.i16(7), p.i16(6)), p.u32(0));
        }
        break;
    case 0x0F43: // META_STRETCHDIB
        if (p.has(12)) {
            const std::span<const std::uint8_t> dib = p.from(11);
            const std::optional<QImage> image = decodePackedDib(dib, p.u16(2));
            if (!image)
                break;
            const int srcH = p.i16(3), srcW = p.i16(4), ySrc = p.i16(5), xSrc = p.i16(6);
            // Source rows count from the bottom for a bottom-up bitmap.
            const int top = dibBottomUp(dib) ? image->height() - ySrc - srcH : ySrc;
            bitmap(*image, QRect(xSrc, top, srcW, srcH),
                   destRect(p.i16(10), p.i16(9), p.i16(8), p.i16(7)), p.u32(0));
        }
        break;
    case 0x0D33: // META_SETDIBTODEV
        if (p.has(10)) {
            const std::optional<QImage> image = decodePackedDib(p.from(9), p.u16(0));
            if (image)
                bitmap(*image, image->rect(), destRect(p.i16(8), p.i16(7), p.i16(6), p.i16(5)),
                       0x00CC0020);
        }
        break;
    default:
        break; // records we need not play
    }
}

QRegion Playback::regionToTarget(const Region& region) const {
    std::vector<QRect> rects;
    rects.reserve(region.rects.size());
    for (const QRect& r : region.rects)
        rects.push_back(
            mapRect(r.left(), r.top(), r.right() + 1.0, r.bottom() + 1.0).toAlignedRect());
    return rects.empty() ? QRegion() : unite(rects, 0, rects.size());
}

void Playback::fillRegion(const Region& region, const Brush& brush, std::optional<QSizeF> frame) {
    if (!beginDraw())
        return;
    QRegion r = regionToTarget(region);
    if (frame) {
        // The border is what is left of the region once it is eroded by the frame size.
        const int w = std::max(1, int(std::lround(std::min(frame->width(), 1e6))));
        const int h = std::max(1, int(std::lround(std::min(frame->height(), 1e6))));
        const QRegion inner =
            r.translated(w, 0) & r.translated(-w, 0) & r.translated(0, h) & r.translated(0, -h) & r;
        r -= inner;
    }
    note(r.boundingRect());
    if (!painter_ || r.isEmpty())
        return;
    QPainterPath path;
    path.addRegion(r);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setPen(Qt::NoPen);
    painter_->setBrush(makeBrush(brush));
    painter_->drawPath(path);
}

} // namespace kvz::wmf::detail
