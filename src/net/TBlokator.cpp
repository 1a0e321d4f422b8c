#include "net/TBlokator.h"

#include "app/KvizorApp.h"

namespace kvz {

TBlokator::TBlokator(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Blokator"));
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
