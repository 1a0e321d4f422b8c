#pragma once

#include <QStyledItemDelegate>

namespace kvz {

class MessageTable;
class TTopros;

// Paints the items of the run window's question list: touched, verdict and selection colours,
// the label five pixels in, and the two-pixel time bar of the question clock.
class StestsDelegate : public QStyledItemDelegate {
public:
    StestsDelegate(const TTopros& window, const MessageTable& messages, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TTopros& window_;
    const MessageTable& messages_;
};

} // namespace kvz
