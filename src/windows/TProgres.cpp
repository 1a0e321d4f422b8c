#include "windows/TProgres.h"

#include "app/KvizorApp.h"

#include <QLabel>
#include <QProgressBar>

namespace kvz {

TProgres::TProgres(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Progres"));
    setWindowTitle(QStringLiteral("Ждите..."));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    Panel1 = new QLabel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Animate1 = new QWidget(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
}

void TProgres::startAnimation() {}
void TProgres::stopAnimation() {}

} // namespace kvz
