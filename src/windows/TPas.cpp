#include "windows/TPas.h"

#include "app/KvizorApp.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kvz {

TPas::TPas(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Pas"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(true);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(kMaxPasswordLength);
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);
    setMinimumWidth(280);

    connect(Edit1, &QLineEdit::returnPressed, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    // The close box rejects, as QDialog does by default.
}

void TPas::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Edit1->setFocus();
}

void TPas::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Edit1->setFocus();
}

} // namespace kvz
