#include "net/TMessager.h"

#include "app/KvizorApp.h"
#include "platform/Named.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace kvz {

TMessager::TMessager(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Messager"));
    setWindowTitle(QStringLiteral("Сообщение"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    Panel1 = named<QFrame>(this, "Panel1");
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    outer->addWidget(Panel1);
    auto* layout = new QVBoxLayout(Panel1);
    Label1 = named<QLabel>(Panel1, "Label1");
    Label1->setText(QStringLiteral("Сообщение от сервера:"));
    Memo1 = named<QPlainTextEdit>(Panel1, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->installEventFilter(this);
    Button1 = named<QPushButton>(Panel1, "Button1");
    Button1->setText(QStringLiteral("OK"));
    Button1->setDefault(true);
    layout->addWidget(Label1);
    layout->addWidget(Memo1);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    resize(360, 200);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TMessager::closeOk);
    connect(Button1, &QPushButton::clicked, this, &TMessager::closeOk);
}

namespace {
constexpr int kShortestMs = 5000;
}

int TMessager::countdownMs() const {
    return Timer1->interval();
}

void TMessager::FormShow() {
    Timer1->stop();
    // Lines as the memo lays them out (wrapped lines count); an empty memo is one line.
    int lines = 0;
    for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next())
        lines += std::max(1, b.layout() ? b.layout()->lineCount() : 1);
    // A second a line, but never less than the time it takes to read a short message at all.
    Timer1->setInterval(std::max(kShortestMs, lines * 1000));
    Timer1->start();
    QApplication::beep();
}

void TMessager::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->geometry().center());
        move(box.topLeft());
    }
    FormShow();
}

void TMessager::showText(const QString& text) {
    Memo1->setPlainText(text);
    if (isVisible()) {
        FormShow();
        return;
    }
    exec();
}

void TMessager::closeOk() {
    Timer1->stop();
    if (isVisible())
        done(QDialog::Accepted);
}

bool TMessager::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            closeOk();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kvz
