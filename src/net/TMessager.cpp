#include "net/TMessager.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

namespace kvz {

TMessager::TMessager(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Messager"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Сообщение"));
}

} // namespace kvz
