#include "choice/TPrepere.h"

#include "app/KvizorApp.h"

namespace kvz {

TPrepere::TPrepere(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Prepere"));
    setWindowTitle(QStringLiteral("Выбор теста"));
}

} // namespace kvz
