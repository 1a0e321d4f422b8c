#include "profile/TProfil.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

namespace kvz {

TProfil::TProfil(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Profil"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Профиль"));
}

} // namespace kvz
