#include "results/TResultats.h"

#include "app/KvizorApp.h"

namespace kvz {

TResultats::TResultats(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Resultats"));
    setWindowTitle(QStringLiteral("Результаты"));
}

} // namespace kvz
