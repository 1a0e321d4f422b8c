// The aids a test may offer: the textbook link of the question, the calculator (F2) and the
// test's reference document (F1). On a locked desktop another program would get no keyboard and
// would lie under the run window, so the calculator and the textbook pages are the program's
// own windows, opened over this one.

#include "run/TTopros.h"

#include "l10n/MessageTable.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/Shell.h"
#include "run/RunContext.h"
#include "run/TCalculator.h"
#include "run/TTextbookViewer.h"
#include "run/TextbookLink.h"
#include "shell/RunState.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

namespace kvz {

namespace {

constexpr int kMsgOpenError = 8;   // "Ошибка при открытии файла!"
constexpr int kMsgCalculator = 18; // "Калькулятор"
constexpr int kMsgError = 30;      // "Произошла ошибка!"
constexpr int kMsgOk = 25;         // "OK"
constexpr int kMsgNotDuringTest = 67;

// The link label's pointer events.
class TextbookLabelEvents : public QObject {
public:
    explicit TextbookLabelEvents(TTopros& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Enter:
            window_.LUchebnik1MouseEnter();
            break;
        case QEvent::Leave:
            window_.LUchebnik1MouseLeave();
            break;
        case QEvent::MouseButtonRelease:
            window_.LUchebnik1Click();
            return true;
        default:
            break;
        }
        return false;
    }

private:
    TTopros& window_;
};

} // namespace

void TTopros::teardownAids() {
    delete findChild<TextbookLabelEvents*>(QStringLiteral("textbookLabelEvents"),
                                           Qt::FindDirectChildrenOnly);
}

void TTopros::setupAids() {
    auto* labelEvents = new TextbookLabelEvents(*this);
    labelEvents->setObjectName(QStringLiteral("textbookLabelEvents"));
    LUchebnik1->installEventFilter(labelEvents);
    LUchebnik1->setCursor(Qt::PointingHandCursor);
    // F1 and F2 act only while their menu items are visible, that is when the test offers them.
    N6->setShortcut(QKeySequence(Qt::Key_F1));
    N5->setShortcut(QKeySequence(Qt::Key_F2));
    for (QAction* a : {N6, N5}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    connect(N5, &QAction::triggered, this, [this] { N5Click(); });
    connect(N6, &QAction::triggered, this, [this] { N3Click(); });
}

void TTopros::LUchebnik1MouseEnter() {
    if (!LUchebnik1->isEnabled())
        return;
    LUchebnik1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255); text-decoration: underline;"));
}

void TTopros::LUchebnik1MouseLeave() {
    LUchebnik1->setStyleSheet(QString());
}

void TTopros::LUchebnik1Click() {
    const int k = currentItem();
    if (!LUchebnik1->isEnabled() || !PUchebnik1->isVisibleTo(this) || k < 0)
        return;
    const MessageTable& msg = context_.messages();
    const RunState& rs = context_.runState();
    const TextbookLink link = parseTextbookLink(questionSet.questions[std::size_t(k)].textbook);
    const QString path = resolveTextbookFile(link, rs.programFolder, QDir::currentPath());
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Dialogs::error(this, msg.text(kMsgOpenError));
        return;
    }
    const TextbookView view = textbookViewFor(path);
    const TextbookPlace place = textbookPlace(link.parameters, view);
    // Parameters meant for another desktop's reader: the supervisor finds them in the log.
    if (!place.unused.isEmpty())
        qInfo("kvizor: the textbook link's parameters \"%s\" are not used for %s",
              qPrintable(place.unused), qPrintable(path));
    if (view != TextbookView::Outside) {
        if (!textbookViewer_)
            textbookViewer_ = new TTextbookViewer(this, msg.text(kMsgOk));
        if (!textbookViewer_->open(path, place))
            Dialogs::error(this, msg.text(kMsgOpenError));
        return;
    }
    // Another program would open beside a locked test, without the keyboard and out of sight.
    if (lockdownInForce() && !rs.lockdownOff) {
        const QString text = msg.text(kMsgNotDuringTest);
        Dialogs::information(this, text.isEmpty() ? msg.text(kMsgOpenError) : text);
        return;
    }
    openUrl(path);
}

QWidget* TTopros::shownAid() const {
    if (calculator_ && calculator_->isVisible())
        return calculator_;
    if (textbookViewer_ && textbookViewer_->isVisible())
        return textbookViewer_;
    return nullptr;
}

void TTopros::N5Click() {
    if (!N5->isVisible())
        return;
    if (!calculator_) {
        const MessageTable& msg = context_.messages();
        calculator_ = new TCalculator(this, msg.text(kMsgCalculator), msg.text(kMsgError));
    }
    calculator_->popUp();
    // Once more after a menu that opened it has closed: the closing menu gives the activation
    // back to the run window.
    QTimer::singleShot(0, calculator_, [c = calculator_] {
        if (c->isVisible())
            c->popUp();
    });
}

void TTopros::N3Click() {
    if (!N6->isVisible())
        return;
    // The help window enables this one again when it hides.
    setEnabled(false);
    QWidget& reference = context_.referenceWindow();
    reference.show();
    reference.raise();
    reference.activateWindow();
}

} // namespace kvz
