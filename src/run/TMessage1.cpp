#include "run/TMessage1.h"

#include "platform/Named.h"
#include "run/TTopros.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace kvz {

TMessage1::TMessage1(TTopros& run) : run_(run) {
    setObjectName(QStringLiteral("Message1"));
    setWindowTitle(QStringLiteral("Квизор"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(false);

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(2);
    Label1 = named<QLabel>(frame, "Label1");
    Label1->setText(
        QStringLiteral("У вас ещё осталось время. Вы хотите продолжить выполнение теста?"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setMinimumWidth(360);
    Button1 = named<QPushButton>(frame, "Button1");
    Button1->setText(QStringLiteral("Продолжить"));
    Button2 = named<QPushButton>(frame, "Button2");
    Button2->setText(QStringLiteral("Завершить"));
    Button1->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(16, 16, 16, 12);
    inner->addWidget(Label1);
    inner->addSpacing(8);
    inner->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TMessage1::showOver(QWidget* window) {
    adjustSize();
    if (window) {
        const QRect area = window->geometry();
        move(area.center() - rect().center());
        // Stacked with the run window, so a locked full-screen window never covers it.
        winId();
        if (QWindow* handle = windowHandle())
            handle->setTransientParent(window->windowHandle());
    }
    show();
    raise();
    activateWindow();
    Button1->setFocus();
}

void TMessage1::Button1Click() {
    run_.Message1Continue();
}

void TMessage1::Button2Click() {
    run_.SaveResult();
}

void TMessage1::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TMessage1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        Button2Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kvz
