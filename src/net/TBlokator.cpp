#include "net/TBlokator.h"

#include "app/KvizorApp.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kvz {

TBlokator::TBlokator(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Blokator"));
    setWindowTitle(QStringLiteral("Квизор"));
    Panel1 = new QLabel(QStringLiteral("Сервер приостановил тест!"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
}

} // namespace kvz
