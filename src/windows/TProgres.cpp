#include "windows/TProgres.h"

#include "app/KvizorApp.h"
#include "platform/Lockdown.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

namespace kvz {

namespace {

// The longest the wait window waits for the window system to map it.
constexpr qint64 kExposeWaitMs = 1500;

} // namespace

WorkAnimation::WorkAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(32, 32);
    timer_ = new QTimer(this);
    // The frame follows the clock, so the rate stays 15 per second whatever the timer's jitter.
    timer_->setInterval(33);
    connect(timer_, &QTimer::timeout, this, &WorkAnimation::tick);
}

void WorkAnimation::start() {
    frame_ = 0;
    clock_.start();
    timer_->start();
    update();
}

void WorkAnimation::stop() {
    timer_->stop();
}

bool WorkAnimation::isPlaying() const {
    return timer_->isActive();
}

void WorkAnimation::catchUp() {
    if (!isPlaying())
        return;
    const int before = frame_;
    tick();
    if (frame_ != before)
        repaint();
}

void WorkAnimation::tick() {
    const int next = int((clock_.nsecsElapsed() / 1000 / kFrameMicroseconds) % kFrames);
    if (next != frame_) {
        frame_ = next;
        update();
    }
}

void WorkAnimation::paintEvent(QPaintEvent*) {
    // An hourglass-like ring of twelve dots, the bright one going round once per 30 frames.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(16, 16);
    constexpr int kDots = 12;
    const double turn = double(frame_) / kFrames;
    for (int i = 0; i < kDots; ++i) {
        const double a = 2 * M_PI * (double(i) / kDots);
        double lag = turn - double(i) / kDots;
        lag -= std::floor(lag);
        const int alpha = 255 - int(lag * 200);
        p.setBrush(QColor(29, 63, 143, alpha));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(11 * std::sin(a), -11 * std::cos(a)), 3, 3);
    }
}

TProgres::TProgres(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Progres"));
    setWindowTitle(QStringLiteral("Ждите..."));
    // A title bar without buttons: the examinee cannot close it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    Panel1 = new QLabel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Animate1 = new WorkAnimation(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));

    auto* top = new QHBoxLayout;
    top->addWidget(Animate1);
    top->addWidget(ProgressBar1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Panel1);
    setFixedSize(360, 90);
}

TProgres::~TProgres() {
    restoreCursor();
}

void TProgres::startAnimation() {
    Animate1->start();
}
void TProgres::stopAnimation() {
    Animate1->stop();
}

void TProgres::showPainted() {
    if (!isVisible())
        show();
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!windowHandle() || !windowHandle()->isExposed())
            QThread::msleep(5);
    }
    repaint();
}

void TProgres::refresh() {
    if (!isVisible())
        return;
    Panel1->repaint();
    ProgressBar1->repaint();
    Animate1->catchUp();
}

void TProgres::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    showOverLock(this);
    if (!busyCursor_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busyCursor_ = true;
    }
}

void TProgres::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    restoreCursor();
}

void TProgres::restoreCursor() {
    if (busyCursor_) {
        QApplication::restoreOverrideCursor();
        busyCursor_ = false;
    }
}

} // namespace kvz
