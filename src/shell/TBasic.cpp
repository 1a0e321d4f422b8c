#include "shell/TBasic.h"

#include "app/KvizorApp.h"

namespace kvz {

TBasic::TBasic(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Basic"));
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
