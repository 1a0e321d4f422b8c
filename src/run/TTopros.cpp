// The run window's controls and their wiring.

#include "run/TTopros.h"

#include "platform/Named.h"
#include "platform/docview/DocumentView.h"
#include "run/JournalKeeper.h"
#include "run/RunContext.h"
#include "run/StestsDelegate.h"
#include "run/TCalculator.h"
#include "run/TTextbookViewer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kvz {

namespace {

QAction* namedAction(QObject* parent, const char* name, const QString& text) {
    auto* a = new QAction(text, parent);
    a->setObjectName(QLatin1String(name));
    return a;
}

QFrame* panel(QWidget* parent, const char* name) {
    auto* f = named<QFrame>(parent, name);
    f->setFrameStyle(QFrame::NoFrame);
    return f;
}

QHBoxLayout* row(QWidget* w, int margin = 0) {
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(margin, margin, margin, margin);
    l->setSpacing(6);
    return l;
}

const char* const kCheckNames[kMaxChoices] = {"Otvetbool1", "Otvetbool2", "Otvetbool3",
                                              "Otvetbool4", "Otvetbool5"};
const char* const kRadioNames[kMaxChoices] = {"Otvetbool11", "Otvetbool12", "Otvetbool13",
                                              "Otvetbool14", "Otvetbool15"};

// One row of choices: check boxes or radio buttons "1)".."5)", with or without "prav_".
template <typename Button>
void buildChoices(QFrame* host, std::array<Button*, kMaxChoices>& buttons,
                  const char* const (&names)[kMaxChoices], const char* prefix) {
    QHBoxLayout* l = row(host);
    for (int i = 0; i < kMaxChoices; ++i) {
        const QByteArray name = QByteArray(prefix) + names[i];
        buttons[std::size_t(i)] = named<Button>(host, name.constData());
        buttons[std::size_t(i)]->setText(QString::number(i + 1) + QLatin1Char(')'));
        l->addWidget(buttons[std::size_t(i)]);
    }
}

// The ordering row: labels "1)".."10)" over drop-downs, one 52-pixel column per slot.
void buildSlots(QFrame* host, std::array<QLabel*, kMaxSlots>& labels,
                std::array<QComboBox*, kMaxSlots>& boxes, const char* prefix) {
    auto* grid = new QGridLayout(host);
    grid->setContentsMargins(6, 0, 6, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(0);
    for (int i = 0; i < kMaxSlots; ++i) {
        const QByteArray label = prefix + QByteArray("LbOtvetOfset") + QByteArray::number(i + 1);
        const QByteArray box =
            prefix + QByteArray("CbOtvetOfset") + QByteArray::number(i + 1).rightJustified(2, '0');
        labels[std::size_t(i)] = named<QLabel>(host, label.constData());
        labels[std::size_t(i)]->setText(QString::number(i + 1) + QLatin1Char(')'));
        boxes[std::size_t(i)] = named<QComboBox>(host, box.constData());
        boxes[std::size_t(i)]->setProperty("tag", i + 1);
        boxes[std::size_t(i)]->setFixedWidth(50);
        grid->addWidget(labels[std::size_t(i)], 0, i);
        grid->addWidget(boxes[std::size_t(i)], 1, i);
    }
}

} // namespace

TTopros::TTopros(RunContext& context)
    : context_(context), app_(context.program()), driver_(questionSet, context.runState(), *this) {
    setObjectName(QStringLiteral("Topros"));
    setWindowTitle(QStringLiteral("Квизор"));

    // The hidden main menu: its items give the window its keys.
    MainMenu1 = named<QMenuBar>(this, "MainMenu1");
    QMenu* file = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1 = file->menuAction();
    N1->setObjectName(QStringLiteral("N1"));
    N2 = namedAction(this, "N2", QStringLiteral("Выход"));
    // Alt+F4 lands here and does nothing: the run window cannot be closed.
    N2->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    N2->setShortcutContext(Qt::WindowShortcut);
    file->addAction(N2);
    addAction(N2);
    N31 = MainMenu1->addMenu(QStringLiteral("Помощь"));
    N31->setObjectName(QStringLiteral("N31"));
    N6 = namedAction(this, "N6", QStringLiteral("Справочная информация"));
    N5 = namedAction(this, "N5", QStringLiteral("Калькулятор"));
    N31->addAction(N6);
    N31->addAction(N5);
    MainMenu1->hide();

    ToolBar1 = named<QToolBar>(this, "ToolBar1");
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolBar1->setMovable(false);
    N3 = namedAction(this, "N3", QStringLiteral("Помощь"));
    // The hidden menu bar's entry for the same menu follows the tool button's caption.
    QAction* menuEntry = N31->menuAction();
    N3->setMenu(N31);
    connect(N3, &QAction::changed, menuEntry,
            [this, menuEntry] { menuEntry->setText(N3->text()); });
    N4 = namedAction(this, "N4", QStringLiteral("Завершить!"));
    N9 = namedAction(this, "N9", QStringLiteral("Выйти из режима просмотра ответов"));
    ToolBar1->addAction(N3);
    if (auto* b = qobject_cast<QToolButton*>(ToolBar1->widgetForAction(N3)))
        b->setPopupMode(QToolButton::InstantPopup);
    ToolBar1->addAction(N4);
    ToolBar1->addAction(N9);
    N9->setVisible(false);
    connect(N4, &QAction::triggered, this, [this] { SaveResult(); });
    connect(N9, &QAction::triggered, this, [this] { N9Click(); });

    // The examinee's answer row.
    Panel1 = panel(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QHBoxLayout* answerRow = row(Panel1, 4);
    Panel13 = panel(Panel1, "Panel13");
    Label2 = named<QLabel>(Panel13, "Label2");
    Label2->setText(QStringLiteral("Ваш ответ:"));
    row(Panel13)->addWidget(Label2);
    pA1 = panel(Panel1, "pA1");
    buildChoices(pA1, Otvetbool, kCheckNames, "");
    pA2 = panel(Panel1, "pA2");
    buildChoices(pA2, Otvetbool1x, kRadioNames, "");
    pB = panel(Panel1, "pB");
    otvetstr = named<QLineEdit>(pB, "otvetstr");
    otvetstr->setMinimumWidth(320);
    row(pB)->addWidget(otvetstr);
    pD = panel(Panel1, "pD");
    buildSlots(pD, LbOtvetOfset, CbOtvetOfset, "");
    pProizvolno = named<QWidget>(Panel1, "pProizvolno");
    PRIOR1 = named<QPushButton>(pProizvolno, "PRIOR1");
    PRIOR1->setText(QStringLiteral("Назад"));
    Next1 = named<QPushButton>(pProizvolno, "Next1");
    Next1->setText(QStringLiteral("Далее"));
    QHBoxLayout* freeRow = row(pProizvolno);
    freeRow->addWidget(PRIOR1);
    freeRow->addWidget(Next1);
    pPoradok = named<QWidget>(Panel1, "pPoradok");
    Next2 = named<QPushButton>(pPoradok, "Next2");
    Next2->setText(QStringLiteral("Далее"));
    row(pPoradok)->addWidget(Next2);
    for (QWidget* w :
         {static_cast<QWidget*>(Panel13), static_cast<QWidget*>(pA1), static_cast<QWidget*>(pA2),
          static_cast<QWidget*>(pB), static_cast<QWidget*>(pD)})
        answerRow->addWidget(w);
    answerRow->addStretch(1);
    answerRow->addWidget(pProizvolno);
    answerRow->addWidget(pPoradok);
    pPoradok->hide();
    connect(Next1, &QPushButton::clicked, this, [this] { Next1Click(); });
    connect(Next2, &QPushButton::clicked, this, [this] { Next1Click(); });
    connect(PRIOR1, &QPushButton::clicked, this, [this] { Prior1Click(); });

    // Review: the right answer and the verdict.
    prav_Panel = panel(this, "prav_Panel");
    prav_Panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QHBoxLayout* rightRow = row(prav_Panel, 4);
    prav_Panel2 = panel(prav_Panel, "prav_Panel2");
    Label1 = named<QLabel>(prav_Panel2, "Label1");
    Label1->setText(QStringLiteral("Правильно:"));
    row(prav_Panel2)->addWidget(Label1);
    prav_pA1 = panel(prav_Panel, "prav_pA1");
    buildChoices(prav_pA1, prav_Otvetbool, kCheckNames, "prav_");
    prav_pA2 = panel(prav_Panel, "prav_pA2");
    buildChoices(prav_pA2, prav_Otvetbool1x, kRadioNames, "prav_");
    prav_pB = panel(prav_Panel, "prav_pB");
    prav_otvetstr = named<QLineEdit>(prav_pB, "prav_otvetstr");
    prav_otvetstr->setMinimumWidth(320);
    row(prav_pB)->addWidget(prav_otvetstr);
    prav_pD = panel(prav_Panel, "prav_pD");
    buildSlots(prav_pD, prav_LbOtvetOfset, prav_CbOtvetOfset, "prav_");
    Panel6 = panel(prav_Panel, "Panel6");
    Label3 = named<QLabel>(Panel6, "Label3");
    Label3->setText(QStringLiteral("Правильно"));
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    row(Panel6)->addWidget(Label3);
    for (QWidget* w : {static_cast<QWidget*>(prav_Panel2), static_cast<QWidget*>(prav_pA1),
                       static_cast<QWidget*>(prav_pA2), static_cast<QWidget*>(prav_pB),
                       static_cast<QWidget*>(prav_pD)}) {
        rightRow->addWidget(w);
        if (w != prav_Panel2)
            w->setEnabled(false);
    }
    rightRow->addStretch(1);
    rightRow->addWidget(Panel6);
    prav_Panel->hide();
    Panel6->hide();
    // In review the answers and the right answers are disabled, so that nothing changes them,
    // but they are there to be read: their texts keep the colours of enabled controls.
    for (QWidget* w : {pB, pA1, pA2, pD, prav_pA1, prav_pA2, prav_pB, prav_pD}) {
        QPalette p = w->palette();
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                         QPalette::Base, QPalette::Button})
            p.setColor(QPalette::Disabled, role, p.color(QPalette::Active, role));
        w->setPalette(p);
    }

    // The question page and the question list.
    ScrollBox1 = named<QScrollArea>(this, "ScrollBox1");
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setFrameStyle(QFrame::NoFrame);
    Quest = new DocumentView;
    Quest->setObjectName(QStringLiteral("Quest"));
    ScrollBox1->setWidget(Quest);
    Panel4 = panel(this, "Panel4");
    Panel4->setFixedWidth(72);
    Stests = named<QListWidget>(Panel4, "Stests");
    // The list is moved by the program only: no keyboard, and clicks are read by Panel4Click.
    Stests->setFocusPolicy(Qt::NoFocus);
    Stests->setSelectionMode(QAbstractItemView::SingleSelection);
    Stests->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Stests->setUniformItemSizes(true);
    stestsDelegate_ = new StestsDelegate(*this, context_.messages(), Stests);
    Stests->setItemDelegate(stestsDelegate_);
    Stests->viewport()->installEventFilter(this);
    QVBoxLayout* listColumn = new QVBoxLayout(Panel4);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->addWidget(Stests);

    // The status line.
    StatusLine = panel(this, "StatusLine");
    StatusLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QHBoxLayout* status = row(StatusLine, 2);
    Panel2 = named<QLabel>(StatusLine, "Panel2");
    Panel2->setText(QStringLiteral("Осталось времени на"));
    Panel3 = named<QLabel>(StatusLine, "Panel3");
    Panel5 = named<QLabel>(StatusLine, "Panel5");
    for (QLabel* clock : {Panel3, Panel5}) {
        clock->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        clock->setAutoFillBackground(true);
        clock->setMinimumWidth(140);
    }
    PUchebnik1 = panel(StatusLine, "PUchebnik1");
    LUchebnik1 = named<QLabel>(PUchebnik1, "LUchebnik1");
    LUchebnik1->setText(QStringLiteral("Учебник по теме вопроса"));
    LUchebnik1->setEnabled(false);
    row(PUchebnik1)->addWidget(LUchebnik1);
    status->addWidget(Panel2);
    status->addWidget(Panel3);
    status->addWidget(Panel5);
    status->addStretch(1);
    status->addWidget(PUchebnik1);

    NoticeLine = named<QLabel>(this, "NoticeLine");
    NoticeLine->setAlignment(Qt::AlignCenter);
    NoticeLine->setWordWrap(true);
    NoticeLine->setMargin(6);
    NoticeLine->setStyleSheet(
        QStringLiteral("background: rgb(255, 248, 196); color: black; font-weight: bold;"));
    NoticeLine->hide();
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, NoticeLine, &QWidget::hide);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(ToolBar1);
    layout->addWidget(Panel1);
    layout->addWidget(prav_Panel);
    layout->addWidget(NoticeLine);
    auto* body = new QHBoxLayout;
    body->addWidget(ScrollBox1, 1);
    body->addWidget(Panel4);
    layout->addLayout(body, 1);
    layout->addWidget(StatusLine);

    // The answer controls report the examinee's changes.
    for (QCheckBox* b : Otvetbool)
        connect(b, &QCheckBox::clicked, this, [this] { OtvetboolClick(); });
    for (QRadioButton* b : Otvetbool1x)
        connect(b, &QRadioButton::clicked, this, [this] { OtvetboolClick(); });
    connect(otvetstr, &QLineEdit::textChanged, this, [this] { otvetstrChange(); });
    // Pasted, dropped or composed text is lower-cased as typed keys are.
    connect(otvetstr, &QLineEdit::textEdited, this, &TTopros::lowerTypedAnswer);
    for (int i = 0; i < kMaxSlots; ++i)
        connect(CbOtvetOfset[std::size_t(i)], &QComboBox::activated, this,
                [this, i](int index) { CbOtvetOfsetChange(i + 1, index); });
    // Rows as tall as the tallest answer kind, so the page does not jump between questions.
    Panel1->setMinimumHeight(pD->sizeHint().height() + 10);
    prav_Panel->setMinimumHeight(prav_pD->sizeHint().height() + 10);
    SetChoiceCount(0);
    pA1->hide();
    pA2->hide();
    pD->hide();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    // Woken for the next second of either clock, never early, so each wake-up moves one.
    Timer1.setSingleShot(true);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    // The markers over the page, the textbook link, the calculator and the reference.
    setupMarkers();
    setupAids();

    // The window sees keys before its controls.
    qApp->installEventFilter(this);
}

TTopros::~TTopros() {
    if (qApp)
        qApp->removeEventFilter(this);
    teardownMarkers();
    teardownAids();
}

void TTopros::showNotice(const QString& text) {
    NoticeLine->setText(text);
    NoticeLine->setVisible(!text.isEmpty());
    noticeTimer_.start(kNoticeMs);
}

void TTopros::closeEvent(QCloseEvent* event) {
    // Only the program's end closes this window; the examinee leaves by finishing the test.
    if (!context_.runWindowClosable()) {
        event->ignore();
        return;
    }
    // A preview closed by its teacher: nothing of the run goes on behind it.
    stopClock();
    if (promptVisible())
        hidePrompt();
    if (calculator_)
        calculator_->hide();
    if (textbookViewer_)
        textbookViewer_->hide();
    QWidget::closeEvent(event);
}

} // namespace kvz
