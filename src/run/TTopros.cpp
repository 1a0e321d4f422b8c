#include "run/TTopros.h"

#include "app/KvizorApp.h"

namespace kvz {

TTopros::TTopros(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Topros"));
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
