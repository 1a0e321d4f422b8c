#include "windows/THelper.h"

#include "app/KvizorApp.h"
#include "platform/docview/DocumentView.h"

#include <QPushButton>

namespace kvz {

THelper::THelper(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Helper"));
    setWindowTitle(QStringLiteral("Помощь"));
    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Button2 = new QPushButton(QStringLiteral("Выход"), Panel3);
    Button2->setObjectName(QStringLiteral("Button2"));
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    OleContainer1 = new DocumentView(Panel2);
    OleContainer1->setObjectName(QStringLiteral("OleContainer1"));
    OleContainer1->setEnabled(false);
}

} // namespace kvz
