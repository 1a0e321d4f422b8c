#include "choice/TSerestf.h"

#include "app/KvizorApp.h"

namespace kvz {

TSerestf::TSerestf(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Serestf"));
    setWindowTitle(QStringLiteral("Выбор папки для результатов"));
}

} // namespace kvz
