#include "net/TMessager.h"

#include "app/KvizorApp.h"

namespace kvz {

TMessager::TMessager(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Messager"));
    setWindowTitle(QStringLiteral("Сообщение"));
}

} // namespace kvz
