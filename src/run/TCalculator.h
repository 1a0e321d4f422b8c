#pragma once

// The program's own calculator window: a desk calculator with the standard layout and
// keyboard input. It opens over the run window (above it even under the lock-down, and with
// the keyboard); opening it again raises the one that is open.

#include "run/Calculator.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvz {

class TCalculator : public QDialog {
    Q_OBJECT
public:
    // title: the window caption (the message table's name for the calculator).
    TCalculator(QWidget* over, const QString& title, const QString& errorText);

    // Shows the window over its parent and gives it the keyboard; raises it when it is open.
    void popUp();

    const Calculator& calculator() const { return calc_; }
    QLineEdit* display() const { return display_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* addKey(const QString& text, Calculator::Key key, const char* name);
    void press(Calculator::Key key);
    void refresh();

    Calculator calc_;
    QString errorText_;
    QLineEdit* display_ = nullptr;
    QLabel* memorySign_ = nullptr;
};

} // namespace kvz
