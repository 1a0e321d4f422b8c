#pragma once

// Controls carry their component names as objectName: a language file's label lines and the
// tests find them by it.

#include <QLatin1String>
#include <QWidget>

namespace kvz {

template <typename T> T* named(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace kvz
