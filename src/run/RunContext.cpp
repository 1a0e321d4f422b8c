#include "run/RunContext.h"

#include <QGuiApplication>
#include <QScreen>

namespace kvz {

QRect RunContext::screenRect() const {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        return screen->geometry();
    return {};
}

} // namespace kvz
