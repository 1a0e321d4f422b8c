#include "run/TTopros.h"

#include "app/KvizorApp.h"
#include "l10n/LabelApplier.h"
#include "platform/docview/DocumentView.h"

#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace kvz {

namespace {
QAction* namedAction(QObject* parent, const char* name, const QString& text) {
    auto* a = new QAction(text, parent);
    a->setObjectName(QLatin1String(name));
    return a;
}
} // namespace

TTopros::TTopros(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Topros"));
    // The run driver adds the rest of this window's controls.
    setProperty(kLabelsPending, true);
    setWindowTitle(QStringLiteral("Квизор"));

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = file->menuAction();
    N1->setObjectName(QStringLiteral("N1"));
    N2 = namedAction(this, "N2", QStringLiteral("Выход"));
    file->addAction(N2);
    QMenu* help = MainMenu1->addMenu(QStringLiteral("Помощь"));
    N3 = help->menuAction();
    N3->setObjectName(QStringLiteral("N3"));
    N6 = namedAction(this, "N6", QStringLiteral("Справочная информация"));
    N5 = namedAction(this, "N5", QStringLiteral("Калькулятор"));
    help->addAction(N6);
    help->addAction(N5);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    N4 = namedAction(this, "N4", QStringLiteral("Завершить!"));
    N9 = namedAction(this, "N9", QStringLiteral("Выйти из режима просмотра ответов"));
    ToolBar1->addAction(N4);
    ToolBar1->addAction(N9);

    Stests = new QListWidget(this);
    Stests->setObjectName(QStringLiteral("Stests"));
    Quest = new DocumentView(this);
    Quest->setObjectName(QStringLiteral("Quest"));
    // The order panels tell the examinee whether questions may be taken in any order.
    pPoradok = new QWidget(this);
    pPoradok->setObjectName(QStringLiteral("pPoradok"));
    pPoradok->hide();
    pProizvolno = new QWidget(this);
    pProizvolno->setObjectName(QStringLiteral("pProizvolno"));
    pProizvolno->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(ToolBar1);
    auto* body = new QHBoxLayout;
    body->addWidget(Stests);
    body->addWidget(Quest, 1);
    layout->addLayout(body, 1);
    layout->addWidget(pPoradok);
    layout->addWidget(pProizvolno);
}

void TTopros::SaveResult() {}

} // namespace kvz
