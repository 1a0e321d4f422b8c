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
    // Moves to the frame the clock has reached and paints it now (while the event loop waits).
    void catchUp();
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

    // For long work that does not return to the event loop (loading an archive): shows the
    // window and waits, boundedly, until the window system has mapped it, then paints it. Until
    // then nothing painted reaches the screen and the pupil sees a black window.
    void showPainted();
    // Paints the caption, the bar and the animation's current frame at once, without running
    // the event loop.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void restoreCursor();
    KvizorApp& app_;
    bool busyCursor_ = false;
};

} // namespace kvz
