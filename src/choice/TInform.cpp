#include "choice/TInform.h"

#include "app/KvizorApp.h"
#include "choice/ExamineeCheck.h"
#include "choice/IntroductionPage.h"
#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "net/TClient.h"
#include "platform/Dialogs.h"
#include "platform/Lockdown.h"
#include "platform/Named.h"
#include "platform/docview/DocumentView.h"
#include "run/TTopros.h"
#include "shell/RunState.h"
#include "shell/TBasic.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kvz {

namespace {

QLabel* centredLabel(QWidget* parent, const char* name, const QString& text) {
    auto* l = named<QLabel>(parent, name);
    l->setText(text);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// Keys the examinee must not use to leave the window.
bool isEscapeKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers();
    if ((mods & Qt::AltModifier) &&
        (key->key() == Qt::Key_F4 || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab))
        return true;
    return (mods & Qt::ControlModifier) && key->key() == Qt::Key_Escape;
}

} // namespace

TInform::TInform(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("Inform"));
    setWindowTitle(QStringLiteral("Квизор"));

    Panel1 = named<QFrame>(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label4 = centredLabel(Panel1, "Label4", QStringLiteral("Вам предстоит отвечать на"));
    QFont heading = Label4->font();
    heading.setBold(true);
    heading.setPointSize(heading.pointSize() + 4);
    Label4->setFont(heading);
    Label2 = centredLabel(Panel1, "Label2", QString());
    Label3 = centredLabel(Panel1, "Label3", QString());
    Label5 = named<QLabel>(Panel1, "Label5");
    Label5->setText(QStringLiteral("Введите ваш класс:"));
    KlassName = named<QLineEdit>(Panel1, "KlassName");
    KlassName->setMaxLength(kClassMaxLength);
    Label1 = named<QLabel>(Panel1, "Label1");
    Label1->setText(QStringLiteral("Введите ваше Ф.И.О.:"));
    UserName = named<QLineEdit>(Panel1, "UserName");
    UserName->setMaxLength(kNameMaxLength);
    Button1 = named<QPushButton>(Panel1, "Button1");
    Button1->setText(QStringLiteral("Выход"));
    Button2 = named<QPushButton>(Panel1, "Button2");
    Button2->setText(QStringLiteral("Далее"));
    for (QLineEdit* edit : {KlassName, UserName}) {
        // No edit menu (its paste would pass round the typing rules), no drops either; the
        // middle-button paste of the X selection is swallowed in eventFilter. Text from an input
        // method would arrive whole, not key by key: the keys come as keys instead.
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        edit->setAcceptDrops(false);
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->installEventFilter(this);
    }
    Label5->setBuddy(KlassName);
    Label1->setBuddy(UserName);

    auto* first = new QVBoxLayout(Panel1);
    first->setContentsMargins(24, 16, 24, 16);
    first->addWidget(Label4);
    first->addWidget(Label2);
    first->addWidget(Label3);
    first->addSpacing(12);
    first->addWidget(Label5);
    first->addWidget(KlassName);
    first->addWidget(Label1);
    first->addWidget(UserName);
    first->addSpacing(12);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch(1);
    buttons->addWidget(Button2);
    first->addLayout(buttons);
    Panel1->setMinimumWidth(420);

    // The introduction, the second page, fills the window when it is up.
    Introduction = new IntroductionPage(this);
    Panel2 = Introduction->Panel2;
    OleContainer1 = Introduction->OleContainer1;
    Panel3 = Introduction->Panel3;
    Button3 = Introduction->Button3;
    Button4 = Introduction->Button4;

    // The first page sits in the middle of the screen.
    firstPage_ = new QWidget(this);
    auto* middle = new QVBoxLayout(firstPage_);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addStretch(1);
    middle->addWidget(Panel1, 0, Qt::AlignHCenter);
    middle->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(firstPage_);
    layout->addWidget(Introduction);

    // Invisible commands that keep these keys from leaving the window.
    const QKeySequence swallowed[] = {QKeySequence(Qt::ALT | Qt::Key_F4),
                                      QKeySequence(Qt::ALT | Qt::Key_Tab),
                                      QKeySequence(Qt::CTRL | Qt::Key_Escape)};
    for (const QKeySequence& keys : swallowed) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setVisible(false);
        addAction(action);
    }

    connect(Button1, &QPushButton::clicked, this, [this] { app_.basic().close(); });
    connect(Button2, &QPushButton::clicked, this, [this] { ConfirmExaminee(); });
    connect(Introduction, &IntroductionPage::back, this, [this] { showFirstPage(); });
    connect(Introduction, &IntroductionPage::start, this, [this] { StartTest(); });

    showFirstPage();
}

bool TInform::onSecondPage() const {
    return Introduction->isVisibleTo(this);
}

void TInform::showFirstPage() {
    Introduction->hide();
    firstPage_->show();
    Panel1->show();
}

void TInform::showSecondPage() {
    firstPage_->hide();
    Panel1->hide();
    // The whole screen the window fills, whatever its size at this moment.
    QSize screenSize(1024, 768);
    if (const QScreen* s = screen())
        screenSize = s->geometry().size();
    Introduction->fitTo(screenSize);
    Introduction->show();
}

void TInform::ConfirmExaminee() {
    RunState& rs = app_.runState();
    const MessageTable& messages = app_.messages();
    const ExamineeOutcome out = kvz::ConfirmExaminee(
        cp1251::fromUnicode(UserName->text()), cp1251::fromUnicode(KlassName->text()),
        rs.interactive, rs.studentMode, [&](int n) { return messages.msg(n); });
    if (out.step == ExamineeOutcome::Step::Refused) {
        Dialogs::error(this, messages.text(out.message));
        (out.focus == ExamineeField::Name ? UserName : KlassName)->setFocus();
        return;
    }
    KlassName->setText(cp1251::toUnicode(out.klass));
    UserName->setText(cp1251::toUnicode(out.name));
    if (out.step == ExamineeOutcome::Step::Confirm &&
        !Dialogs::confirm(this, cp1251::toUnicode(out.question)))
        return;
    if (rs.showIntroduction)
        showSecondPage();
    else
        StartTest();
}

void TInform::StartTest() {
    app_.topros().StartRun();
    // The server learns that the test has begun (nothing when not connected).
    app_.client().SendStart();
    hide();
    showFirstPage();
}

void TInform::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const RunState& rs = app_.runState();
    Label5->setText(app_.messages().text(rs.studentMode ? 15 : 14));
    applyLockdown(rs, this);
    if (!(windowState() & Qt::WindowFullScreen))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TInform::keyPressEvent(QKeyEvent* event) {
    if (isEscapeKey(event))
        return;
    QWidget::keyPressEvent(event);
}

bool TInform::eventFilter(QObject* watched, QEvent* event) {
    if (watched == KlassName || watched == UserName) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            // The middle button pastes the X selection past the typing rules.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton)
                return true;
            break;
        case QEvent::InputMethod:
            return true;
        default:
            break;
        }
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == KlassName)
        return fieldKey(KlassName, ExamineeField::Class, key);
    if (watched == UserName)
        return fieldKey(UserName, ExamineeField::Name, key);
    return false;
}

bool TInform::fieldKey(QLineEdit* edit, ExamineeField field, QKeyEvent* key) {
    if (isEscapeKey(key))
        return true;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (field == ExamineeField::Name)
            ConfirmExaminee();
        else if (!edit->text().isEmpty())
            UserName->setFocus();
        return true;
    }
    // Pasting would pass round the rules below.
    if (key->matches(QKeySequence::Paste) ||
        (key->key() == Qt::Key_Insert && (key->modifiers() & Qt::ShiftModifier)))
        return true;
    const QString typed = key->text();
    if (typed.isEmpty() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) ||
        !typed.at(0).isPrint())
        return false; // editing and moving keys work as usual
    std::string text = cp1251::fromUnicode(edit->text());
    int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    int selection = edit->hasSelectedText() ? int(edit->selectedText().size()) : 0;
    bool changed = false;
    for (QChar ch : typed) {
        const std::optional<TypedText> r = TypeKey(field, text, caret, selection, ch);
        if (!r)
            continue;
        text = r->text;
        caret = r->caret;
        selection = 0;
        changed = true;
    }
    if (changed) {
        edit->setText(cp1251::toUnicode(text));
        edit->setCursorPosition(caret);
    }
    return true;
}

} // namespace kvz
