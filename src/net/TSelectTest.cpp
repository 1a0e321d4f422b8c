#include "net/TSelectTest.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

namespace kvz {

TSelectTest::TSelectTest(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("SelectTest"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Выбор теста"));
}

} // namespace kvz
