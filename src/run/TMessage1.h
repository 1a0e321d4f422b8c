#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kvz {

class TTopros;

// The continue-or-finish prompt: a small borderless window on top of the run window. It is
// modeless, so the clocks run on while it is shown and may end the test themselves.
class TMessage1 : public QDialog {
    Q_OBJECT
public:
    explicit TMessage1(TTopros& run);

    // Shows the prompt centred over the window, above it, with the keyboard.
    void showOver(QWidget* window);

    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr; // "Продолжить"
    QPushButton* Button2 = nullptr; // "Завершить"

    void Button1Click();
    void Button2Click();

protected:
    // Neither Escape nor the window manager closes it: the examinee chooses one of the two.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override;
    // F10 is the finish key of the run window; pressed again here it ends the test.
    void keyPressEvent(QKeyEvent* event) override;

private:
    TTopros& run_;
};

} // namespace kvz
