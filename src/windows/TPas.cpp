#include "windows/TPas.h"

#include "app/KvizorApp.h"

namespace kvz {

TPas::TPas(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Pas"));
    setWindowTitle(QStringLiteral("Пароль"));
}

} // namespace kvz
