#include "run/StestsDelegate.h"

#include "l10n/MessageTable.h"
#include "run/RunContext.h"
#include "run/TTopros.h"
#include "shell/RunState.h"

#include <QPainter>

namespace kvz {

StestsDelegate::StestsDelegate(const TTopros& window, const MessageTable& messages, QObject* parent)
    : QStyledItemDelegate(parent), window_(window), messages_(messages) {}

void StestsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const int item = index.row();
    const QuestionSet& set = window_.questionSet;
    const std::vector<std::string>& verdicts = window_.context_.runState().verdicts;
    StestsItemLook look;
    look.touched = item < int(set.answers.size()) && set.answers[std::size_t(item)].touched;
    look.selected = item == window_.currentItem();
    look.review = window_.inReview();
    if (item < int(verdicts.size())) {
        look.right = verdicts[std::size_t(item)] == messages_.msg(22);
        look.wrong = verdicts[std::size_t(item)] == messages_.msg(23);
    }
    const QPalette& palette = option.palette;
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor fill = stestsItemColour(
        look, base, answeredItemFace(base, palette.color(QPalette::Active, QPalette::Button)));
    const QRect r = option.rect;
    painter->save();
    painter->fillRect(r, fill);
    // White on the dark selection colours, the usual text colour elsewhere.
    painter->setPen(fill.lightness() < 100 ? QColor(Qt::white)
                                           : palette.color(QPalette::Active, QPalette::Text));
    painter->drawText(r.adjusted(5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      index.data(Qt::DisplayRole).toString());
    if (set.questionTimerOn && item < set.size()) {
        const TQuestionRec& q = set.questions[std::size_t(item)];
        if (q.timeLimitMs != 0) {
            painter->fillRect(QRect(r.left(), r.top(), 2, r.height()), QColor(0, 128, 0));
            const int used = timeBarUsedHeight(q.timeLeftMs, q.timeLimitMs, r.height());
            if (used > 0)
                painter->fillRect(QRect(r.left(), r.top(), 2, used), QColor(255, 0, 0));
        }
    }
    painter->restore();
}

QSize StestsDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(option.fontMetrics.height() + 6);
    return s;
}

} // namespace kvz
