#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kvz {

class KvizorApp;

// The password prompt. Edit1 is also a store: callers put the password they already know into
// it before loading a test, and the loader reads it from there.
class TPas : public QDialog {
    Q_OBJECT
public:
    explicit TPas(KvizorApp& app);

    static constexpr int kMaxPasswordLength = 17;

    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr; // OK
    QPushButton* Button2 = nullptr; // Cancel

    // The password just tried was wrong: the next showing says so without words (a beep, the
    // field marked red with the old password selected), until the examinee types or the prompt
    // closes.
    void markWrong();
    bool markedWrong() const { return wrong_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setWrong(bool wrong);

    KvizorApp& app_;
    bool wrong_ = false;
};

} // namespace kvz
