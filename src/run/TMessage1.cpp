#include "run/TMessage1.h"

#include "app/KvizorApp.h"

namespace kvz {

TMessage1::TMessage1(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Message1"));
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
