#include "platform/docview/PageRenderer.h"

#include "platform/docview/DibDecoder.h"
#include "platform/docview/EmfRenderer.h"
#ifdef KVIZOR_HAVE_WMF_PLAYER
#include "platform/docview/WmfPlayer.h"
#endif

#include <QPainter>
#include <cmath>

namespace kvz::docview {
namespace {

// The page when nothing says how large it is: A4 portrait.
const QSizeF kDefaultPageMm(210.0, 297.0);
constexpr qreal kMmPerInch = 25.4;

QSizeF fromHimetric(const std::optional<QSizeF>& e) {
    return e ? QSizeF(e->width() / 100.0, e->height() / 100.0) : QSizeF();
}

#ifdef KVIZOR_HAVE_WMF_PLAYER
// A presentation stream's extent is that of an anisotropic METAFILEPICT.
std::optional<wmf::MetafilePict> metafilePict(const std::optional<QSizeF>& himetric) {
    if (!himetric)
        return std::nullopt;
    return wmf::MetafilePict{8, qRound(himetric->width()), qRound(himetric->height())};
}
#endif

} // namespace

PageRenderer::PageRenderer() = default;
PageRenderer::~PageRenderer() = default;

bool PageRenderer::loadPiece(Bytes piece, QString& error) {
    clear();
    ReadResult res = readPiece(piece);
    if (!res.picture) {
        error = res.error;
        return false;
    }
    setPicture(std::move(*res.picture));
    return true;
}

void PageRenderer::clear() {
    loaded_ = false;
    kind_ = PictureKind::None;
    wmf_.clear();
    wmfExtent_.reset();
    dib_ = QImage();
    emf_.reset();
    extentMm_ = QSizeF();
    note_.clear();
    cache_ = QImage();
    cacheSize_ = QSize();
}

void PageRenderer::setPicture(PagePicture picture) {
    clear();
    loaded_ = true;
    extentMm_ = fromHimetric(picture.extentHimetric);
    const Bytes data = asBytes(picture.data.constData(), std::size_t(picture.data.size()));
    switch (picture.kind) {
    case PictureKind::None:
        note_ = QStringLiteral("the document holds no picture that can be shown");
        break;
    case PictureKind::Dib: {
        DibResult res;
        if (picture.decoded)
            res.dib = std::move(picture.decoded);
        else
            res = decodeDib(data);
        if (!res.dib) {
            note_ = res.error;
            break;
        }
        kind_ = PictureKind::Dib;
        dib_ = std::move(res.dib->image);
        if (extentMm_.isEmpty()) {
            // Resolution from the header when it is plausible, else the screen's usual 96 dpi.
            auto mmPerPixel = [](int ppm) {
                return ppm >= 400 && ppm <= 40000 ? 1000.0 / ppm : kMmPerInch / 96.0;
            };
            extentMm_ = QSizeF(dib_.width() * mmPerPixel(res.dib->xPelsPerMeter),
                               dib_.height() * mmPerPixel(res.dib->yPelsPerMeter));
        }
        break;
    }
    case PictureKind::Emf: {
        QString why;
        emf_ = EmfPicture::load(data, why);
        if (!emf_) {
            note_ = why;
            break;
        }
        kind_ = PictureKind::Emf;
        if (extentMm_.isEmpty())
            extentMm_ = fromHimetric(emfFrameHimetric(data));
        break;
    }
    case PictureKind::Wmf: {
#ifdef KVIZOR_HAVE_WMF_PLAYER
        wmfExtent_ = picture.extentHimetric;
        const std::optional<wmf::WmfInfo> info = wmf::inspect(data, metafilePict(wmfExtent_));
        if (!info) {
            note_ = QStringLiteral("the metafile cannot be read");
            break;
        }
        kind_ = PictureKind::Wmf;
        wmf_ = std::move(picture.data);
        if (extentMm_.isEmpty() && info->sizeMm && info->sizeMm->width() > 0 &&
            info->sizeMm->height() > 0)
            extentMm_ = *info->sizeMm;
        if (extentMm_.isEmpty() && info->bounds.width() > 0 && info->bounds.height() > 0)
            extentMm_ =
                QSizeF(kDefaultPageMm.width(),
                       kDefaultPageMm.width() * info->bounds.height() / info->bounds.width());
#else
        note_ = QStringLiteral("metafiles cannot be shown in this build");
#endif
        break;
    }
    }
    if (extentMm_.isEmpty() || !std::isfinite(extentMm_.width()) ||
        !std::isfinite(extentMm_.height()))
        extentMm_ = kDefaultPageMm;
}

bool PageRenderer::hasPicture() const {
    return kind_ != PictureKind::None;
}

QSize PageRenderer::naturalSize(qreal dpiX, qreal dpiY) const {
    if (!loaded_)
        return {};
    return QSize(qMax(1, qRound(extentMm_.width() / kMmPerInch * dpiX)),
                 qMax(1, qRound(extentMm_.height() / kMmPerInch * dpiY)));
}

QRect PageRenderer::pageRect(QSize area) const {
    if (!loaded_ || area.isEmpty())
        return {};
    QSizeF page = extentMm_.scaled(QSizeF(area), Qt::KeepAspectRatio);
    const QSize px(qMax(1, qRound(page.width())), qMax(1, qRound(page.height())));
    return QRect(QPoint((area.width() - px.width()) / 2, (area.height() - px.height()) / 2), px);
}

const QImage& PageRenderer::render(QSize area) {
    if (area == cacheSize_ && !cache_.isNull())
        return cache_;
    cacheSize_ = area;
    cache_ = QImage();
    if (!loaded_ || area.isEmpty() || area.width() > kMaxImageSide || area.height() > kMaxImageSide)
        return cache_;
    cache_ = QImage(area, QImage::Format_ARGB32_Premultiplied);
    if (cache_.isNull())
        return cache_;
    cache_.fill(Qt::transparent);
    QPainter p(&cache_);
    drawPage(p, QRectF(pageRect(area)));
    return cache_;
}

void PageRenderer::drawPage(QPainter& painter, const QRectF& page) const {
    if (!loaded_ || page.isEmpty())
        return;
    painter.save();
    painter.fillRect(page, Qt::white);
    painter.setClipRect(page, Qt::IntersectClip);
    drawPicture(painter, page);
    painter.restore();
}

void PageRenderer::drawPicture(QPainter& painter, const QRectF& page) const {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    switch (kind_) {
    case PictureKind::None:
        break;
    case PictureKind::Dib: {
        const QSize target = page.size().toSize();
        if (target == dib_.size() || target.isEmpty()) {
            painter.drawImage(page, dib_);
        } else if (target.width() < dib_.width() && target.height() < dib_.height()) {
            // Shrinking: average the pixels, or thin lines and small text break up.
            painter.drawImage(page.topLeft(),
                              dib_.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        } else {
            painter.drawImage(page, dib_);
        }
        break;
    }
    case PictureKind::Emf:
        emf_->draw(painter, page);
        break;
    case PictureKind::Wmf:
#ifdef KVIZOR_HAVE_WMF_PLAYER
        wmf::play(asBytes(wmf_.constData(), std::size_t(wmf_.size())), painter, page,
                  metafilePict(wmfExtent_));
#endif
        break;
    }
}

} // namespace kvz::docview
