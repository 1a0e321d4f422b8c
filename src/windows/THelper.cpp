#include "windows/THelper.h"

#include "app/KvizorApp.h"

namespace kvz {

THelper::THelper(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Helper"));
    setWindowTitle(QStringLiteral("Помощь"));
}

} // namespace kvz
