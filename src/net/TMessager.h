#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kvz {

class KvizorApp;

// The supervisor's message (or the notice of a lost connection): borderless, on top, centred;
// it closes itself after one second per line of the message, and beeps when it appears.
class TMessager : public QDialog {
    Q_OBJECT
public:
    explicit TMessager(KvizorApp& app);

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;        // "Сообщение от сервера:"
    QPlainTextEdit* Memo1 = nullptr; // the message
    QPushButton* Button1 = nullptr;  // "OK"
    QTimer* Timer1 = nullptr;        // the countdown

    // Shows text: modally when the window is not open (returns when it closes), else replaces
    // the open message and starts its countdown again.
    void showText(const QString& text);
    // The countdown of the open message, in milliseconds.
    int countdownMs() const;
    // The show handling: countdown from the number of lines, beep.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void closeOk();
    KvizorApp& app_;
};

} // namespace kvz
