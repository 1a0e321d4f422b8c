#include "net/TBlokator.h"

#include "app/KvizorApp.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace kvz {

TBlokator::TBlokator(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Blokator"));
    setWindowTitle(QStringLiteral("Квизор"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(false);
    Panel1 = new QLabel(QStringLiteral("Сервер приостановил тест!"), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setMargin(24);
    QFont font = Panel1->font();
    font.setPointSize(font.pointSize() + 6);
    font.setBold(true);
    Panel1->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Panel1);
}

void TBlokator::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    adjustSize();
    if (const QScreen* screen = this->screen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->geometry().center());
        move(box.topLeft());
    }
}

// Alt+F4 and every other way to close: the examinee waits for the server.
void TBlokator::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TBlokator::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

} // namespace kvz
