#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace kvz {

class KvizorApp;

// The wait window: progress bar, a small looping animation and a status line. While it is shown
// the whole program shows the busy cursor.
class TProgres : public QDialog {
    Q_OBJECT
public:
    explicit TProgres(KvizorApp& app);

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Panel1 = nullptr; // status text along the bottom
    QWidget* Animate1 = nullptr;

    void startAnimation();
    void stopAnimation();

private:
    KvizorApp& app_;
};

} // namespace kvz
