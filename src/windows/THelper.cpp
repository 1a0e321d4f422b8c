#include "windows/THelper.h"

#include "app/KvizorApp.h"
#include "platform/docview/DocumentView.h"
#include "run/TTopros.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>

namespace kvz {

namespace {
constexpr int kStripHeight = 40;
}

THelper::THelper(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Helper"));
    setWindowTitle(QStringLiteral("Помощь"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowState(Qt::WindowFullScreen);
    setAutoFillBackground(true);

    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setAutoFillBackground(true);
    Button2 = new QPushButton(QStringLiteral("Выход"), Panel3);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto* strip = new QHBoxLayout(Panel3);
    strip->addStretch();
    strip->addWidget(Button2);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    OleContainer1 = new DocumentView(Panel2);
    OleContainer1->setObjectName(QStringLiteral("OleContainer1"));
    // Disabled, so the document can be neither edited nor activated; its clicks reach Panel2.
    OleContainer1->setEnabled(false);

    // The examinee must not close this window with Alt+F4: the key is taken and does nothing.
    AltF41 = new QAction(QStringLiteral("Alt-F4"), this);
    AltF41->setObjectName(QStringLiteral("AltF41"));
    AltF41->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    AltF41->setShortcutContext(Qt::WindowShortcut);
    AltF41->setVisible(false);
    addAction(AltF41);

    Panel2->installEventFilter(this);
    Panel3->installEventFilter(this);
    connect(Button2, &QPushButton::clicked, this, &QWidget::hide);
}

void THelper::placeDocument() {
    const QSize size = OleContainer1->naturalSize();
    OleContainer1->setGeometry(0, 0, size.width(), size.height());
    Panel2->resize(size);
    Panel2->move(width() / 2 - Panel2->width() / 2, height() / 2 - Panel2->height() / 2);
    Panel3->setGeometry(0, height() - kStripHeight, width(), kStripHeight);
    Panel3->raise();
}

void THelper::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeDocument();
}

void THelper::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    app_.topros().setEnabled(true);
}

void THelper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeDocument();
}

void THelper::mousePressEvent(QMouseEvent* event) {
    event->accept();
    hide();
}

void THelper::closeEvent(QCloseEvent* event) {
    // Only a click hides it; the window manager's close request is refused.
    event->ignore();
}

bool THelper::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Panel2 || watched == Panel3) && event->type() == QEvent::MouseButtonPress) {
        hide();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kvz
