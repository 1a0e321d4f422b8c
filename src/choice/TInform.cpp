#include "choice/TInform.h"

#include "app/KvizorApp.h"

namespace kvz {

TInform::TInform(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Inform"));
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
