#include "windows/TPas.h"

#include "app/KvizorApp.h"
#include "platform/Lockdown.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz {

namespace {

// Room a title bar needs beside its caption: the close box, the window menu and the frame.
constexpr int kTitleBarRoom = 120;

} // namespace

TPas::TPas(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Pas"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(true);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(kMaxPasswordLength);
    Edit1->setEchoMode(QLineEdit::Password);
    setWrong(false);
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

    connect(Edit1, &QLineEdit::textEdited, this, [this] { setWrong(false); });
    connect(Edit1, &QLineEdit::returnPressed, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    // The close box rejects, as QDialog does by default.
}

void TPas::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    showOverLock(this);
    adjustSize();
    // Wide enough for the whole caption ("Пароль для «...»?" names the test), the title bar's
    // close box and frame included, but never wider than the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int titleWidth =
        QFontMetrics(QApplication::font("QWorkspaceTitleBar")).horizontalAdvance(windowTitle());
    int width = std::max(this->width(), titleWidth + kTitleBarRoom);
    if (screen)
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    resize(width, height());
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
    Edit1->setFocus();
    if (wrong_)
        Edit1->selectAll();
}

void TPas::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    setWrong(false);
}

void TPas::markWrong() {
    setWrong(true);
    QApplication::beep();
}

void TPas::setWrong(bool wrong) {
    wrong_ = wrong;
    // Each character shows as "*".
    Edit1->setStyleSheet(wrong ? QStringLiteral("QLineEdit { lineedit-password-character: 42; "
                                                "border: 2px solid #c00000; "
                                                "background: #ffe0e0; }")
                               : QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void TPas::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Edit1->setFocus();
}

} // namespace kvz
