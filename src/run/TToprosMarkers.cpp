// Markers on the question page of an ordering question: painted over the document each time it
// paints, picked up and dropped with the mouse, the exchanged marker gliding home. The numbers
// and the exchange are MarkerBoard's; this file holds the painting, the pointer and the cursor.

#include "run/TTopros.h"

#include "platform/InputBlock.h"
#include "platform/docview/DocumentView.h"
#include "run/MarkerPictures.h"
#include "run/RunContext.h"
#include "shell/RunState.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QEventLoop>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>

namespace kvz {

namespace {

// The pause between two steps of the glide.
constexpr int kGlideStepMs = 2;

// Mouse events of the page and of the scroll box around it, in the page's coordinates, and the
// page going away in the middle of a drag.
class QuestMouse : public QObject {
public:
    explicit QuestMouse(TTopros& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = window_.Quest->mapFromGlobal(mouse->globalPosition()).toPoint();
            if (event->type() == QEvent::MouseButtonPress)
                window_.QuestMouseDown(mouse->button(), pos);
            else if (event->type() == QEvent::MouseMove)
                window_.QuestMouseMove(pos);
            else
                window_.QuestMouseUp(mouse->button(), pos);
            return false;
        }
        case QEvent::Hide:
            if (watched == window_.Quest)
                window_.cancelMarkerDrag();
            return false;
        default:
            return false;
        }
    }

private:
    TTopros& window_;
};

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

void TTopros::setupMarkers() {
    auto* mouse = new QuestMouse(*this);
    mouse->setObjectName(QStringLiteral("questMouse"));
    Quest->installEventFilter(mouse);
    ScrollBox1->viewport()->installEventFilter(mouse);
    connect(Quest, &DocumentView::paintOver, this, [this](QPainter& p) { paintMarkers(p); });
    // The grid lies over the page as the viewer draws it, wherever a resize or another page's
    // shape puts it.
    connect(Quest, &DocumentView::pageMoved, this, [this] { syncMarkerCells(); });
    syncMarkerCells();
}

void TTopros::teardownMarkers() {
    delete findChild<QuestMouse*>(QStringLiteral("questMouse"), Qt::FindDirectChildrenOnly);
}

bool TTopros::markersOnPage() const {
    return pD->isVisibleTo(this);
}

void TTopros::syncMarkerCells() {
    // Cursors are as large as a cell.
    if (markerBoard.setPage(Quest->pageRect()))
        markerCursors_.clear();
}

const QCursor& TTopros::markerCursor(int number) {
    if (markerCursors_.empty()) {
        // Cell-sized colour cursors where the pointer is ours to move; the standard shapes
        // elsewhere.
        const RunState& rs = context_.runState();
        const QSize cell =
            rs.limitedPlatform ? QSize() : QSize(markerBoard.cellWidth(), markerBoard.cellHeight());
        for (int i = 0; i <= markers::kLast; ++i)
            markerCursors_.push_back(markers::cursor(i, cell.isEmpty() ? QSize() : cell));
    }
    return markerCursors_[std::size_t(std::clamp(number, 0, markers::kLast))];
}

void TTopros::paintMarkers(QPainter& painter) {
    if (!markersOnPage() || markerBoard.cellWidth() == 0 || markerBoard.cellHeight() == 0)
        return;
    // Cells past the page's edge are not on the page: what lies there is not shown.
    painter.save();
    painter.setClipRect(markerBoard.page(), Qt::IntersectClip);
    // The marker in hand travels with the pointer, not on the page.
    const bool lifted = markerBoard.dragging() || markerGliding_;
    for (int col = 0; col < kGridSize; ++col) {
        for (int row = 0; row < kGridSize; ++row) {
            const int n = markerBoard.numberAt(col, row);
            if (n == 0 || (lifted && markerBoard.startCell() == GridCell{col, row}))
                continue;
            markers::draw(painter, markerBoard.cellRect({col, row}), n);
        }
    }
    painter.restore();
}

void TTopros::setMarkerCursor(int number) {
    if (markerCursorSet_) {
        QApplication::changeOverrideCursor(markerCursor(number));
    } else {
        QApplication::setOverrideCursor(markerCursor(number));
        markerCursorSet_ = true;
    }
}

void TTopros::endMarkerDrag() {
    markerGliding_ = false;
    if (markerCursorSet_) {
        QApplication::restoreOverrideCursor();
        markerCursorSet_ = false;
    }
    Quest->update();
}

void TTopros::cancelMarkerDrag() {
    markerBoard.cancelDrag();
    endMarkerDrag();
}

void TTopros::focusSlotOfNumber(int number) {
    const int slot = markerBoard.slotOfNumber(number);
    if (number == 0 || slot == 0)
        return;
    QComboBox* box = CbOtvetOfset[std::size_t(slot - 1)];
    if (box->isVisible() && box->isEnabled())
        box->setFocus();
}

void TTopros::QuestMouseDown(Qt::MouseButton, QPoint pos) {
    // A finished test's answers are only looked at: the panel is disabled in review.
    if (!markersOnPage() || !pD->isEnabled() || markerBoard.dragging() || markerGliding_)
        return;
    const int number = markerBoard.beginDrag(pos.x(), pos.y());
    if (number == 0)
        return;
    markerDownPoint_ = Quest->mapToGlobal(pos);
    Quest->update(markerBoard.cellRect(markerBoard.startCell()));
    setMarkerCursor(number);
    focusSlotOfNumber(number);
}

void TTopros::QuestMouseMove(QPoint pos) {
    if (!markersOnPage() || !markerBoard.dragging())
        return;
    markerBoard.moveDrag(pos.x(), pos.y());
}

void TTopros::QuestMouseUp(Qt::MouseButton, QPoint pos) {
    if (markerGliding_)
        return;
    if (!markerBoard.dragging() || !markersOnPage()) {
        cancelMarkerDrag();
        return;
    }
    const bool limited = context_.runState().limitedPlatform;
    InputBlock block(!limited);
    const int k = currentItem();
    const MarkerDrop drop = markerBoard.drop(pos.x(), pos.y());
    if (!drop.accepted || k < 0) {
        endMarkerDrag();
        return;
    }
    if (drop.homing != 0)
        setMarkerCursor(drop.homing);
    // The move is the pupil's answer as soon as it is made: a clock that ends the test during
    // the glide below stores it with the rest.
    if (drop.touched) {
        questionSet.answers[std::size_t(k)].touched = true;
        Stests->viewport()->update();
    }

    // The marker that was under the drop (or the dragged one, back from an empty cell) slides
    // to where the drag began, then the pointer returns to the drop.
    const QPoint dropPoint = Quest->mapToGlobal(pos);
    if (!limited) {
        markerGliding_ = true;
        Quest->update();
        for (const QPoint& step : markerBoard.glidePath(dropPoint, markerDownPoint_)) {
            QCursor::setPos(step);
            pause(kGlideStepMs);
            if (!isVisible() || currentItem() != k)
                break;
        }
        if (drop.homing != 0)
            QCursor::setPos(dropPoint);
    }

    // The clock may have moved to another question meanwhile: its drop-downs are not ours.
    if (currentItem() == k && markersOnPage()) {
        for (int slot : {drop.slotA, drop.slotB}) {
            if (slot < 1 || slot > kMaxSlots)
                continue;
            QComboBox* box = CbOtvetOfset[std::size_t(slot - 1)];
            const QSignalBlocker quiet(box);
            const int n = markerBoard.workSlots()[std::size_t(slot - 1)].number;
            box->setCurrentIndex(n >= 1 && n <= box->count() ? n - 1 : -1);
        }
        focusSlotOfNumber(markerBoard.numberAt(drop.dropCell.col, drop.dropCell.row));
    }
    endMarkerDrag();
}

} // namespace kvz
