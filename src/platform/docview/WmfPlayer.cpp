#include "platform/docview/WmfPlayer.h"

#include "platform/docview/WmfDib.h"
#include "platform/docview/WmfPlayback.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace kvz::wmf {

using namespace detail;

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableSize = 22;
constexpr std::size_t kHeaderSize = 18;

enum Record : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETRELABS = 0x0105,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETTEXTJUSTIFICATION = 0x020A,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_FRAMEREGION = 0x0429,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_EXTTEXTOUT = 0x0A32,
};

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

struct Layout {
    std::size_t firstRecord = 0;
    std::size_t objects = 0;
    std::optional<QRect> placeable; // left, top, right, bottom as stored
    int inch = 1440;
};

std::optional<Layout> readLayout(std::span<const std::uint8_t> bytes) {
    Layout layout;
    std::size_t at = 0;
    if (bytes.size() >= kPlaceableSize && le32(bytes, 0) == kPlaceableKey) {
        const auto s = [&](std::size_t o) { return int(std::int16_t(le16(bytes, o))); };
        layout.placeable = QRect(QPoint(s(6), s(8)), QPoint(s(10), s(12)));
        layout.inch = le16(bytes, 14);
        at = kPlaceableSize;
    }
    if (bytes.size() < at + kHeaderSize)
        return std::nullopt;
    const std::uint16_t type = le16(bytes, at);
    const std::uint16_t headerWords = le16(bytes, at + 2);
    if ((type != 1 && type != 2) || headerWords != kHeaderSize / 2)
        return std::nullopt;
    layout.objects = std::min<std::size_t>(le16(bytes, at + 10), kMaxObjects);
    layout.firstRecord = at + kHeaderSize;
    return layout;
}

// Calls fn(function, params, sizeWords) for each well-formed record; stops at EOF, at a record
// whose size is impossible, or when fn returns false.
template <typename Fn>
void forEachRecord(std::span<const std::uint8_t> bytes, std::size_t at, Fn&& fn) {
    std::size_t count = 0;
    while (at + 6 <= bytes.size() && count++ < kMaxRecords) {
        const std::uint32_t sizeWords = le32(bytes, at);
        const std::uint16_t function = le16(bytes, at + 4);
        const std::uint64_t size = std::uint64_t(sizeWords) * 2;
        if (sizeWords < 3 || size > bytes.size() - at || function == META_EOF)
            return;
        if (!fn(function, Params(bytes.subspan(at + 6, std::size_t(size) - 6)), sizeWords))
            return;
        at += std::size_t(size);
    }
}

double unitMm(int mode) {
    switch (mode) {
    case MM_LOMETRIC:
        return 0.1;
    case MM_HIMETRIC:
        return 0.01;
    case MM_LOENGLISH:
        return 0.254;
    case MM_HIENGLISH:
        return 0.0254;
    case MM_TWIPS:
        return 25.4 / 1440.0;
    default:
        return 25.4 / 96.0;
    }
}

// How the picture is laid out before its first record plays: the state a container sets up
// (window = the picture's frame, viewport = the target) and the frame in viewport units.
struct Frame {
    DcState initial;
    QRectF viewportFrame;
    QRectF logical;
    double mmPerUnit = 25.4 / 96.0;
    std::optional<QSizeF> sizeMm;
};

std::optional<QSizeF> pictSizeMm(const std::optional<MetafilePict>& pict) {
    if (!pict || pict->xExt <= 0 || pict->yExt <= 0)
        return std::nullopt;
    const double unit = (pict->mapMode == MM_ISOTROPIC || pict->mapMode == MM_ANISOTROPIC)
                            ? 0.01
                            : unitMm(pict->mapMode);
    return QSizeF(pict->xExt * unit, pict->yExt * unit);
}

std::optional<Frame> frameOf(std::span<const std::uint8_t> bytes, const Layout& layout,
                             const std::optional<MetafilePict>& pict) {
    Frame f;
    if (layout.placeable) {
        const int w = layout.placeable->right() - layout.placeable->left();
        const int h = layout.placeable->bottom() - layout.placeable->top();
        if (w != 0 && h != 0) {
            const QRectF logical(
                QPointF(std::min(layout.placeable->left(), layout.placeable->right()),
                        std::min(layout.placeable->top(), layout.placeable->bottom())),
                QSizeF(std::abs(w), std::abs(h)));
            f.initial.windowOrg = logical.topLeft();
            f.initial.windowExt = QPointF(logical.width(), logical.height());
            f.initial.viewportExt = f.initial.windowExt;
            f.viewportFrame = QRectF(QPointF(0, 0), logical.size());
            f.logical = logical;
            f.mmPerUnit = 25.4 / (layout.inch > 0 ? layout.inch : 1440);
            f.sizeMm = QSizeF(logical.width() * f.mmPerUnit, logical.height() * f.mmPerUnit);
            return f;
        }
    }

    std::optional<QPointF> org, ext;
    forEachRecord(bytes, layout.firstRecord, [&](std::uint16_t fn, const Params& p, std::uint32_t) {
        if (fn == META_SETWINDOWORG && p.has(2) && !org)
            org = QPointF(p.i16(1), p.i16(0));
        if (fn == META_SETWINDOWEXT && p.has(2) && !ext && p.i16(0) != 0 && p.i16(1) != 0)
            ext = QPointF(p.i16(1), p.i16(0));
        return !(org && ext);
    });
    f.sizeMm = pictSizeMm(pict);
    if (ext) {
        const QPointF o = org.value_or(QPointF(0, 0));
        f.initial.windowOrg = o;
        f.initial.windowExt = *ext;
        f.initial.viewportExt = QPointF(std::abs(ext->x()), std::abs(ext->y()));
        f.viewportFrame = QRectF(QPointF(0, 0), QSizeF(std::abs(ext->x()), std::abs(ext->y())));
        f.logical = QRectF(o, QSizeF(ext->x(), ext->y())).normalized();
        if (f.sizeMm)
            f.mmPerUnit = f.sizeMm->width() / f.viewportFrame.width();
        return f;
    }
    if (pict && pict->mapMode >= MM_TEXT && pict->mapMode <= MM_TWIPS && f.sizeMm) {
        f.initial.mapMode = pict->mapMode;
        f.mmPerUnit = unitMm(pict->mapMode);
        f.viewportFrame = QRectF(0, 0, pict->xExt, pict->yExt);
        f.logical = pict->mapMode == MM_TEXT ? f.viewportFrame
                                             : QRectF(0, -pict->yExt, pict->xExt, pict->yExt);
        return f;
    }

    // No frame stated anywhere: measure what the records draw.
    Playback measure(nullptr, QTransform(), QRectF(), f.mmPerUnit, layout.objects);
    measure.dc = f.initial;
    measure.run(bytes, layout.firstRecord);
    const std::optional<QRectF> covered = measure.measured();
    if (!covered)
        return std::nullopt;
    f.viewportFrame = *covered;
    f.logical = *covered;
    return f;
}

} // namespace

std::optional<WmfInfo> inspect(std::span<const std::uint8_t> bytes,
                               const std::optional<MetafilePict>& pict) {
    const std::optional<Layout> layout = readLayout(bytes);
    if (!layout)
        return std::nullopt;
    const std::optional<Frame> frame = frameOf(bytes, *layout, pict);
    if (!frame)
        return std::nullopt;
    return WmfInfo{frame->logical, frame->sizeMm, frame->initial.mapMode};
}

bool play(std::span<const std::uint8_t> bytes, QPainter& painter, const QRectF& target,
          const std::optional<MetafilePict>& pict) {
    const std::optional<Layout> layout = readLayout(bytes);
    if (!layout)
        return false;
    const std::optional<Frame> frame = frameOf(bytes, *layout, pict);
    if (!frame)
        return true; // a metafile, but nothing in it to show
    if (!target.isValid() || target.isEmpty() || !painter.isActive())
        return true;
    const QRectF& v = frame->viewportFrame;
    const QTransform frameToTarget(target.width() / v.width(), 0, 0, target.height() / v.height(),
                                   target.left() - v.left() * target.width() / v.width(),
                                   target.top() - v.top() * target.height() / v.height());
    Playback playback(&painter, frameToTarget, target, frame->mmPerUnit, layout->objects);
    playback.dc = frame->initial;
    playback.run(bytes, layout->firstRecord);
    return true;
}

namespace detail {

Playback::Playback(QPainter* painter, const QTransform& frameToTarget, const QRectF& target,
                   double mmPerUnit, std::size_t objectSlots)
    : painter_(painter), frameToTarget_(frameToTarget), target_(target), mmPerUnit_(mmPerUnit),
      objects_(std::min(objectSlots, kMaxObjects)) {
    if (painter_) {
        baseTransform_ = painter_->transform();
        painter_->save();
        painter_->setClipRect(target_, Qt::IntersectClip);
    }
}

Playback::~Playback() {
    if (painter_)
        painter_->restore();
}

void Playback::run(std::span<const std::uint8_t> bytes, std::size_t firstRecord) {
    forEachRecord(bytes, firstRecord, [&](std::uint16_t fn, const Params& p, std::uint32_t size) {
        record(fn, p, size);
        return !exhausted_;
    });
}

QTransform Playback::logicalToTarget() const {
    double sx = 1, sy = 1;
    switch (dc.mapMode) {
    case MM_TEXT:
        break;
    case MM_LOMETRIC:
    case MM_HIMETRIC:
    case MM_LOENGLISH:
    case MM_HIENGLISH:
    case MM_TWIPS:
        sx = unitMm(dc.mapMode) / mmPerUnit_;
        sy = -sx;
        break;
    default:
        sx = dc.viewportExt.x() / dc.windowExt.x();
        sy = dc.viewportExt.y() / dc.windowExt.y();
        if (dc.mapMode == MM_ISOTROPIC) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        break;
    }
    const QTransform toViewport(sx, 0, 0, sy, dc.viewportOrg.x() - dc.windowOrg.x() * sx,
                                dc.viewportOrg.y() - dc.windowOrg.y() * sy);
    return toViewport * frameToTarget_;
}

double Playback::scaleX() const {
    return logicalToTarget().m11();
}
double Playback::scaleY() const {
    return logicalToTarget().m22();
}

QPointF Playback::map(double x, double y) const {
    const QPointF p = logicalToTarget().map(QPointF(x, y));
    return QPointF(std::clamp(p.x(), -kMaxCoordinate, kMaxCoordinate),
                   std::clamp(p.y(), -kMaxCoordinate, kMaxCoordinate));
}

QRectF Playback::mapRect(double left, double top, double right, double bottom) const {
    return QRectF(map(left, top), map(right, bottom)).normalized();
}

void Playback::createObject(Object object) {
    auto free = std::find_if(objects_.begin(), objects_.end(),
                             [](const std::optional<Object>& o) { return !o.has_value(); });
    if (free != objects_.end())
        *free = std::move(object);
    else if (objects_.size() < kMaxObjects) // a header that undercounts its objects
        objects_.push_back(std::move(object));
}

void Playback::selectObject(std::size_t index) {
    if (index >= objects_.size() || !objects_[index])
        return;
    const Object& o = *objects_[index];
    if (const auto* pen = std::get_if<Pen>(&o))
        dc.pen = *pen;
    else if (const auto* brush = std::get_if<Brush>(&o))
        dc.brush = *brush;
    else if (const auto* font = std::get_if<Font>(&o))
        dc.font = *font;
    else if (const auto* region = std::get_if<Region>(&o))
        setClip(regionToTarget(*region));
    else if (std::holds_alternative<Palette>(o))
        selectedPalette_ = int(index);
}

void Playback::deleteObject(std::size_t index) {
    if (index < objects_.size())
        objects_[index].reset();
    if (selectedPalette_ && std::size_t(*selectedPalette_) == index)
        selectedPalette_.reset();
}

void Playback::restoreDc(int which) {
    // Negative: that many levels back; positive: the absolute level (1 is the first SAVEDC).
    std::size_t keep = 0;
    if (which < 0) {
        const std::size_t back = std::size_t(-std::int64_t(which));
        if (back > saved_.size())
            return;
        keep = saved_.size() - back;
    } else if (which > 0) {
        if (std::size_t(which) > saved_.size())
            return;
        keep = std::size_t(which) - 1;
    } else {
        return;
    }
    const bool clipChanged = saved_[keep].clip != dc.clip;
    dc = saved_[keep];
    saved_.resize(keep);
    if (clipChanged)
        clipDirty_ = true;
}

void Playback::setClip(std::optional<QRegion> clip) {
    dc.clip = std::move(clip);
    clipDirty_ = true;
}

namespace {

Pen readPen(const Params& p) {
    Pen pen;
    pen.style = p.u16(0);
    pen.width = std::abs(int(p.i16(1)));
    pen.color = p.color(3);
    return pen;
}

Brush readBrush(const Params& p) {
    Brush brush;
    brush.style = p.u16(0);
    brush.color = p.color(1);
    brush.hatch = p.u16(3);
    return brush;
}

Font readFont(const Params& p) {
    Font font;
    font.height = p.i16(0);
    font.width = p.i16(1);
    font.escapement = p.i16(2);
    font.weight = p.i16(4);
    const std::span<const std::uint8_t> b = p.from(5);
    font.italic = b[0] != 0;
    font.underline = b[1] != 0;
    font.strikeOut = b[2] != 0;
    font.charset = b[3];
    font.pitchAndFamily = b[7];
    std::string face;
    for (std::size_t i = 8; i < b.size() && i < 8 + 32 && b[i] != 0; ++i)
        face.push_back(char(b[i]));
    font.face = QString::fromLatin1(face.data(), qsizetype(face.size()));
    return font;
}

Region readRegion(const Params& p, std::int64_t& budget) {
    Region region;
    if (!p.has(11))
        return region;
    const int scans = p.i16(5);
    const QRect bounds(QPoint(p.i16(7), p.i16(8)), QPoint(p.i16(9) - 1, p.i16(10) - 1));
    std::size_t at = 11;
    for (int s = 0; s < scans && p.has(at + 3); ++s) {
        const std::size_t count = p.u16(at);
        const int top = p.i16(at + 1), bottom = p.i16(at + 2);
        if (!p.has(at + 3 + count + 1))
            break;
        for (std::size_t k = 0;
             k + 1 < count && budget > 0 && region.rects.size() < kMaxRectsPerRegion;
             k += 2, --budget) {
            const int left = p.i16(at + 3 + k), right = p.i16(at + 4 + k);
            if (right > left && bottom > top)
                region.rects.push_back(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
        }
        at += 3 + count + 1;
    }
    if (region.rects.empty() && scans == 0 && bounds.isValid())
        region.rects.push_back(bounds);
    return region;
}

} // namespace

void Playback::record(std::uint16_t fn, const Params& p, std::uint32_t sizeWords) {
    switch (fn) {
    case META_SAVEDC:
        if (saved_.size() < kMaxSavedStates)
            saved_.push_back(dc);
        break;
    case META_RESTOREDC:
        if (p.has(1))
            restoreDc(p.i16(0));
        break;
    case META_SETBKMODE:
        if (p.has(1))
            dc.bkMode = p.u16(0);
        break;
    case META_SETMAPMODE:
        if (p.has(1) && p.u16(0) >= MM_TEXT && p.u16(0) <= MM_ANISOTROPIC)
            dc.mapMode = p.u16(0);
        break;
    case META_SETROP2:
        if (p.has(1))
            dc.rop2 = p.u16(0);
        break;
    case META_SETPOLYFILLMODE:
        if (p.has(1))
            dc.polyFillMode = p.u16(0);
        break;
    case META_SETTEXTCHAREXTRA:
        if (p.has(1))
            dc.textCharExtra = p.i16(0);
        break;
    case META_SETTEXTALIGN:
        if (p.has(1))
            dc.textAlign = p.u16(0);
        break;
    case META_SETBKCOLOR:
        if (p.has(2))
            dc.bkColor = p.color(0);
        break;
    case META_SETTEXTCOLOR:
        if (p.has(2))
            dc.textColor = p.color(0);
        break;
    case META_SETWINDOWORG:
        if (p.has(2))
            dc.windowOrg = QPointF(p.i16(1), p.i16(0));
        break;
    case META_SETWINDOWEXT:
        if (p.has(2) && p.i16(0) != 0 && p.i16(1) != 0)
            dc.windowExt = QPointF(p.i16(1), p.i16(0));
        break;
    case META_SETVIEWPORTORG:
        if (p.has(2))
            dc.viewportOrg = QPointF(p.i16(1), p.i16(0));
        break;
    case META_SETVIEWPORTEXT:
        if (p.has(2) && p.i16(0) != 0 && p.i16(1) != 0)
            dc.viewportExt = QPointF(p.i16(1), p.i16(0));
        break;
    case META_OFFSETWINDOWORG:
        if (p.has(2))
            dc.windowOrg += QPointF(p.i16(1), p.i16(0));
        break;
    case META_OFFSETVIEWPORTORG:
        if (p.has(2))
            dc.viewportOrg += QPointF(p.i16(1), p.i16(0));
        break;
    case META_SCALEWINDOWEXT:
    case META_SCALEVIEWPORTEXT:
        if (p.has(4) && p.i16(0) != 0 && p.i16(1) != 0 && p.i16(2) != 0 && p.i16(3) != 0) {
            QPointF& ext = fn == META_SCALEWINDOWEXT ? dc.windowExt : dc.viewportExt;
            const QPointF scaled(ext.x() * p.i16(3) / p.i16(2), ext.y() * p.i16(1) / p.i16(0));
            // Keep the extent within what a 16-bit record could state, so the scale stays sane.
            if (std::abs(scaled.x()) >= 1e-3 && std::abs(scaled.y()) >= 1e-3 &&
                std::abs(scaled.x()) <= 1e9 && std::abs(scaled.y()) <= 1e9)
                ext = scaled;
        }
        break;
    case META_MOVETO:
        if (p.has(2))
            dc.current = QPointF(p.i16(1), p.i16(0));
        break;
    case META_LINETO:
        if (p.has(2)) {
            const QPointF to(p.i16(1), p.i16(0));
            QPainterPath path(map(dc.current.x(), dc.current.y()));
            path.lineTo(map(to.x(), to.y()));
            dc.current = to;
            shape(path, false, true);
        }
        break;
    case META_POLYGON:
        polygonRecord(p, true);
        break;
    case META_POLYLINE:
        polygonRecord(p, false);
        break;
    case META_POLYPOLYGON:
        polyPolygon(p);
        break;
    case META_RECTANGLE:
    case META_ELLIPSE:
        if (p.has(4)) {
            QPainterPath path;
            const QRectF r = mapRect(p.i16(3), p.i16(2), p.i16(1), p.i16(0));
            if (fn == META_RECTANGLE)
                path.addRect(r);
            else if (!curveTooLarge(r))
                path.addEllipse(r);
            shape(path, true, true);
        }
        break;
    case META_ROUNDRECT:
        if (p.has(6)) {
            const QRectF r = mapRect(p.i16(5), p.i16(4), p.i16(3), p.i16(2));
            const double rx = std::min(std::abs(p.i16(1) * scaleX()) / 2, r.width() / 2);
            const double ry = std::min(std::abs(p.i16(0) * scaleY()) / 2, r.height() / 2);
            QPainterPath path;
            if (curveTooLarge(r))
                path.addRect(r);
            else
                path.addRoundedRect(r, rx, ry);
            shape(path, true, true);
        }
        break;
    case META_ARC:
        arcRecord(p, 0);
        break;
    case META_PIE:
        arcRecord(p, 1);
        break;
    case META_CHORD:
        arcRecord(p, 2);
        break;
    case META_SETPIXEL:
        if (p.has(4) && beginDraw()) {
            const QPointF at = map(p.i16(3), p.i16(2));
            const QRectF dot(at, QSizeF(1, 1));
            if (painter_)
                painter_->fillRect(dot, p.color(0));
            note(dot);
        }
        break;
    case META_TEXTOUT:
        if (p.has(1)) {
            const std::size_t len = p.u16(0);
            const std::size_t strWords = (len + 1) / 2;
            if (p.has(1 + strWords + 2))
                text(p.i16(1 + strWords + 1), p.i16(1 + strWords), p.from(1).first(len), {}, 0,
                     std::nullopt);
        }
        break;
    case META_EXTTEXTOUT:
        if (p.has(4)) {
            const double y = p.i16(0), x = p.i16(1);
            const std::size_t len = std::size_t(std::max<int>(0, p.i16(2)));
            const int options = p.u16(3);
            std::size_t at = 4;
            std::optional<QRectF> rect;
            if (options & 0x0006) { // ETO_OPAQUE | ETO_CLIPPED
                if (!p.has(at + 4))
                    break;
                rect = mapRect(p.i16(at), p.i16(at + 1), p.i16(at + 2), p.i16(at + 3));
                at += 4;
            }
            const std::size_t strWords = (len + 1) / 2;
            if (!p.has(at + strWords))
                break;
            const std::span<const std::uint8_t> chars = p.from(at).first(len);
            std::span<const std::uint8_t> dx = p.from(at + strWords);
            const std::size_t dxWords = (options & 0x2000) ? 2 * len : len; // ETO_PDY: pairs
            dx = dx.size() >= 2 * dxWords ? dx.first(2 * dxWords) : std::span<const std::uint8_t>{};
            text(x, y, chars, dx, options, rect);
        }
        break;
    case META_CREATEPENINDIRECT:
        if (p.has(5))
            createObject(readPen(p));
        else
            createObject(Pen{});
        break;
    case META_CREATEBRUSHINDIRECT:
        if (p.has(4))
            createObject(readBrush(p));
        else
            createObject(Brush{});
        break;
    case META_CREATEFONTINDIRECT:
        if (p.has(9))
            createObject(readFont(p));
        else
            createObject(Font{});
        break;
    case META_CREATEPALETTE: {
        Palette palette;
        if (p.has(2)) {
            const std::size_t n = std::min<std::size_t>(p.u16(1), (p.words() - 2) / 2);
            for (std::size_t i = 0; i < n; ++i)
                palette.entries.push_back(p.color(2 + 2 * i));
        }
        createObject(std::move(palette));
        break;
    }
    case META_SETPALENTRIES:
        // New colours for a run of entries of the selected palette.
        if (p.has(2) && selectedPalette_ && objects_[std::size_t(*selectedPalette_)]) {
            auto* palette = std::get_if<Palette>(&*objects_[std::size_t(*selectedPalette_)]);
            const std::size_t start = p.u16(0);
            const std::size_t n = std::min<std::size_t>(p.u16(1), (p.words() - 2) / 2);
            for (std::size_t i = 0; palette && i < n && start + i < palette->entries.size(); ++i)
                palette->entries[start + i] = p.color(2 + 2 * i);
        }
        break;
    case META_CREATEREGION:
        createObject(readRegion(p, regionRects_));
        break;
    case META_DIBCREATEPATTERNBRUSH:
    case META_CREATEPATTERNBRUSH: {
        Brush brush;
        brush.style = 3; // BS_PATTERN
        brush.color = Qt::gray;
        if (fn == META_CREATEPATTERNBRUSH && p.has(14)) {
            // A Bitmap16 header, 18 reserved bytes, then the pattern's bits.
            const std::span<const std::uint8_t> b = p.from(0);
            std::vector<std::uint8_t> bitmap(b.begin(), b.begin() + 10);
            bitmap.insert(bitmap.end(), b.begin() + 28, b.end());
            if (auto image = decodeBitmap16(bitmap);
                image && patternPixels_ + std::int64_t(image->width()) * image->height() <=
                             kMaxPatternPixels) {
                patternPixels_ += std::int64_t(image->width()) * image->height();
                brush.pattern = *image;
            }
        }
        if (fn == META_DIBCREATEPATTERNBRUSH && p.has(2)) {
            if (auto image = decodePackedDib(p.from(2), p.u16(0) == 3 ? 0 : p.u16(1));
                image && patternPixels_ + std::int64_t(image->width()) * image->height() <=
                             kMaxPatternPixels) {
                patternPixels_ += std::int64_t(image->width()) * image->height();
                brush.pattern = *image;
            }
        }
        createObject(std::move(brush));
        break;
    }
    case META_SELECTOBJECT:
        if (p.has(1))
            selectObject(p.u16(0));
        break;
    case META_SELECTPALETTE:
        if (p.has(1))
            selectObject(p.u16(0));
        break;
    case META_DELETEOBJECT:
        if (p.has(1))
            deleteObject(p.u16(0));
        break;
    case META_SELECTCLIPREGION: {
        const std::size_t index = p.has(1) ? p.u16(0) : objects_.size();
        const Region* region = nullptr;
        if (index < objects_.size() && objects_[index])
            region = std::get_if<Region>(&*objects_[index]);
        setClip(region ? std::optional<QRegion>(regionToTarget(*region)) : std::nullopt);
        break;
    }
    case META_INTERSECTCLIPRECT:
    case META_EXCLUDECLIPRECT:
        if (p.has(4)) {
            const QRegion r(mapRect(p.i16(3), p.i16(2), p.i16(1), p.i16(0)).toRect());
            const QRegion base = dc.clip.value_or(QRegion(target_.toAlignedRect()));
            setClip(fn == META_INTERSECTCLIPRECT ? base.intersected(r) : base.subtracted(r));
        }
        break;
    case META_OFFSETCLIPRGN:
        if (p.has(2) && dc.clip) {
            const QPointF d = map(p.i16(1), p.i16(0)) - map(0, 0);
            setClip(dc.clip->translated(d.toPoint()));
        }
        break;
    case META_FILLREGION:
    case META_FRAMEREGION:
        if (p.has(2)) {
            const std::size_t ri = p.u16(0), bi = p.u16(1);
            if (ri < objects_.size() && bi < objects_.size() && objects_[ri] && objects_[bi]) {
                const auto* region = std::get_if<Region>(&*objects_[ri]);
                const auto* brush = std::get_if<Brush>(&*objects_[bi]);
                if (region && brush && fn == META_FILLREGION)
                    fillRegion(*region, *brush);
                else if (region && brush && p.has(4))
                    fillRegion(
                        *region, *brush,
                        QSizeF(std::abs(p.i16(3) * scaleX()), std::abs(p.i16(2) * scaleY())));
            }
        }
        break;
    case META_PAINTREGION:
        if (p.has(1) && p.u16(0) < objects_.size() && objects_[p.u16(0)])
            if (const auto* region = std::get_if<Region>(&*objects_[p.u16(0)]))
                fillRegion(*region, dc.brush);
        break;
    default:
        bltRecord(fn, p, sizeWords); // bitmaps and pattern blocks; ignores anything else
        break;
    }
}

} // namespace detail

} // namespace kvz::wmf
