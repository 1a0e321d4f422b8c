#include "platform/Lockdown.h"

#include "shell/RunState.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <vector>

namespace kvz {

namespace {

// How often a locked window takes the keyboard again: Qt's popups (drop-down lists, menus)
// grab and release the keyboard themselves, and a release ends our grab too.
constexpr int kGrabIntervalMs = 250;
// A short wait before taking the activation back, so that a window of our own that took it
// (a message dialog) is seen as ours.
constexpr int kReactivateDelayMs = 100;
// Right after a locked window is shown it is not yet mapped and the grab fails: it is tried
// again this often until it holds, so there is no gap for a quick Alt+Tab.
constexpr int kFirstGrabIntervalMs = 10;
constexpr int kFirstGrabTries = 300;

struct LockedWindow {
    QPointer<QWidget> widget;
    Qt::WindowFlags flags;
    Qt::WindowStates states;
    QRect geometry;
};

// One per application, a child of the application object, found by name.
class LockdownController : public QObject {
public:
    explicit LockdownController(QObject* parent) : QObject(parent) {
        setObjectName(QStringLiteral("kvizorLockdown"));
        supported_ = QGuiApplication::platformName() == QLatin1String("xcb");
        grabTimer_.setInterval(kGrabIntervalMs);
        connect(&grabTimer_, &QTimer::timeout, this, [this] { holdKeyboard(); });
        firstGrab_.setInterval(kFirstGrabIntervalMs);
        connect(&firstGrab_, &QTimer::timeout, this, [this] {
            if (holdKeyboard() || ++firstGrabTries_ >= kFirstGrabTries)
                firstGrab_.stop();
        });
    }

    static LockdownController* find() {
        return qApp ? qApp->findChild<LockdownController*>(QStringLiteral("kvizorLockdown"),
                                                           Qt::FindDirectChildrenOnly)
                    : nullptr;
    }
    static LockdownController* get() {
        LockdownController* c = find();
        return c ? c : new LockdownController(qApp);
    }

    bool supported() const { return supported_; }
    bool inForce() const { return inForce_; }

    void apply(QWidget* window) {
        if (!inForce_) {
            inForce_ = true;
            if (!supported_) {
                if (!saidUnsupported_)
                    qInfo("Lock-down: the platform \"%s\" offers no keyboard grab; the "
                          "workstation is not locked",
                          qPrintable(QGuiApplication::platformName()));
                saidUnsupported_ = true;
                return;
            }
            qApp->installEventFilter(this);
            grabTimer_.start();
        }
        if (supported_ && window)
            lock(window->window());
    }

    void lift() {
        if (!inForce_)
            return;
        inForce_ = false;
        if (!supported_)
            return;
        qApp->removeEventFilter(this);
        grabTimer_.stop();
        firstGrab_.stop();
        // Give the keyboard back first, then the windows their old looks.
        for (const LockedWindow& l : locked_) {
            if (l.widget && l.widget->windowHandle())
                l.widget->windowHandle()->setKeyboardGrabEnabled(false);
        }
        for (const LockedWindow& l : locked_) {
            QWidget* w = l.widget;
            if (!w)
                continue;
            w->overrideWindowFlags(l.flags);
            if (QWindow* handle = w->windowHandle())
                handle->setFlags(l.flags);
            w->setWindowState(l.states);
            if (l.states == Qt::WindowNoState)
                w->setGeometry(l.geometry);
        }
        locked_.clear();
    }

    // The locked window on screen a new window should go over: the active one, else the last
    // shown.
    QWidget* topLocked() const {
        QWidget* top = nullptr;
        const QWidget* active = QApplication::activeWindow();
        for (const LockedWindow& l : locked_) {
            if (l.widget && l.widget->isVisible()) {
                top = l.widget;
                if (active && active->window() == l.widget)
                    break;
            }
        }
        return top;
    }

    bool isLocked(const QWidget* w) const {
        for (const LockedWindow& l : locked_) {
            if (l.widget == w)
                return true;
        }
        return false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Show:
            // The run, results and help windows fill the screen: they join the lock.
            if (w->isWindow() && w->windowType() == Qt::Window && fillsScreen(w) && !isLocked(w))
                lock(w);
            else if (isLocked(w))
                grabSoon();
            break;
        case QEvent::WindowActivate:
            if (isLocked(w))
                holdKeyboard();
            break;
        case QEvent::WindowStateChange:
            // The window manager iconifies a window with the windows that belong to it: the
            // pupil who minimises the calculator would be left before an empty screen with no
            // task bar to bring anything back. A locked window never stays minimised.
            if (isLocked(w) && w->isMinimized())
                QTimer::singleShot(0, this, [this, guarded = QPointer<QWidget>(w)] {
                    restoreMinimised(guarded);
                });
            break;
        case QEvent::WindowDeactivate:
            if (isLocked(w))
                QTimer::singleShot(kReactivateDelayMs, this, [this] { takeActivationBack(); });
            break;
        default:
            break;
        }
        return false;
    }

private:
    // Maximised, full screen, or placed over the whole screen by hand.
    static bool fillsScreen(const QWidget* w) {
        if (w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            return true;
        const QScreen* screen = w->screen();
        return screen && w->geometry().contains(screen->geometry());
    }

    void lock(QWidget* w) {
        if (isLocked(w))
            return;
        locked_.push_back({w, w->windowFlags(), w->windowState(), w->geometry()});
        // Changing the flags through the native window keeps the widget on screen (a widget's
        // own setWindowFlags would hide it).
        const Qt::WindowFlags flags = w->windowFlags() | Qt::WindowStaysOnTopHint;
        w->overrideWindowFlags(flags);
        w->winId();
        if (QWindow* handle = w->windowHandle())
            handle->setFlags(flags);
        w->setWindowState((w->windowState() & ~Qt::WindowMaximized) | Qt::WindowFullScreen);
        grabSoon();
    }

    void restoreMinimised(QWidget* w) {
        if (!inForce_ || !w || !w->isMinimized() || !isLocked(w))
            return;
        w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
        w->show();
        w->raise();
        w->activateWindow();
        grabSoon();
    }

    void grabSoon() {
        firstGrabTries_ = 0;
        if (!holdKeyboard())
            firstGrab_.start();
    }

    // The grab only succeeds once the window is mapped; the timer keeps trying.
    // True when a locked window on screen holds the keyboard now.
    bool holdKeyboard() {
        if (QApplication::activePopupWidget())
            return false;
        QWidget* target = nullptr;
        QWidget* active = QApplication::activeWindow();
        for (const LockedWindow& l : locked_) {
            if (l.widget && l.widget->isVisible()) {
                target = l.widget;
                if (active && active->window() == l.widget)
                    break;
            }
        }
        return target && target->windowHandle() &&
               target->windowHandle()->setKeyboardGrabEnabled(true);
    }

    void takeActivationBack() {
        if (!inForce_ || QApplication::activeWindow())
            return;
        for (auto it = locked_.rbegin(); it != locked_.rend(); ++it) {
            QWidget* w = it->widget;
            if (w && w->isVisible()) {
                w->raise();
                w->activateWindow();
                holdKeyboard();
                return;
            }
        }
    }

    bool supported_ = false;
    bool inForce_ = false;
    bool saidUnsupported_ = false;
    std::vector<LockedWindow> locked_;
    QTimer grabTimer_;
    QTimer firstGrab_;
    int firstGrabTries_ = 0;
};

} // namespace

void applyLockdown(const RunState& runState, QWidget* lockedWindow) {
    if (runState.lockdownOff || !qApp)
        return;
    LockdownController::get()->apply(lockedWindow);
}

void liftLockdown(const RunState& runState) {
    if (runState.lockdownOff)
        return;
    if (LockdownController* c = LockdownController::find())
        c->lift();
}

bool lockdownInForce() {
    const LockdownController* c = LockdownController::find();
    return c && c->inForce();
}

bool lockdownSupported() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool isLockedWindow(const QWidget* window) {
    const LockdownController* c = LockdownController::find();
    return c && c->isLocked(window);
}

QWidget* dialogOwner(QWidget* preferred) {
    const LockdownController* c = LockdownController::find();
    if (!c || !c->inForce())
        return preferred;
    if (preferred && preferred->window()->isVisible())
        return preferred;
    QWidget* top = c->topLocked();
    return top ? top : preferred;
}

void showOverLock(QWidget* window) {
    const LockdownController* c = LockdownController::find();
    if (!window || !c || !c->inForce())
        return;
    window = window->window();
    QWidget* top = c->topLocked();
    if (!top || top == window || c->isLocked(window))
        return;
    // The window manager keeps a dialog above the window it belongs to, even one over the whole
    // screen; a plain window would go into the normal layer, under the lock. (The type can only
    // change while the window is hidden.)
    const Qt::WindowType type = window->windowType();
    if (!window->isVisible() && type != Qt::Dialog && type != Qt::Tool)
        window->setWindowFlags((window->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    window->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(top->windowHandle());
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
    }
}

void bringBack(QWidget* window) {
    if (window->isMinimized())
        window->showNormal();
    else if (!window->isVisible())
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace kvz
