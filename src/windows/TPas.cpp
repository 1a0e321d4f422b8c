#include "windows/TPas.h"

#include "app/KvizorApp.h"

#include <QLineEdit>
#include <QPushButton>

namespace kvz {

TPas::TPas(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Pas"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
}

} // namespace kvz
