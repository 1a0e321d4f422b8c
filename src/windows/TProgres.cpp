#include "windows/TProgres.h"

#include "app/KvizorApp.h"

namespace kvz {

TProgres::TProgres(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Progres"));
    setWindowTitle(QStringLiteral("Ждите..."));
}

} // namespace kvz
