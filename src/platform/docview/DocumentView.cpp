#include "platform/docview/DocumentView.h"

#include <QIODevice>

namespace kvz {

// Placeholder until the piece reader lands: accepts nothing, draws nothing.
DocumentView::DocumentView(QWidget* parent) : QWidget(parent) {}
DocumentView::~DocumentView() = default;
bool DocumentView::loadFromStream(QIODevice&) { return false; }
bool DocumentView::loadFromBytes(const QByteArray&) { return false; }
void DocumentView::clear() {}
bool DocumentView::isEmpty() const { return true; }
QSize DocumentView::naturalSize() const { return {}; }

} // namespace kvz
