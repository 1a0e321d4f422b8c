// The answer row: the controls of each answer kind, filled from and stored into the answer
// records, and in review the right answer beside the examinee's.

#include "run/TTopros.h"

#include "l10n/Cp1251.h"
#include "l10n/MessageTable.h"
#include "platform/docview/DocumentView.h"
#include "run/RunContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

namespace kvz {

namespace {

constexpr int kSlotWidth = 52;

// Radio buttons of one row may all be off (nothing chosen yet), which an exclusive row forbids
// while it is being set.
void setRadios(const std::array<QRadioButton*, kMaxChoices>& radios,
               const std::array<bool, kMaxChoices>& on) {
    for (QRadioButton* r : radios)
        r->setAutoExclusive(false);
    for (std::size_t i = 0; i < radios.size(); ++i)
        radios[i]->setChecked(on[i]);
    for (QRadioButton* r : radios)
        r->setAutoExclusive(true);
}

void fillNumbers(QComboBox* box, int n) {
    if (box->count() == n)
        return;
    const QSignalBlocker quiet(box);
    box->clear();
    for (int i = 1; i <= n; ++i)
        box->addItem(QString::number(i).rightJustified(2, QLatin1Char('0')));
}

// The drop-down shows number v (1..n); none for 0 or a number it does not hold.
void showNumber(QComboBox* box, int v) {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(v >= 1 && v <= box->count() ? v - 1 : -1);
}

} // namespace

AnswerPanel TTopros::visiblePanel() const {
    if (pA1->isVisibleTo(this))
        return AnswerPanel::A1;
    if (pA2->isVisibleTo(this))
        return AnswerPanel::A2;
    if (pB->isVisibleTo(this))
        return AnswerPanel::B;
    if (pD->isVisibleTo(this))
        return AnswerPanel::D;
    return AnswerPanel::None;
}

void TTopros::SetChoiceCount(int n) {
    for (int i = 0; i < kMaxChoices; ++i) {
        const bool on = i < n;
        const std::size_t k = std::size_t(i);
        for (QWidget* w :
             {static_cast<QWidget*>(Otvetbool[k]), static_cast<QWidget*>(Otvetbool1x[k]),
              static_cast<QWidget*>(prav_Otvetbool[k]), static_cast<QWidget*>(prav_Otvetbool1x[k])})
            w->setVisible(on);
    }
    const int slots = n < 0 ? 0 : n > kMaxSlots ? kMaxSlots : n;
    pD->setFixedWidth(slots * kSlotWidth + 12);
    prav_pD->setFixedWidth(slots * kSlotWidth + 12);
    for (int i = 0; i < kMaxSlots; ++i) {
        const std::size_t k = std::size_t(i);
        const bool on = i < slots;
        for (QWidget* w :
             {static_cast<QWidget*>(CbOtvetOfset[k]), static_cast<QWidget*>(LbOtvetOfset[k]),
              static_cast<QWidget*>(prav_CbOtvetOfset[k]),
              static_cast<QWidget*>(prav_LbOtvetOfset[k])})
            w->setVisible(on);
        if (on) {
            fillNumbers(CbOtvetOfset[k], slots);
            fillNumbers(prav_CbOtvetOfset[k], slots);
        }
    }
}

void TTopros::ShowQuestion() {
    const int k = currentItem();
    if (k < 0 || Stests->count() == 0)
        return;
    const TQuestionRec& q = questionSet.questions[std::size_t(k)];
    const bool review = inReview();
    SetChoiceCount(q.choiceCount);

    const AnswerPanel panel = answerPanelFor(q);
    pA1->setVisible(panel == AnswerPanel::A1);
    pA2->setVisible(panel == AnswerPanel::A2);
    pB->setVisible(panel == AnswerPanel::B);
    pD->setVisible(panel == AnswerPanel::D);
    if (review) {
        prav_pA1->setVisible(panel == AnswerPanel::A1);
        prav_pA2->setVisible(panel == AnswerPanel::A2);
        prav_pB->setVisible(panel == AnswerPanel::B);
        prav_pD->setVisible(panel == AnswerPanel::D);
        if (panel == AnswerPanel::B)
            prav_otvetstr->setText(cp1251::toUnicode(q.rightText));
        for (std::size_t i = 0; i < kMaxChoices; ++i)
            prav_Otvetbool[i]->setChecked(q.rightChoice[i]);
        setRadios(prav_Otvetbool1x, q.rightChoice);
    }

    Quest->loadFromBytes(q.body);

    if (review) {
        const std::vector<std::string>& verdicts = context_.runState().verdicts;
        const std::string verdict =
            std::size_t(k) < verdicts.size() ? verdicts[std::size_t(k)] : std::string();
        Label3->setText(cp1251::toUnicode(verdict));
        QPalette p = Label3->palette();
        p.setColor(QPalette::WindowText,
                   verdict == context_.messages().msg(22) ? QColor(0, 128, 0) : QColor(Qt::black));
        Label3->setPalette(p);
    }

    // The textbook link: enabled when the question has one; its hint shows the file and the
    // parameters without the leading ">".
    std::string t = q.textbook;
    if (!t.empty() && t[0] == '>')
        t.erase(0, 1);
    if (const std::size_t bar = t.find('|'); bar != std::string::npos)
        t[bar] = ' ';
    LUchebnik1->setEnabled(!t.empty());
    LUchebnik1->setToolTip(cp1251::toUnicode(t));

    if (panel == AnswerPanel::D)
        Quest->update(); // the markers are painted over the page
}

void TTopros::ShowAnswer() {
    const int k = currentItem();
    if (k < 0)
        return;
    const TQuestionRec& q = questionSet.questions[std::size_t(k)];
    const AnswerControls c = kvz::ShowAnswer(q, questionSet.answers[std::size_t(k)]);
    const bool wasUpdating = questionSet.updating;
    questionSet.updating = true;
    setRadios(Otvetbool1x, c.radios);
    for (std::size_t i = 0; i < kMaxChoices; ++i)
        Otvetbool[i]->setChecked(c.checks[i]);
    otvetstr->setText(cp1251::toUnicode(c.text));
    markerBoard.load(q.rightSlots, questionSet.answers[std::size_t(k)].slots);
    for (std::size_t i = 0; i < kMaxSlots; ++i) {
        showNumber(CbOtvetOfset[i], markerBoard.workSlots()[i].number);
        showNumber(prav_CbOtvetOfset[i], q.rightSlots[i].number);
    }
    questionSet.updating = wasUpdating;
}

void TTopros::SaveAnswer() {
    const int k = currentItem();
    if (k < 0 || inReview())
        return;
    AnswerControls c;
    for (std::size_t i = 0; i < kMaxChoices; ++i) {
        c.checks[i] = Otvetbool[i]->isChecked();
        c.radios[i] = Otvetbool1x[i]->isChecked();
    }
    c.text = cp1251::fromUnicode(otvetstr->text());
    c.slots = markerBoard.workSlots();
    kvz::SaveAnswer(visiblePanel(), c, questionSet.answers[std::size_t(k)]);
}

void TTopros::OtvetboolClick() {
    const int k = currentItem();
    if (k >= 0 && !questionSet.updating && !inReview()) {
        questionSet.answers[std::size_t(k)].touched = true;
        Stests->viewport()->update();
        journalAnswerChanged();
    }
}

void TTopros::otvetstrChange() {
    OtvetboolClick();
}

// Answers are judged in lower case; whatever reached the field by a road other than a key
// (Ctrl+V, Shift+Insert, the context menu, a drop, an input method) is lowered here.
void TTopros::lowerTypedAnswer(const QString& text) {
    const QString lower = text.toLower();
    if (lower == text)
        return;
    const int cursor = otvetstr->cursorPosition();
    otvetstr->setText(lower);
    otvetstr->setCursorPosition(std::min(cursor, int(lower.size())));
}

void TTopros::CbOtvetOfsetChange(int p, int index) {
    const int k = currentItem();
    if (k < 0 || inReview() || p < 1 || p > kMaxSlots)
        return;
    const std::vector<int> changed = markerBoard.choose(p, index + 1);
    if (changed.empty())
        return; // the number it already had: the answer is as untouched as before
    for (int slot : changed)
        if (slot != p && slot >= 1 && slot <= kMaxSlots)
            showNumber(CbOtvetOfset[std::size_t(slot - 1)],
                       markerBoard.workSlots()[std::size_t(slot - 1)].number);
    Quest->update(); // the markers follow
    OtvetboolClick();
}

// Keys the window sees before its controls: "1".."5" choose, typed letters go on lower-cased.
bool TTopros::FormKeyPress(QObject* receiver, QKeyEvent* key) {
    if (inReview() || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    const QString text = key->text();
    if (text.size() == 1 && text[0] >= QLatin1Char('1') && text[0] <= QLatin1Char('5')) {
        const std::size_t i = std::size_t(text[0].unicode() - '1');
        if (pA2->isVisibleTo(this) && pA2->isEnabled() && !Otvetbool1x[i]->isHidden()) {
            Otvetbool1x[i]->setChecked(true);
            OtvetboolClick();
            return true;
        }
        if (pA1->isVisibleTo(this) && pA1->isEnabled() && !Otvetbool[i]->isHidden()) {
            Otvetbool[i]->toggle();
            OtvetboolClick();
            return true;
        }
        return false;
    }
    // Typed answers are always lower case: the key goes on with its lower-case text.
    const QString lower = text.toLower();
    if (!text.isEmpty() && lower != text) {
        QKeyEvent lowered(key->type(), key->key(), key->modifiers(), lower, key->isAutoRepeat(),
                          ushort(key->count()));
        QCoreApplication::sendEvent(receiver, &lowered);
        return true;
    }
    return false;
}

} // namespace kvz
