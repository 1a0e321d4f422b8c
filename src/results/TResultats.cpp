#include "results/TResultats.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"

#include <QVBoxLayout>

namespace kvz {

TResultats::TResultats(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Resultats"));
    // This window's controls come with its own subsystem.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Результаты"));
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->resize(Panel1->width(), 300);
    Panel1->setMinimumHeight(300);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
}

} // namespace kvz
