#include "run/TMessage1.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

namespace kvz {

TMessage1::TMessage1(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Message1"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Квизор"));
}

} // namespace kvz
