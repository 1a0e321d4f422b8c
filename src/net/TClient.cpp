#include "net/TClient.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

namespace kvz {

TClient::TClient(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Client"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Клиент"));
}

} // namespace kvz
