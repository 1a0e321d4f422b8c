#include "platform/InputBlock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

namespace kvz {

namespace {

class InputSwallower : public QObject {
public:
    int depth = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }
};

QPointer<InputSwallower>& swallower() {
    static QPointer<InputSwallower> instance;
    return instance;
}

} // namespace

InputBlock::InputBlock(bool enabled) : enabled_(enabled && QCoreApplication::instance()) {
    if (!enabled_)
        return;
    QPointer<InputSwallower>& s = swallower();
    if (!s) {
        s = new InputSwallower;
        s->setParent(QCoreApplication::instance());
    }
    if (s->depth++ == 0)
        QCoreApplication::instance()->installEventFilter(s);
}

InputBlock::~InputBlock() {
    if (!enabled_)
        return;
    QPointer<InputSwallower>& s = swallower();
    if (s && --s->depth == 0)
        QCoreApplication::instance()->removeEventFilter(s);
}

bool InputBlock::active() {
    const QPointer<InputSwallower>& s = swallower();
    return s && s->depth > 0;
}

} // namespace kvz
