#pragma once

#include <QDialog>

class QLabel;

namespace kvz {

class KvizorApp;

// The pause window: covers a paused test until the server resumes it. Borderless, on top,
// centred, never modal; nothing the examinee does closes it.
class TBlokator : public QDialog {
    Q_OBJECT
public:
    explicit TBlokator(KvizorApp& app);

    QLabel* Panel1 = nullptr; // the pause text, msg[041]

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override {} // Escape does not close it either

private:
    KvizorApp& app_;
};

} // namespace kvz
