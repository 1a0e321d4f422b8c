#include "TPreview.h"

#include "l10n/Cp1251.h"
#include "platform/docview/DocumentView.h"
#include "run/Checking.h"
#include "run/MarkerPictures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace kvz::editor {

namespace {

QString clock(std::int32_t ms) {
    return QString::fromStdString(formatTimeText(ms / 86400000.0));
}

} // namespace

TPreview::TPreview(const EditorLanguage& language, QWidget* parent)
    : QWidget(parent, Qt::Window), language_(language) {
    setObjectName(QStringLiteral("EditorPreview"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(6, 4, 6, 4);
    Finish = new QPushButton(QStringLiteral("Завершить!"), this);
    Finish->setObjectName(QStringLiteral("Finish"));
    bar->addWidget(Finish);
    Verdict = new QLabel(this);
    Verdict->setObjectName(QStringLiteral("Verdict"));
    bar->addWidget(Verdict, 1);
    auto* note = new QLabel(this);
    note->setObjectName(QStringLiteral("PreviewNote"));
    note->setText(language_.text(QStringLiteral("PreviewNote"),
                                 QStringLiteral("Просмотр: результат не записывается")));
    note->setStyleSheet(QStringLiteral("color: #806000;"));
    bar->addWidget(note);
    v->addLayout(bar);

    auto* middle = new QHBoxLayout;
    Quest = new DocumentView(this);
    Quest->setObjectName(QStringLiteral("Quest"));
    Quest->setAutoFillBackground(true);
    QPalette pal = Quest->palette();
    pal.setColor(QPalette::Window, Qt::white);
    Quest->setPalette(pal);
    middle->addWidget(Quest, 1);
    Stests = new QListWidget(this);
    Stests->setObjectName(QStringLiteral("Stests"));
    Stests->setFixedWidth(70);
    middle->addWidget(Stests);
    v->addLayout(middle, 1);

    // The answer row of each kind.
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 4, 6, 4);
    Label2 = new QLabel(QStringLiteral("Ваш ответ:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    row->addWidget(Label2);
    Answers = new QStackedWidget(this);
    auto* a1 = new QWidget(Answers);
    auto* a1l = new QHBoxLayout(a1);
    auto* a2 = new QWidget(Answers);
    auto* a2l = new QHBoxLayout(a2);
    for (int i = 0; i < kMaxChoices; ++i) {
        Otvetbool[std::size_t(i)] = new QCheckBox(QString::number(i + 1), a1);
        Otvetbool[std::size_t(i)]->setObjectName(QStringLiteral("Otvetbool%1").arg(i + 1));
        a1l->addWidget(Otvetbool[std::size_t(i)]);
        Otvetbool1x[std::size_t(i)] = new QRadioButton(QString::number(i + 1), a2);
        Otvetbool1x[std::size_t(i)]->setObjectName(QStringLiteral("Otvetbool1%1").arg(i + 1));
        a2l->addWidget(Otvetbool1x[std::size_t(i)]);
        connect(Otvetbool[std::size_t(i)], &QCheckBox::toggled, this, [this] { saveAnswer(); });
        connect(Otvetbool1x[std::size_t(i)], &QRadioButton::toggled, this,
                [this] { saveAnswer(); });
    }
    a1l->addStretch();
    a2l->addStretch();
    auto* b = new QWidget(Answers);
    auto* bl = new QHBoxLayout(b);
    otvetstr = new QLineEdit(b);
    otvetstr->setObjectName(QStringLiteral("otvetstr"));
    bl->addWidget(otvetstr);
    connect(otvetstr, &QLineEdit::textEdited, this, [this](const QString& t) {
        // Whatever the pupil types arrives in lower case.
        const QString lower = cp1251::toUnicode(cp1251::ansiLower(cp1251::fromUnicode(t)));
        if (lower != t)
            otvetstr->setText(lower);
        saveAnswer();
    });
    auto* d = new QWidget(Answers);
    auto* dl = new QHBoxLayout(d);
    for (int i = 0; i < kMaxSlots; ++i) {
        LbOtvetOfset[std::size_t(i)] = new QLabel(QStringLiteral("%1:").arg(i + 1), d);
        CbOtvetOfset[std::size_t(i)] = new QComboBox(d);
        CbOtvetOfset[std::size_t(i)]->setObjectName(
            QStringLiteral("CbOtvetOfset%1").arg(i + 1, 2, 10, QLatin1Char('0')));
        dl->addWidget(LbOtvetOfset[std::size_t(i)]);
        dl->addWidget(CbOtvetOfset[std::size_t(i)]);
        connect(CbOtvetOfset[std::size_t(i)], &QComboBox::activated, this, [this, i](int index) {
            if (filling_)
                return;
            board_.choose(i + 1, index + 1);
            markersChanged();
        });
    }
    dl->addStretch();
    Answers->addWidget(a1);
    Answers->addWidget(a2);
    Answers->addWidget(b);
    Answers->addWidget(d);
    row->addWidget(Answers, 1);
    PRIOR1 = new QPushButton(QStringLiteral("<< Назад"), this);
    PRIOR1->setObjectName(QStringLiteral("PRIOR1"));
    Next1 = new QPushButton(QStringLiteral("Далее >>"), this);
    Next1->setObjectName(QStringLiteral("Next1"));
    row->addWidget(PRIOR1);
    row->addWidget(Next1);
    v->addLayout(row);

    auto* status = new QHBoxLayout;
    status->setContentsMargins(6, 2, 6, 2);
    auto* left = new QLabel(QStringLiteral("Осталось времени на"), this);
    left->setObjectName(QStringLiteral("Panel2"));
    Panel5 = new QLabel(this);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel3 = new QLabel(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    status->addWidget(left);
    status->addWidget(Panel5);
    status->addWidget(Panel3);
    status->addStretch();
    v->addLayout(status);

    connect(Next1, &QPushButton::clicked, this, [this] { Next1Click(); });
    connect(PRIOR1, &QPushButton::clicked, this, [this] { Prior1Click(); });
    connect(Finish, &QPushButton::clicked, this, [this] { FinishClick(); });
    connect(Stests, &QListWidget::currentRowChanged, this, [this](int k) {
        if (!filling_)
            SelectQuestion(k);
    });
    connect(Quest, &DocumentView::pageMoved, this, [this](QRect r) { board_.setPage(r); });
    connect(Quest, &DocumentView::paintOver, this, [this](QPainter& p) { paintMarkers(p); });
    connect(Quest, &DocumentView::mousePressed, this, [this](Qt::MouseButton button, QPoint pos) {
        if (button == Qt::LeftButton && !finished_)
            board_.beginDrag(pos.x(), pos.y());
    });
    connect(Quest, &DocumentView::mouseMoved, this, [this](Qt::MouseButtons, QPoint pos) {
        if (board_.dragging()) {
            board_.moveDrag(pos.x(), pos.y());
            Quest->update();
        }
    });
    connect(Quest, &DocumentView::mouseReleased, this, [this](Qt::MouseButton, QPoint pos) {
        if (!board_.dragging())
            return;
        const MarkerDrop drop = board_.drop(pos.x(), pos.y());
        if (drop.accepted)
            markersChanged();
        Quest->update();
    });
    language_.apply(this);
}

void TPreview::showTest(const EditableTest& test, QSize screen) {
    // The loader's own steps on the test as it stands: labels, settings, budgets; then a run's.
    set_ = QuestionSet{};
    state_ = RunState{};
    applyTestArchive(test.archiveAsSaved(), set_, state_);
    state_.shuffleQuestions = false;
    startRunLogic(set_, state_, 1);
    finished_ = false;
    summary_ = CheckSummary{};
    Verdict->clear();
    filling_ = true;
    Stests->clear();
    for (const std::string& l : set_.labels)
        Stests->addItem(QString::fromStdString(l));
    filling_ = false;
    PRIOR1->setVisible(!state_.fixedOrder);
    Stests->setEnabled(!state_.fixedOrder);
    setWindowTitle(QStringLiteral("%1 — %2 × %3")
                       .arg(language_.text(QStringLiteral("PreviewTitle"),
                                           QStringLiteral("Как увидит ученик")))
                       .arg(screen.width())
                       .arg(screen.height()));
    setFixedSize(screen);
    show();
    raise();
    current_ = -1;
    SelectQuestion(0);
}

void TPreview::SelectQuestion(int k) {
    if (k < 0 || k >= set_.size())
        return;
    saveAnswer();
    current_ = k;
    showQuestion();
}

void TPreview::Next1Click() {
    if (current_ + 1 < set_.size())
        SelectQuestion(current_ + 1);
}

void TPreview::Prior1Click() {
    if (!state_.fixedOrder && current_ > 0)
        SelectQuestion(current_ - 1);
}

void TPreview::showQuestion() {
    if (current_ < 0 || current_ >= set_.size())
        return;
    filling_ = true;
    const TQuestionRec& q = set_.questions[std::size_t(current_)];
    const TAnswerRec& a = set_.answers[std::size_t(current_)];
    Stests->setCurrentRow(current_);
    if (q.body.isEmpty())
        Quest->clear();
    else
        Quest->loadFromBytes(q.body);
    board_.setPage(Quest->pageRect());
    switch (q.kind()) {
    case 'A':
        Answers->setCurrentIndex(q.multiChoice ? 0 : 1);
        for (int i = 0; i < kMaxChoices; ++i) {
            Otvetbool[std::size_t(i)]->setVisible(i < q.choiceCount);
            Otvetbool[std::size_t(i)]->setChecked(a.chosen[std::size_t(i)]);
            Otvetbool1x[std::size_t(i)]->setVisible(i < q.choiceCount);
            Otvetbool1x[std::size_t(i)]->setAutoExclusive(false);
            Otvetbool1x[std::size_t(i)]->setChecked(a.chosen[std::size_t(i)]);
            Otvetbool1x[std::size_t(i)]->setAutoExclusive(true);
        }
        board_.clear();
        break;
    case 'B':
        Answers->setCurrentIndex(2);
        otvetstr->setText(cp1251::toUnicode(a.text));
        board_.clear();
        break;
    default:
        Answers->setCurrentIndex(3);
        board_.load(q.rightSlots, a.slots);
        for (int i = 0; i < kMaxSlots; ++i) {
            const bool shown = i < q.choiceCount;
            LbOtvetOfset[std::size_t(i)]->setVisible(shown);
            CbOtvetOfset[std::size_t(i)]->setVisible(shown);
            CbOtvetOfset[std::size_t(i)]->clear();
            for (int n = 1; n <= q.choiceCount; ++n)
                CbOtvetOfset[std::size_t(i)]->addItem(QString::number(n));
            CbOtvetOfset[std::size_t(i)]->setCurrentIndex(a.slots[std::size_t(i)].number - 1);
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(Answers)})
        w->setEnabled(!finished_);
    Panel5->setText(QStringLiteral("вопрос: ") +
                    (set_.questionTimerOn ? clock(q.timeLeftMs) : QStringLiteral("-")));
    Panel3->setText(QStringLiteral("тест: ") +
                    (set_.testTimerOn ? clock(set_.testTimeLeftMs) : QStringLiteral("-")));
    Next1->setEnabled(current_ + 1 < set_.size());
    PRIOR1->setEnabled(current_ > 0);
    filling_ = false;
    Quest->update();
}

void TPreview::saveAnswer() {
    if (filling_ || finished_ || current_ < 0 || current_ >= set_.size())
        return;
    const TQuestionRec& q = set_.questions[std::size_t(current_)];
    TAnswerRec& a = set_.answers[std::size_t(current_)];
    if (q.kind() == 'A') {
        for (int i = 0; i < kMaxChoices; ++i)
            a.chosen[std::size_t(i)] = q.multiChoice ? Otvetbool[std::size_t(i)]->isChecked()
                                                     : Otvetbool1x[std::size_t(i)]->isChecked();
    } else if (q.kind() == 'B') {
        a.text = cp1251::fromUnicode(otvetstr->text());
    }
    a.touched = true;
}

void TPreview::markersChanged() {
    if (current_ < 0 || current_ >= set_.size())
        return;
    TAnswerRec& a = set_.answers[std::size_t(current_)];
    for (int i = 0; i < kMaxSlots; ++i)
        a.slots[std::size_t(i)].number = board_.workSlots()[std::size_t(i)].number;
    a.touched = true;
    filling_ = true;
    for (int i = 0; i < kMaxSlots; ++i)
        if (CbOtvetOfset[std::size_t(i)]->isVisible() || !isVisible())
            CbOtvetOfset[std::size_t(i)]->setCurrentIndex(a.slots[std::size_t(i)].number - 1);
    filling_ = false;
    Quest->update();
}

void TPreview::paintMarkers(QPainter& p) {
    if (board_.cellWidth() == 0 || board_.cellHeight() == 0)
        return;
    p.save();
    p.setClipRect(board_.page(), Qt::IntersectClip);
    for (int col = 0; col < kGridSize; ++col)
        for (int row = 0; row < kGridSize; ++row) {
            const int n = board_.numberAt(col, row);
            if (n == 0 || (board_.dragging() && board_.startCell() == GridCell{col, row}))
                continue;
            markers::draw(p, board_.cellRect({col, row}), n);
        }
    p.restore();
}

void TPreview::FinishClick() {
    saveAnswer();
    // The run's own check; nothing is written anywhere.
    std::vector<std::string> verdicts;
    CheckAnswers(set_, "+", "-", verdicts, summary_);
    finished_ = true;
    for (int k = 0; k < Stests->count() && k < int(verdicts.size()); ++k)
        Stests->item(k)->setText(QString::fromStdString(set_.labels[std::size_t(k)]) +
                                 QLatin1Char(' ') +
                                 QString::fromStdString(verdicts[std::size_t(k)]));
    QString text =
        language_
            .text(QStringLiteral("PreviewScore"), QStringLiteral("Верно %1 из %2, результат %3 %"))
            .arg(summary_.rightCount)
            .arg(summary_.questionCount)
            .arg(QString::fromStdString(summary_.scoreText));
    if (state_.showMark) {
        const int mark = ChooseMark(summary_.gainedWeight, summary_.totalWeight, state_.markScale,
                                    state_.markCount);
        if (mark >= 0)
            text += QStringLiteral(", ") +
                    language_.text(QStringLiteral("PreviewMark"), QStringLiteral("оценка")) +
                    QStringLiteral(" ") +
                    cp1251::toUnicode(state_.markScale[std::size_t(mark)].markText);
    }
    Verdict->setText(text);
    showQuestion();
}

} // namespace kvz::editor
