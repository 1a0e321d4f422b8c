#include "profile/TProfil.h"

#include "app/KvizorApp.h"

namespace kvz {

TProfil::TProfil(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Profil"));
    setWindowTitle(QStringLiteral("Профиль"));
}

} // namespace kvz
