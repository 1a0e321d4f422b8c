#include "net/TSelectTest.h"

#include "app/KvizorApp.h"
#include "net/TClient.h"
#include "platform/Named.h"
#include "shell/RunState.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvz {

TSelectTest::TSelectTest(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("SelectTest"));
    setWindowTitle(QStringLiteral("Выбор теста"));
    Label1 = named<QLabel>(this, "Label1");
    Label1->setText(QStringLiteral("Выберите, пожалуйста, тест и  нажмите кнопку \"OK\":"));
    Label1->setWordWrap(true);
    ListBox1 = named<QListWidget>(this, "ListBox1");
    ListBox1->installEventFilter(this);
    Button1 = named<QPushButton>(this, "Button1");
    Button1->setText(QStringLiteral("OK"));
    Button2 = named<QPushButton>(this, "Button2");
    Button2->setText(QStringLiteral("Выход"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ListBox1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    resize(360, 300);
    connect(Button1, &QPushButton::clicked, this, &TSelectTest::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSelectTest::Button2Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TSelectTest::Button1Click);
}

bool TSelectTest::networkRun() const {
    return app_.runState().profileType == "net";
}

void TSelectTest::Button1Click() {
    if (!networkRun()) {
        accept();
        return;
    }
    // Nothing selected: the callers always select the first entry, so this is not reached by
    // the examinee; asking for nothing is better than asking for a wrong test.
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= positions.size())
        return;
    bool ok = false;
    const int position = positions[row].toInt(&ok);
    if (ok)
        app_.client().requestOffered(position);
}

void TSelectTest::Button2Click() {
    reject();
}

// Escape, Exit and the close box all end the choice the same way: in a network run that ends the
// program (merely hiding the window would leave the pupil in front of an empty screen).
void TSelectTest::reject() {
    if (networkRun()) {
        app_.client().endProgram();
        return;
    }
    QDialog::reject();
}

void TSelectTest::closeEvent(QCloseEvent* event) {
    if (networkRun()) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

bool TSelectTest::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kvz
