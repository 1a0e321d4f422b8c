#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QTimer;

namespace kvz {

class KvizorApp;

// The looping 32x32 "work" clip: 30 frames at 15 frames per second, drawn by the program.
class WorkAnimation : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrames = 30;
    static constexpr qint64 kFrameMicroseconds = 66667;

    explicit WorkAnimation(QWidget* parent = nullptr);
    void start();
    void stop();
    bool isPlaying() const;
    int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    QTimer* timer_ = nullptr;
    QElapsedTimer clock_;
    int frame_ = 0;
};

// The wait window: progress bar, a small looping animation and a status line. While it is shown
// the whole program shows the busy cursor.
class TProgres : public QDialog {
    Q_OBJECT
public:
    explicit TProgres(KvizorApp& app);
    ~TProgres() override;

    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Panel1 = nullptr; // status text along the bottom
    WorkAnimation* Animate1 = nullptr;

    void startAnimation();
    void stopAnimation();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void restoreCursor();
    KvizorApp& app_;
    bool busyCursor_ = false;
};

} // namespace kvz
