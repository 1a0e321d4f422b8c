#include "choice/IntroductionPage.h"

#include "platform/Named.h"
#include "platform/docview/DocumentView.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvz {

IntroductionPage::IntroductionPage(QWidget* parent) : QWidget(parent) {
    Panel2 = named<QFrame>(this, "Panel2");
    OleContainer1 = new DocumentView(Panel2);
    OleContainer1->setObjectName(QStringLiteral("OleContainer1"));
    // Shown, never edited or activated.
    OleContainer1->setEnabled(false);
    auto* page = new QVBoxLayout(Panel2);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(OleContainer1);

    // The bar's caption is its own text; the buttons sit at its right end.
    Panel3 = named<QLabel>(this, "Panel3");
    Panel3->setText(QStringLiteral("Для начала тестирования нажмите кнопку \"Далее\"."));
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel3->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Panel3->setMinimumHeight(40);
    Panel3->setIndent(12);
    Button3 = named<QPushButton>(Panel3, "Button3");
    Button3->setText(QStringLiteral("Назад"));
    Button4 = named<QPushButton>(Panel3, "Button4");
    Button4->setText(QStringLiteral("Далее"));
    auto* bar = new QHBoxLayout(Panel3);
    bar->setContentsMargins(8, 4, 8, 4);
    bar->addStretch(1);
    bar->addWidget(Button3);
    bar->addWidget(Button4);

    // The page sits in the middle; the bar runs along the bottom.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    layout->addWidget(Panel2, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addWidget(Panel3);

    connect(Button3, &QPushButton::clicked, this, &IntroductionPage::back);
    connect(Button4, &QPushButton::clicked, this, &IntroductionPage::start);
}

void IntroductionPage::fitTo(QSize screen) {
    QSize size = OleContainer1->naturalSize();
    if (size.isEmpty())
        size = QSize(1, 1);
    // A page bigger than the screen is shown scaled down, whole.
    const QSize room = screen - QSize(0, Panel3->sizeHint().height());
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio);
    OleContainer1->setFixedSize(size);
}

void IntroductionPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Button4->setFocus();
    previewKeys(true);
}

void IntroductionPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    previewKeys(false);
}

void IntroductionPage::previewKeys(bool on) {
    // Any key on this page starts the run, wherever the focus is.
    if (on == previewingKeys_)
        return;
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
    previewingKeys_ = on;
}

bool IntroductionPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != window() || !isVisible())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    key->accept();
    if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
        Q_EMIT start();
    return true;
}

} // namespace kvz
