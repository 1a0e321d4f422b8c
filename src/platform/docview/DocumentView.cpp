#include "platform/docview/DocumentView.h"

#include "platform/docview/PageRenderer.h"
#include "platform/docview/PieceReader.h"

#include <QIODevice>
#include <QMouseEvent>
#include <QPainter>

namespace kvz {

namespace {

// Reads up to n bytes in pieces, so a size that lies costs no more memory than the bytes there
// really are.
QByteArray readUpTo(QIODevice& in, qint64 n) {
    QByteArray out;
    constexpr qint64 kChunk = 1 << 20;
    while (qint64(out.size()) < n) {
        const QByteArray part = in.read(qMin(kChunk, n - qint64(out.size())));
        if (part.isEmpty())
            break;
        out.append(part);
    }
    return out;
}

} // namespace

DocumentView::DocumentView(QWidget* parent)
    : QWidget(parent), renderer_(std::make_unique<docview::PageRenderer>()) {
    // A page to look at: it takes no focus and has nothing to edit.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // moves are reported with or without a button held
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

DocumentView::~DocumentView() = default;

bool DocumentView::loadFromStream(QIODevice& in) {
    const qint64 start = in.pos();
    const QByteArray head = in.peek(qint64(docview::kPieceHeaderSize));
    const docview::Bytes headBytes = docview::asBytes(head.constData(), std::size_t(head.size()));
    // Only the signature can be checked before the bytes are read; the size is checked after.
    if (head.size() < qint64(docview::kPieceHeaderSize) ||
        docview::readLe32(headBytes, 0) != docview::kPieceSignature) {
        clear();
        lastError_ = QStringLiteral("the document piece has a wrong signature");
        return false;
    }
    const qint64 total =
        qint64(docview::kPieceHeaderSize) + qint64(docview::readLe32(headBytes, 8));
    const QByteArray piece = readUpTo(in, total);
    if (qint64(piece.size()) < total) {
        if (!in.isSequential())
            in.seek(start);
        clear();
        lastError_ = QStringLiteral("the document piece is cut short");
        return false;
    }
    return loadFromBytes(piece);
}

bool DocumentView::loadFromBytes(const QByteArray& piece) {
    QString error;
    const bool ok =
        renderer_->loadPiece(docview::asBytes(piece.constData(), std::size_t(piece.size())), error);
    lastError_ = ok ? renderer_->pictureNote() : error;
    updateGeometry();
    update();
    notePageRect();
    return ok;
}

void DocumentView::clear() {
    renderer_->clear();
    lastError_.clear();
    updateGeometry();
    update();
    notePageRect();
}

bool DocumentView::isEmpty() const {
    return renderer_->isEmpty();
}

QSize DocumentView::naturalSize() const {
    return renderer_->naturalSize(logicalDpiX(), logicalDpiY());
}

QRect DocumentView::pageRect() const {
    return renderer_->pageRect(size());
}

void DocumentView::notePageRect() {
    const QRect page = pageRect();
    if (page == pageRect_)
        return;
    pageRect_ = page;
    Q_EMIT pageMoved(page);
}

void DocumentView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!renderer_->isEmpty()) {
        const qreal dpr = devicePixelRatioF();
        const QImage& page = renderer_->render((QSizeF(size()) * dpr).toSize());
        if (!page.isNull()) {
            QImage shown = page; // shares the cached pixels
            shown.setDevicePixelRatio(dpr);
            painter.drawImage(QPoint(0, 0), shown);
        }
    }
    Q_EMIT paintOver(painter);
    painter.end();
    Q_EMIT repainted();
}

void DocumentView::mousePressEvent(QMouseEvent* e) {
    Q_EMIT mousePressed(e->button(), e->position().toPoint());
}

void DocumentView::mouseMoveEvent(QMouseEvent* e) {
    Q_EMIT mouseMoved(e->buttons(), e->position().toPoint());
}

void DocumentView::mouseReleaseEvent(QMouseEvent* e) {
    Q_EMIT mouseReleased(e->button(), e->position().toPoint());
}

void DocumentView::resizeEvent(QResizeEvent*) {
    notePageRect();
}

} // namespace kvz
