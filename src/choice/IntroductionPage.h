#pragma once

// The test's introduction page before the run: the page in the middle and, along the bottom, the
// bar with "Назад" and "Далее". "Далее", or any key while the page is up, starts the run. The
// examinee information window shows it as its second page; the test editor's preview shows the
// same page on its own before the run.

#include <QSize>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;

namespace kvz {

class DocumentView;

class IntroductionPage : public QWidget {
    Q_OBJECT
public:
    explicit IntroductionPage(QWidget* parent = nullptr);

    // The page at the size of its document, scaled down whole where it would not fit on a screen
    // of that size above the bar.
    void fitTo(QSize screen);

    QFrame* Panel2 = nullptr; // the introduction page
    DocumentView* OleContainer1 = nullptr;
    QLabel* Panel3 = nullptr;       // bottom bar with its caption
    QPushButton* Button3 = nullptr; // "Назад"
    QPushButton* Button4 = nullptr; // "Далее"

Q_SIGNALS:
    void back();
    // "Далее", or any key pressed in this page's window while the page is up.
    void start();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void previewKeys(bool on);

    bool previewingKeys_ = false;
};

} // namespace kvz
