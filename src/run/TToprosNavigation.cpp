// Moving through the questions, the clocks, finishing and the review of a finished test.

#include "run/TTopros.h"

#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "run/RunContext.h"
#include "run/TMessage1.h"
#include "shell/Clock.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

namespace kvz {

int TTopros::currentItem() const {
    return driver_.current() < questionSet.size() ? driver_.current() : -1;
}

void TTopros::Next1Click() {
    catchUpClock();
    driver_.next();
}

void TTopros::Prior1Click() {
    catchUpClock();
    driver_.prior();
}

void TTopros::Panel4Click(int y) {
    const QModelIndex index = Stests->indexAt(QPoint(1, y));
    if (!index.isValid())
        return;
    catchUpClock();
    driver_.pick(index.row());
}

void TTopros::catchUpClock() {
    if (!clockOn_)
        return;
    const std::int64_t now = clock::monotonicMs();
    const std::int64_t passed = now - clockReadMs_;
    // A clock read as going back counts nothing.
    clockReadMs_ = now;
    if (passed > 0)
        driver_.elapse(passed, isVisible());
}

void TTopros::armClock() {
    if (clockOn_ && driver_.running() && !driver_.review())
        Timer1.start(driver_.msToNextMove());
    else
        Timer1.stop();
}

void TTopros::startClock() {
    if (!driver_.running() || driver_.review())
        return;
    clockOn_ = true;
    clockReadMs_ = clock::monotonicMs();
    armClock();
}

void TTopros::stopClock() {
    catchUpClock();
    clockOn_ = false;
    Timer1.stop();
}

void TTopros::Timer1Timer() {
    catchUpClock();
    if (!driver_.running()) {
        Timer1.stop();
        return;
    }
    updateClockPanels();
    Stests->viewport()->update();
    armClock();
}

void TTopros::SaveResult() {
    catchUpClock();
    driver_.SaveResult();
}

void TTopros::Message1Continue() {
    driver_.continueRun();
}

void TTopros::FinishTest() {
    catchUpClock();
    driver_.FinishTest();
}

void TTopros::EnterReview() {
    const RunState& rs = context_.runState();
    clockOn_ = false;
    Timer1.stop();
    N9->setVisible(true);
    N4->setVisible(false);
    for (QWidget* w : {pB, pA1, pA2, pD})
        w->setEnabled(false);
    prav_Panel->show();
    Panel6->show();
    PUchebnik1->setVisible(rs.textbookInReview);
    // No clock runs in review: the status line does not speak of time left.
    for (QWidget* w : {Panel2, Panel3, Panel5})
        w->hide();
    showOrderPanels(false); // review always navigates freely
    driver_.enterReview();
    showFullScreen(this);
    context_.resultsWindow().hide();
}

void TTopros::N9Click() {
    leaveReview();
}

void TTopros::showOrderPanels(bool fixed) {
    pPoradok->setVisible(fixed);
    pProizvolno->setVisible(!fixed);
}

void TTopros::showFullScreen(QWidget* window) {
    // Placed over the whole screen; the lock-down, when in force, takes such a window in.
    if (const QRect screen = context_.screenRect(); screen.isValid())
        window->setGeometry(screen);
    window->show();
    window->raise();
    window->activateWindow();
}

void TTopros::setPanelRed(QLabel* panel, bool red) {
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, red ? QColor(255, 0, 0) : palette().color(QPalette::Button));
    panel->setPalette(p);
}

void TTopros::updateClockPanels() {
    const MessageTable& msg = context_.messages();
    const int k = currentItem();
    if (questionSet.questionTimerOn && k >= 0)
        Panel5->setText(msg.text(42) + QString::fromLatin1(FormatMs(
                                           questionSet.questions[std::size_t(k)].timeLeftMs)));
    else
        Panel5->setText(msg.text(42) + QLatin1Char('-'));
    if (questionSet.testTimerOn)
        Panel3->setText(msg.text(43) + QString::fromLatin1(FormatMs(questionSet.testTimeLeftMs)));
    else
        Panel3->setText(msg.text(43) + QLatin1Char('-'));
    setPanelRed(Panel5, driver_.questionClockRed());
    setPanelRed(Panel3, driver_.testClockRed());
}

// RunHost: what the driver asks of the window.

void TTopros::arrived() {
    const int k = currentItem();
    if (k >= 0 && k < Stests->count()) {
        QListWidgetItem* item = Stests->item(k);
        Stests->setCurrentItem(item);
        // An item out of sight comes to the top of the list.
        if (!Stests->viewport()->rect().contains(Stests->visualItemRect(item)))
            Stests->scrollToItem(item, QAbstractItemView::PositionAtTop);
    }
    PRIOR1->setEnabled(driver_.priorEnabled());
    ShowQuestion();
    ShowAnswer();
    updateClockPanels();
    // The question's clock started afresh: the next wake-up may come sooner.
    armClock();
    if (pB->isVisibleTo(this) && pB->isEnabled())
        otvetstr->setFocus();
    Stests->viewport()->update();
}

bool TTopros::promptVisible() const {
    return context_.finishPrompt().isVisible();
}

void TTopros::showPrompt() {
    context_.finishPrompt().showOver(this);
}

void TTopros::hidePrompt() {
    context_.finishPrompt().hide();
}

void TTopros::finished() {
    clockOn_ = false;
    Timer1.stop();
    showFullScreen(&context_.resultsWindow());
    hide();
}

void TTopros::leaveReview() {
    showFullScreen(&context_.resultsWindow());
    hide();
}

// Keys. The window sees them before its controls; every key it acts on is taken, so it is
// acted on once however the event travels afterwards.
bool TTopros::FormKeyDown(QObject* receiver, QKeyEvent* key) {
    const bool free = !pPoradok->isVisibleTo(this);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageDown:
        Next1Click();
        return true;
    case Qt::Key_PageUp:
        if (free && PRIOR1->isEnabled())
            Prior1Click();
        return true;
    case Qt::Key_F10:
        if (inReview())
            N9Click();
        else
            SaveResult();
        return true;
    default:
        break;
    }
    return FormKeyPress(receiver, key);
}

bool TTopros::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Stests->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            // Only in free order may a question be picked from the list.
            if (!pPoradok->isVisibleTo(this))
                Panel4Click(static_cast<QMouseEvent*>(event)->position().toPoint().y());
            return true;
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return true;
        default:
            return false;
        }
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* w = static_cast<QWidget*>(watched);
    if (w->window() != this || !isVisible() || !isEnabled())
        return false;
    // While an aid is up, what is typed is for the aid, never for the answer (the locked
    // window's keyboard grab can bring keys here although the aid is on top).
    if (QWidget* aid = shownAid()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F2 && key->key() != Qt::Key_F1) {
            aid->activateWindow();
            QWidget* target = aid->focusWidget() ? aid->focusWidget() : aid;
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(),
                           key->isAutoRepeat(), ushort(key->count()));
            QCoreApplication::sendEvent(target, &copy);
            return true;
        }
    }
    return FormKeyDown(watched, static_cast<QKeyEvent*>(event));
}

} // namespace kvz
