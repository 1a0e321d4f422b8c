#pragma once

#include <QWidget>

class QAction;
class QPushButton;

namespace kvz {

class KvizorApp;
class DocumentView;

// The help window: the test's reference document, full screen; any click hides it.
class THelper : public QWidget {
    Q_OBJECT
public:
    explicit THelper(KvizorApp& app);

    DocumentView* OleContainer1 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* Panel3 = nullptr;
    QPushButton* Button2 = nullptr;
    QAction* AltF41 = nullptr; // swallows Alt+F4

    // Sizes Panel2 to the document and centres it; done on show and on every resize, and by
    // the loader after it put a new document in.
    void placeDocument();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KvizorApp& app_;
};

} // namespace kvz
