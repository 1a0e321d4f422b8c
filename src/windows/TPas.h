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

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    KvizorApp& app_;
};

} // namespace kvz
