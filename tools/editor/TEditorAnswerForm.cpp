// The editor's answer forms beside the page: the choices (A), the right text (B), and the
// ordering slots placed by clicking on the page over the run's marker grid (D).

#include "EditorForm.h"
#include "PageSources.h"
#include "SlotMarks.h"
#include "TEditor.h"
#include "l10n/Cp1251.h"
#include "platform/docview/DocumentView.h"
#include "run/MarkerPictures.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz::editor {

namespace {

// "Вариантов: [n]", "Мест: [n]": a count from 1 to max with its caption before it, the caption
// named after the count ("SlotCount" gives "SlotCountLabel") so the language files relabel it.
QSpinBox* countRow(QWidget* box, QVBoxLayout* column, const char* name, const QString& caption,
                   int max) {
    auto* row = new QHBoxLayout;
    auto* count = new QSpinBox(box);
    count->setObjectName(QLatin1String(name));
    count->setRange(1, max);
    auto* label = new QLabel(caption, box);
    label->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    row->addWidget(label);
    row->addWidget(count);
    row->addStretch();
    column->addLayout(row);
    return count;
}

} // namespace

QWidget* TEditor::buildAnswerStack(QWidget* page) {
    auto issue = [&](TestField field, QWidget* parent) { return makeIssueLabel(field, parent); };
    AnswerStack = new QStackedWidget(page);
    AnswerStack->setObjectName(QStringLiteral("AnswerStack"));
    AnswerStack->setMinimumWidth(300);
    // A: choices.
    auto* a = new QGroupBox(QStringLiteral("Ответ: выбор"), AnswerStack);
    a->setObjectName(QStringLiteral("ChoiceBox"));
    auto* av = new QVBoxLayout(a);
    ChoiceCount = countRow(a, av, "ChoiceCount", QStringLiteral("Вариантов:"), kMaxChoices);
    for (int i = 0; i < kMaxChoices; ++i) {
        auto* c = new QCheckBox(QStringLiteral("%1 — верный").arg(i + 1), a);
        c->setObjectName(QStringLiteral("RightChoice%1").arg(i + 1));
        RightChoice[std::size_t(i)] = c;
        av->addWidget(c);
        connect(c, &QCheckBox::toggled, this, [this, i](bool on) {
            if (filling_)
                return;
            if (TQuestionRec* q = question()) {
                q->rightChoice[std::size_t(i)] = on;
                changed();
            }
        });
    }
    Multiple = new QCheckBox(QStringLiteral("несколько верных (флажки)"), a);
    Multiple->setObjectName(QStringLiteral("Multiple"));
    av->addWidget(Multiple);
    av->addWidget(issue(TestField::Choices, a));
    av->addWidget(issue(TestField::RightChoice, a));
    av->addStretch();
    connect(ChoiceCount, &QSpinBox::valueChanged, this, [this](int n) {
        if (filling_ || current_ < 0)
            return;
        test_.setChoiceCount(current_, n);
        showQuestion();
        changed();
    });
    connect(Multiple, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_)
            return;
        if (TQuestionRec* q = question()) {
            q->multiChoice = on;
            changed();
        }
    });
    AnswerStack->addWidget(a);

    // B: typed text.
    auto* b = new QGroupBox(QStringLiteral("Ответ: ввод текста"), AnswerStack);
    b->setObjectName(QStringLiteral("AnswerBox"));
    auto* bv = new QVBoxLayout(b);
    Answer = new QLineEdit(b);
    Answer->setObjectName(QStringLiteral("Answer"));
    Answer->setMaxLength(255);
    AnswerNote = new QLabel(QStringLiteral("Всё, что вводит ученик, приходит строчными буквами: "
                                           "верный ответ хранится строчными и сравнивается "
                                           "точно, знак в знак."),
                            b);
    AnswerNote->setObjectName(QStringLiteral("AnswerNote"));
    AnswerNote->setWordWrap(true);
    bv->addWidget(Answer);
    bv->addWidget(AnswerNote);
    bv->addWidget(issue(TestField::Answer, b));
    bv->addStretch();
    connect(Answer, &QLineEdit::textEdited, this, [this](const QString& t) {
        TQuestionRec* q = question();
        if (!q)
            return;
        // Stored as the pupil's keys would give it.
        q->rightText = cp1251::ansiLower(cp(t));
        const QString shown = un(q->rightText);
        if (shown != t) {
            const int at = Answer->cursorPosition();
            Answer->setText(shown);
            Answer->setCursorPosition(at);
        }
        changed();
    });
    AnswerStack->addWidget(b);

    // D: slots on the page and the right order.
    auto* d = new QGroupBox(QStringLiteral("Ответ: порядок"), AnswerStack);
    d->setObjectName(QStringLiteral("SlotBox"));
    auto* dv = new QVBoxLayout(d);
    SlotCount = countRow(d, dv, "SlotCount", QStringLiteral("Мест:"), kMaxSlots);
    Slots = new QTableWidget(0, 2, d);
    Slots->setObjectName(QStringLiteral("Slots"));
    Slots->setHorizontalHeaderLabels({QStringLiteral("место"), QStringLiteral("верный номер")});
    Slots->horizontalHeader()->setStretchLastSection(true);
    Slots->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Slots->setSelectionBehavior(QAbstractItemView::SelectRows);
    Slots->setSelectionMode(QAbstractItemView::SingleSelection);
    Slots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dv->addWidget(Slots);
    SlotHint = new QLabel(QStringLiteral("Выберите место в списке и щёлкните по странице там, "
                                         "где ученик увидит номер."),
                          d);
    SlotHint->setObjectName(QStringLiteral("SlotHint"));
    SlotHint->setWordWrap(true);
    dv->addWidget(SlotHint);
    dv->addWidget(issue(TestField::Slots, d));
    dv->addWidget(issue(TestField::SlotOrder, d));
    connect(SlotCount, &QSpinBox::valueChanged, this, [this](int n) {
        if (filling_ || current_ < 0)
            return;
        test_.setChoiceCount(current_, n);
        currentSlot_ = std::min(currentSlot_, n - 1);
        showSlots();
        changed();
    });
    connect(Slots, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!filling_ && row >= 0)
            SelectSlot(row);
    });
    AnswerStack->addWidget(d);
    return AnswerStack;
}

void TEditor::showSlots() {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D') {
        Page->update();
        return;
    }
    filling_ = true;
    const int n = q->choiceCount;
    SlotCount->setValue(std::max(n, 1));
    Slots->setRowCount(n);
    for (int i = 0; i < n; ++i) {
        const TSlotRec& s = q->rightSlots[std::size_t(i)];
        auto* place =
            new QTableWidgetItem(msg("SlotPlace", QStringLiteral("%1: колонка %2, ряд %3"))
                                     .arg(i + 1)
                                     .arg(s.col)
                                     .arg(s.row));
        Slots->setItem(i, 0, place);
        auto* number = new QSpinBox;
        number->setObjectName(QStringLiteral("SlotNumber%1").arg(i + 1));
        number->setRange(1, n);
        number->setValue(std::clamp<int>(s.number, 1, n));
        connect(number, &QSpinBox::valueChanged, this, [this, i](int v) {
            if (filling_)
                return;
            if (TQuestionRec* rec = question()) {
                rec->rightSlots[std::size_t(i)].number = std::uint8_t(v);
                changed();
                Page->update();
            }
        });
        Slots->setCellWidget(i, 1, number);
    }
    Slots->setCurrentCell(std::min(currentSlot_, n - 1), 0);
    filling_ = false;
    Page->update();
}

void TEditor::SelectSlot(int slot) {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || slot < 0 || slot >= q->choiceCount)
        return;
    currentSlot_ = slot;
    filling_ = true;
    Slots->setCurrentCell(slot, 0);
    filling_ = false;
    Page->update();
}

void TEditor::PageClicked(QPoint pos) {
    TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || currentSlot_ < 0 || currentSlot_ >= q->choiceCount)
        return;
    const std::optional<GridCell> cell = board_.cellAt(pos.x(), pos.y());
    if (!cell)
        return;
    TSlotRec& s = q->rightSlots[std::size_t(currentSlot_)];
    s.col = std::uint8_t(cell->col);
    s.row = std::uint8_t(cell->row);
    // The next slot is placed by the next click.
    const int next = currentSlot_ + 1 < q->choiceCount ? currentSlot_ + 1 : currentSlot_;
    changed();
    currentSlot_ = next;
    showSlots();
}

void TEditor::paintSlots(QPainter& p) {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || board_.cellWidth() == 0 || board_.cellHeight() == 0)
        return;
    p.save();
    p.setClipRect(board_.page());
    // The run's grid, faint, so the teacher sees where a number can go.
    p.setPen(QColor(120, 160, 255, 90));
    for (int col = 0; col <= kLastColumnOnPage; ++col)
        for (int row = 0; row <= kLastRowOnPage; ++row)
            p.drawRect(board_.cellRect({col, row}).adjusted(0, 0, -1, -1));
    // Each place shows the run's own marker with the right number; a ring just outside it marks
    // the place the next click moves, and the place's own number sits in the cell's corner.
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setBold(true);
    for (const SlotMark& m : slotMarks(board_, *q, currentSlot_)) {
        markers::draw(p, m.cell, m.number);
        if (m.current) {
            p.setPen(QPen(QColor(0, 140, 255), 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(m.disc.adjusted(-3, -3, 3, 3));
        }
        font.setPixelSize(std::max(7, std::min(m.cell.height(), m.cell.width()) / 3));
        p.setFont(font);
        p.setPen(QColor(0, 70, 160));
        p.drawText(m.cell.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QString::number(m.slot));
    }
    p.restore();
}

} // namespace kvz::editor
