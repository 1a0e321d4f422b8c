#include "run/TCalculator.h"

#include "platform/Lockdown.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvz {

using Key = Calculator::Key;

TCalculator::TCalculator(QWidget* over, const QString& title, const QString& errorText)
    : QDialog(over, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                        Qt::WindowStaysOnTopHint),
      errorText_(errorText) {
    setObjectName(QStringLiteral("Calculator"));
    setWindowTitle(title);
    setModal(false);

    display_ = new QLineEdit(this);
    display_->setObjectName(QStringLiteral("calcDisplay"));
    display_->setReadOnly(true);
    display_->setFocusPolicy(Qt::NoFocus);
    display_->setAlignment(Qt::AlignRight);
    QFont big = display_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    display_->setFont(big);
    memorySign_ = new QLabel(this);
    memorySign_->setObjectName(QStringLiteral("calcMemory"));
    memorySign_->setFixedWidth(memorySign_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 2);
    memorySign_->setAlignment(Qt::AlignCenter);

    auto* top = new QHBoxLayout;
    top->addWidget(memorySign_);
    top->addWidget(display_, 1);

    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    struct KeyDef {
        const char* text;
        Key key;
        const char* name;
        int row, col, rowSpan, colSpan;
    };
    // Memory on top, then the editing keys, then the digit block with the operations beside it.
    const KeyDef keys[] = {
        {"MC", Key::MemoryClear, "calcMC", 0, 0, 1, 1},
        {"MR", Key::MemoryRecall, "calcMR", 0, 1, 1, 1},
        {"MS", Key::MemoryStore, "calcMS", 0, 2, 1, 1},
        {"M+", Key::MemoryAdd, "calcMPlus", 0, 3, 1, 1},
        {"M−", Key::MemorySubtract, "calcMMinus", 0, 4, 1, 1},
        {"←", Key::Backspace, "calcBack", 1, 0, 1, 1},
        {"CE", Key::ClearEntry, "calcCE", 1, 1, 1, 1},
        {"C", Key::Clear, "calcC", 1, 2, 1, 1},
        {"±", Key::Sign, "calcSign", 1, 3, 1, 1},
        {"√", Key::Sqrt, "calcSqrt", 1, 4, 1, 1},
        {"7", Key::D7, "calc7", 2, 0, 1, 1},
        {"8", Key::D8, "calc8", 2, 1, 1, 1},
        {"9", Key::D9, "calc9", 2, 2, 1, 1},
        {"/", Key::Divide, "calcDivide", 2, 3, 1, 1},
        {"%", Key::Percent, "calcPercent", 2, 4, 1, 1},
        {"4", Key::D4, "calc4", 3, 0, 1, 1},
        {"5", Key::D5, "calc5", 3, 1, 1, 1},
        {"6", Key::D6, "calc6", 3, 2, 1, 1},
        {"*", Key::Multiply, "calcMultiply", 3, 3, 1, 1},
        {"1/x", Key::Reciprocal, "calcReciprocal", 3, 4, 1, 1},
        {"1", Key::D1, "calc1", 4, 0, 1, 1},
        {"2", Key::D2, "calc2", 4, 1, 1, 1},
        {"3", Key::D3, "calc3", 4, 2, 1, 1},
        {"−", Key::Subtract, "calcSubtract", 4, 3, 1, 1},
        {"=", Key::Equals, "calcEquals", 4, 4, 2, 1},
        {"0", Key::D0, "calc0", 5, 0, 1, 2},
        {".", Key::Point, "calcPoint", 5, 2, 1, 1},
        {"+", Key::Add, "calcAdd", 5, 3, 1, 1},
    };
    for (const KeyDef& s : keys) {
        QPushButton* b = addKey(QString::fromUtf8(s.text), s.key, s.name);
        grid->addWidget(b, s.row, s.col, s.rowSpan, s.colSpan);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid);
    setFixedSize(sizeHint());
    refresh();
}

QPushButton* TCalculator::addKey(const QString& text, Key key, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    // The keyboard stays with the window, so Enter means "=" and never clicks a button.
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    b->setMinimumSize(48, 36);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    connect(b, &QPushButton::clicked, this, [this, key] { press(key); });
    return b;
}

void TCalculator::popUp() {
    bringBack(this);
}

void TCalculator::press(Key key) {
    calc_.press(key);
    refresh();
}

void TCalculator::refresh() {
    display_->setText(calc_.error() ? errorText_ : QString::fromStdString(calc_.display()));
    memorySign_->setText(calc_.hasMemory() ? QStringLiteral("M") : QString());
}

void TCalculator::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_L:
            return press(Key::MemoryClear);
        case Qt::Key_R:
            return press(Key::MemoryRecall);
        case Qt::Key_M:
            return press(Key::MemoryStore);
        case Qt::Key_P:
            return press(Key::MemoryAdd);
        case Qt::Key_Q:
            return press(Key::MemorySubtract);
        default:
            return QDialog::keyPressEvent(event);
        }
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return press(Key::Equals);
    case Qt::Key_Escape: // clears, as on a desk calculator; the window closes by its title bar
        return press(Key::Clear);
    case Qt::Key_Delete:
        return press(Key::ClearEntry);
    case Qt::Key_Backspace:
        return press(Key::Backspace);
    case Qt::Key_F9:
        return press(Key::Sign);
    case Qt::Key_R:
        return press(Key::Reciprocal);
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() == 1 && text[0].unicode() < 0x80) {
        if (const auto key = Calculator::keyForCharacter(char(text[0].unicode())))
            return press(*key);
    }
    QDialog::keyPressEvent(event);
}

} // namespace kvz
