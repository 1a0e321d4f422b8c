#include "l10n/TAbout.h"

#include "app/KvizorApp.h"

namespace kvz {

TAbout::TAbout(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("О программе..."));
}

} // namespace kvz
