#include "net/TSelectTest.h"

#include "app/KvizorApp.h"

namespace kvz {

TSelectTest::TSelectTest(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("SelectTest"));
    setWindowTitle(QStringLiteral("Выбор теста"));
}

} // namespace kvz
